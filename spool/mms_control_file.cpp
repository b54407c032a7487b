#include "spool/mms_control_file.h"

#include <string_view>
#include <vector>

namespace {

struct Line {
    std::string_view key;   // the section's name for a section line
    std::string_view value;
    bool section = false;
};

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

bool IsBlank(char c)
{
    return c == ' ';
}

// A name or value the profile functions would not trim or unquote.
bool IsPlainText(std::string_view text)
{
    return text.empty() || (!IsBlank(text.front()) && !IsBlank(text.back()));
}

// One non-empty line; false when it is neither a plain section line nor a plain key line.
bool ParseLine(std::string_view text, Line& line)
{
    if (text.front() == '[') {
        if (text.back() != ']' || text.size() < 3)
            return false;
        line.section = true;
        line.key = text.substr(1, text.size() - 2);
        return line.key.find_first_of("[]") == std::string_view::npos && IsPlainText(line.key);
    }
    if (text.front() == ';')
        return false; // a comment
    size_t equals = text.find('=');
    if (equals == 0 || equals == std::string_view::npos)
        return false;
    line.key = text.substr(0, equals);
    line.value = text.substr(equals + 1);
    return IsPlainText(line.key) && IsPlainText(line.value);
}

bool SplitLines(const char* bytes, size_t length, std::vector<Line>& lines)
{
    size_t start = 0;
    while (start < length) {
        size_t end = start;
        while (end < length && bytes[end] != '\n') {
            unsigned char c = static_cast<unsigned char>(bytes[end]);
            bool lineEnd = c == '\r' && end + 1 < length && bytes[end + 1] == '\n';
            if (!lineEnd && (c < 0x20 || c > 0x7E || c == '"' || c == '\''))
                return false;
            ++end;
        }
        size_t textEnd = end > start && bytes[end - 1] == '\r' ? end - 1 : end;
        std::string_view text(bytes + start, textEnd - start);
        start = end + 1;
        if (text.empty())
            continue;
        Line line;
        if (!ParseLine(text, line))
            return false;
        if (!line.section && (lines.empty()))
            return false; // a key before the first section
        lines.push_back(line);
    }
    return true;
}

// No section named twice, no key named twice within its section.
bool NamesOnce(const std::vector<Line>& lines)
{
    for (size_t i = 0; i < lines.size(); ++i) {
        for (size_t j = i + 1; j < lines.size(); ++j) {
            if (lines[j].section && !lines[i].section)
                break; // i's section ended
            if (lines[i].section != lines[j].section)
                continue;
            if (SameName(lines[i].key, lines[j].key))
                return false;
        }
    }
    return true;
}

std::string CutValue(std::string_view value)
{
    return std::string(value.substr(0, kMmsControlValueBuffer - 1));
}

} // namespace

bool ReadPlainMmsControlFile(const char* bytes, size_t length, MmsControlFields& fields)
{
    std::vector<Line> lines;
    if (length > kPlainControlFileLimit || !SplitLines(bytes, length, lines) || !NamesOnce(lines))
        return false;
    fields = MmsControlFields();
    std::string_view section;
    for (const Line& line : lines) {
        if (line.section) {
            section = line.key;
        } else if (SameName(section, "Routing")) {
            if (SameName(line.key, "SenderAddress"))
                fields.sender = CutValue(line.value);
            else if (SameName(line.key, "RetryCount"))
                fields.retryCount = CutValue(line.value);
            else if (SameName(line.key, "LastErrorInfo"))
                fields.lastError = CutValue(line.value);
        } else if (SameName(section, "Recipients")) {
            fields.recipients.append(line.key.data(), line.key.size());
            fields.recipients += '=';
            fields.recipients.append(line.value.data(), line.value.size());
            fields.recipients += '\0';
        }
    }
    fields.recipients += '\0';
    // Whole, with room to spare: the profile functions cut a section that fills the buffer.
    return fields.recipients.size() + 2 < kMmsControlValueBuffer;
}
