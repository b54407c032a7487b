// The GSM 7-bit default alphabet (3GPP TS 23.038) with its extension table, unpacked from
// the septets of an SMS user data field and written out as UTF-8. Portable: no windows.h.
#pragma once

#include <cstddef>

// Bytes, terminator included, that the decoded text of a data text of hexLength characters
// can need: each pair of hexadecimal digits is one octet, 7 octets carry at most 8 septets,
// and no septet gives more than 2 bytes of UTF-8 (the only 3-byte character, the euro sign,
// takes two septets). The result never exceeds hexLength + hexLength / 7 + 1.
constexpr size_t Gsm7Utf8Bound(size_t hexLength)
{
    return 2 * ((hexLength / 2) * 8 / 7) + 1;
}

// Decodes the message data dataHex (hexadecimal text of the packed user data, the header
// itself not included) that follows the user data header udhHex (hexadecimal text of the
// whole header including its length octet, empty or null when there is none). After a
// header of N octets the first (7 - N * 8 % 7) % 7 bits are fill bits, so that the text
// starts on a septet boundary.
//
// Hexadecimal text ends at the first character that is not a hexadecimal digit; a last
// lone digit is not a whole octet and is ignored. When the last septet fills the top seven
// bits of the last octet exactly and is a carriage return or '@' (code 0), it is the
// sender's padding and is dropped. An escape with nothing after it gives a space, as does
// the escape to a further extension table; an escape before a code the extension table does
// not define gives that code's character from the default alphabet.
//
// Writes at most capacity bytes including the terminator and never splits a character;
// capacity 0 writes nothing. out may be the very buffer dataHex points to: all input is
// read before anything is written. Returns the length of the text written.
size_t Gsm7HexToUtf8(const char* udhHex, const char* dataHex, char* out, size_t capacity);
