#include "base/ini_rules.h"

#include <cstring>

#include "base/text.h"

bool IniBool(const char* value)
{
    if (!value)
        return false;
    if (value[0] == 'Y' || value[0] == 'y' || value[0] == '1')
        return true;
    return EqualsNoCase(value, "TRUE");
}

void AppendBounded(char* dest, const char* text, size_t capacity)
{
    if (!dest || !text || capacity == 0)
        return;
    size_t length = strnlen(dest, capacity);
    if (length >= capacity)
        return;
    size_t room = capacity - length - 1;
    size_t add = strnlen(text, room);
    memcpy(dest + length, text, add);
    dest[length + add] = '\0';
}

unsigned long IniNumber(const char* value)
{
    unsigned long result = 0;
    for (; value && *value >= '0' && *value <= '9'; ++value) {
        unsigned long digit = static_cast<unsigned long>(*value - '0');
        if (result > (~0UL - digit) / 10)
            return ~0UL; // saturate rather than wrap
        result = result * 10 + digit;
    }
    return result;
}

std::string SubQueueFolderName(const std::string& subQueue)
{
    std::string name = ReplaceSeparators(subQueue);
    // Windows drops the trailing dots and spaces of a name, so ".. " would name the parent.
    if (!name.empty() && name.find_first_not_of(". ") == std::string::npos) {
        for (char& c : name) {
            if (c == '.')
                c = '-';
        }
    }
    return name;
}

std::string WithTrailingBackslash(const std::string& text)
{
    if (text.empty() || text.back() == '\\')
        return text;
    return text + '\\';
}

std::string EncodeLineBreaks(const std::string& text)
{
    std::string value;
    for (char c : text) {
        if (c == '\r')
            value += "\\r";
        else if (c == '\n')
            value += "\\n";
        else if (c == '\\')
            value += "\\\\";
        else
            value += c;
    }
    return value;
}

std::string DecodeLineBreaks(const std::string& value)
{
    std::string text;
    for (size_t i = 0; i < value.size(); ++i) {
        char next = i + 1 < value.size() ? value[i + 1] : '\0';
        if (value[i] == '\\' && (next == 'r' || next == 'n' || next == '\\')) {
            text += next == 'r' ? '\r' : next == 'n' ? '\n' : '\\';
            ++i;
        } else {
            text += value[i];
        }
    }
    return text;
}

namespace {

const char* const kRoutePrefixes[] = {"SMPP - ", "HTTP - ", "UCP - ", "CIMD - ", "QelSMSModem - "};

} // namespace

std::string ModemSectionName(const std::string& name)
{
    std::string section;
    bool isRoute = false;
    for (const char* prefix : kRoutePrefixes)
        isRoute = isRoute || StartsWithNoCase(name.data(), name.size(), prefix);
    if (!isRoute)
        section = "Modem - ";
    for (char c : name) {
        if (c == '[')
            section += "\\x5B";
        else if (c == ']')
            section += "\\x5D";
        else
            section += c;
    }
    return section;
}
