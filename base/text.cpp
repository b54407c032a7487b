#include "base/text.h"

#include <cstring>

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

char AsciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string AsciiUpper(std::string text)
{
    for (char& c : text)
        c = AsciiUpper(c);
    return text;
}

bool EqualsNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && StartsWithNoCase(a.data(), a.size(), b.c_str());
}

bool StartsWithNoCase(const char* text, size_t length, const char* prefix)
{
    size_t prefixLength = strlen(prefix);
    if (length < prefixLength)
        return false;
    for (size_t i = 0; i < prefixLength; ++i) {
        if (AsciiLower(text[i]) != AsciiLower(prefix[i]))
            return false;
    }
    return true;
}

size_t FindNoCase(const char* text, size_t length, const char* needle)
{
    size_t needleLength = strlen(needle);
    for (size_t i = 0; i + needleLength <= length; ++i) {
        if (StartsWithNoCase(text + i, length - i, needle))
            return i;
    }
    return length;
}

int CompareNoCase(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        int ca = static_cast<unsigned char>(AsciiLower(*a));
        int cb = static_cast<unsigned char>(AsciiLower(*b));
        if (ca != cb || ca == 0)
            return ca < cb ? -1 : ca > cb ? 1 : 0;
    }
}

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

size_t Utf8Length(uint32_t codePoint)
{
    return codePoint < 0x80 ? 1 : codePoint < 0x800 ? 2 : 3;
}

size_t PutUtf8(uint32_t codePoint, char* out)
{
    codePoint &= 0xFFFF;
    size_t length = Utf8Length(codePoint);
    if (length == 1) {
        out[0] = static_cast<char>(codePoint);
    } else if (length == 2) {
        out[0] = static_cast<char>(0xC0 | (codePoint >> 6));
        out[1] = static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out[0] = static_cast<char>(0xE0 | (codePoint >> 12));
        out[1] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (codePoint & 0x3F));
    }
    return length;
}

std::string ReplaceSeparators(std::string name)
{
    for (char& c : name) {
        if (c == ':' || c == '/' || c == '\\')
            c = '-';
    }
    return name;
}
