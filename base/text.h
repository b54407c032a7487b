// Small text helpers every layer shares: letters compared without regard to case (ASCII),
// hexadecimal digits, UTF-8 encoding and the separators that cannot stand in a file name.
// Portable: no windows.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// 'A'-'Z' to 'a'-'z' and back; every other byte stays as it is.
char AsciiLower(char c);
char AsciiUpper(char c);
std::string AsciiUpper(std::string text);

bool EqualsNoCase(const std::string& a, const std::string& b);
// True when the first length bytes of text begin with prefix.
bool StartsWithNoCase(const char* text, size_t length, const char* prefix);
// The offset of the first occurrence of needle in the first length bytes of text, or
// length when there is none.
size_t FindNoCase(const char* text, size_t length, const char* needle);
// strcmp's order over the lower-case forms: negative, 0 or positive.
int CompareNoCase(const char* a, const char* b);

// 0-9 for '0'-'9', 10-15 for 'a'-'f' and 'A'-'F', 0 for every other character.
int HexDigitValue(char c);
bool IsHexDigit(char c);

// UTF-8 of one character of the Basic Multilingual Plane: 1 to 3 bytes.
size_t Utf8Length(uint32_t codePoint);
// Writes Utf8Length(codePoint) bytes at out (no terminator); gives their count.
size_t PutUtf8(uint32_t codePoint, char* out);

// Every ':', '/' and '\' becomes '-', as the gateway names the files and folders it makes
// from modem, route and queue names.
std::string ReplaceSeparators(std::string name);
