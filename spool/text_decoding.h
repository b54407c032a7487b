// The text codecs of the message spool files: hexadecimal readers, the escaping of line
// breaks in one-line values, the data coding scheme classes, UCS-2 to UTF-8, and the
// choice of how a stored message text is shown. Portable: no windows.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/text.h" // HexDigitValue, IsHexDigit

// The value of the leading hexadecimal digits (no prefix, no sign), 0 when there are none.
// Longer texts wrap around; callers keep the low bits they need.
uint32_t ParseHexNumber(const char* text);

// Rewrites text in place with every CR as the two characters "\r" and every LF as "\n".
// capacity is the buffer's size: when an escape no longer fits, the text is cut before
// that line break, so the result never holds a raw line break.
void EscapeLineBreaks(char* text, size_t capacity);

// Turns every "\r" back into CR and every "\n" into LF, in place; the text never grows.
// There is no escape for the backslash itself: "C:\new" comes back with a line feed.
void UnescapeLineBreaks(char* text);

// Data coding scheme classes as the received SMS viewer shows them; neither holds for
// 8-bit data and the coding groups outside these.
bool IsGsm7Coding(uint8_t dcs);
bool IsUcs2Coding(uint8_t dcs);

// Rewrites hexadecimal UCS-2 code units (four digits each, a shorter last group taken as
// it stands) in place as UTF-8; a unit of 0 or a non-hexadecimal character where a unit
// would begin ends the text. Surrogates are written one by one. The text never grows.
void Ucs2HexToUtf8(char* text);

// The GSM 7-bit decoder that DecodeMessageText calls, with the support library's calling
// pattern: header text, data text, output buffer (the data text's own buffer). The buffer
// always has room for Gsm7Utf8Bound(strlen(dataHex)) bytes. By default it is the portable
// decoder; the Windows program routes it to GWCORE.DLL.
typedef void (*Gsm7Decoder)(const char* udhHex, const char* dataHex, char* buffer);
void SetGsm7Decoder(Gsm7Decoder decoder);

// Leaves the display text of a stored message in text (a buffer of capacity bytes holding
// the unescaped stored text). Text messages are shown as stored; binary ones by their data
// coding scheme: GSM 7-bit decoded with the header's fill bits, UCS-2 decoded, anything else
// as its hexadecimal digits. When the buffer has no room for the longest GSM 7-bit decoding,
// the data is shortened until it has.
void DecodeMessageText(bool binary, uint8_t dcs, const char* udhHex, char* text, size_t capacity);
