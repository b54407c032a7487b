#include "spool/text_decoding.h"

#include <cstring>

#include "base/text.h"
#include "gateway/gwcore/gsm7.h"

namespace {

void PortableGsm7Decoder(const char* udhHex, const char* dataHex, char* buffer)
{
    Gsm7HexToUtf8(udhHex, dataHex, buffer, Gsm7Utf8Bound(strlen(dataHex)));
}

Gsm7Decoder gsm7Decoder = PortableGsm7Decoder;

size_t EscapedLength(char c)
{
    return c == '\r' || c == '\n' ? 2 : 1;
}

} // namespace

uint32_t ParseHexNumber(const char* text)
{
    uint32_t value = 0;
    for (; text && IsHexDigit(*text); ++text)
        value = value * 16 + static_cast<uint32_t>(HexDigitValue(*text));
    return value;
}

void EscapeLineBreaks(char* text, size_t capacity)
{
    if (!text || capacity == 0)
        return;
    // Find how much of the text fits once escaped, then widen it from the back.
    size_t sourceLength = 0;
    size_t escapedLength = 0;
    while (text[sourceLength] && sourceLength < capacity) {
        size_t add = EscapedLength(text[sourceLength]);
        if (escapedLength + add > capacity - 1)
            break;
        escapedLength += add;
        ++sourceLength;
    }
    text[escapedLength] = '\0';
    size_t to = escapedLength;
    for (size_t from = sourceLength; from-- > 0;) {
        char c = text[from];
        if (c == '\r' || c == '\n') {
            text[--to] = c == '\r' ? 'r' : 'n';
            text[--to] = '\\';
        } else {
            text[--to] = c;
        }
    }
}

void UnescapeLineBreaks(char* text)
{
    if (!text)
        return;
    // One pass does what replacing all "\r" and then all "\n" does: a replacement never
    // forms a new pair, since neither CR nor LF is a backslash, an r or an n.
    size_t to = 0;
    for (size_t from = 0; text[from]; ++from) {
        if (text[from] == '\\' && (text[from + 1] == 'r' || text[from + 1] == 'n')) {
            text[to++] = text[from + 1] == 'r' ? '\r' : '\n';
            ++from;
        } else {
            text[to++] = text[from];
        }
    }
    text[to] = '\0';
}

bool IsGsm7Coding(uint8_t dcs)
{
    if (dcs < 0x40)
        return (dcs & 0x0C) == 0;
    if (dcs < 0xC0)
        return false;
    if (dcs < 0xE0)
        return true;
    if (dcs < 0xF0)
        return false;
    return (dcs & 0x04) == 0;
}

bool IsUcs2Coding(uint8_t dcs)
{
    if (dcs < 0x40)
        return (dcs & 0x08) != 0;
    return dcs >= 0xE0 && dcs < 0xF0;
}

void Ucs2HexToUtf8(char* text)
{
    if (!text)
        return;
    // A unit of d digits is below 16^d and so never takes more than d bytes of UTF-8:
    // the writing position cannot overtake the reading position.
    size_t from = 0;
    size_t to = 0;
    while (IsHexDigit(text[from])) {
        unsigned unit = 0;
        for (int digits = 0; digits < 4 && IsHexDigit(text[from]); ++digits)
            unit = unit * 16 + static_cast<unsigned>(HexDigitValue(text[from++]));
        if (unit == 0)
            break;
        to += PutUtf8(unit, text + to);
    }
    text[to] = '\0';
}

void SetGsm7Decoder(Gsm7Decoder decoder)
{
    gsm7Decoder = decoder ? decoder : PortableGsm7Decoder;
}

void DecodeMessageText(bool binary, uint8_t dcs, const char* udhHex, char* text, size_t capacity)
{
    if (!binary || !text || capacity == 0)
        return;
    if (IsGsm7Coding(dcs)) {
        // The decoder has no size parameter: shorten the data until its longest decoding
        // fits the buffer.
        size_t length = strnlen(text, capacity - 1);
        while (length > 0 && Gsm7Utf8Bound(length) > capacity)
            --length;
        text[length] = '\0';
        gsm7Decoder(udhHex ? udhHex : "", text, text);
    } else if (IsUcs2Coding(dcs)) {
        Ucs2HexToUtf8(text);
    }
}
