#include "spool/mms_header.h"

#include "base/paths.h"

#include <cstring>

#include "base/text.h"

namespace {

// The value of a line after its name: leading blanks skipped.
void SkipBlanks(const char*& value, size_t& length)
{
    while (length > 0 && (*value == ' ' || *value == '\t')) {
        ++value;
        --length;
    }
}

void ContentLocation(const char* value, size_t length, MmsHeader& header)
{
    MmsContentLocation location;
    const char* semicolon = static_cast<const char*>(memchr(value, ';', length));
    if (!semicolon) {
        location.path.assign(value, length);
    } else {
        location.path.assign(value, semicolon);
        const char* type = semicolon + 1;
        size_t rest = length - static_cast<size_t>(type - value);
        const char* end = static_cast<const char*>(memchr(type, ';', rest));
        size_t typeLength = static_cast<size_t>((end ? end : type + rest) - type);
        location.contentType.assign(type, typeLength < kContentTypeLimit ? typeLength : kContentTypeLimit);
    }
    header.contents.push_back(location);
}

// Copies a value, cut to its field; a later line of the same name replaces an earlier one.
void SetField(char* field, size_t size, const char* value, size_t length)
{
    size_t kept = length < size - 1 ? length : size - 1;
    memcpy(field, value, kept);
    field[kept] = '\0';
}

void HeaderLine(const char* line, size_t length, MmsHeader& header)
{
    struct Name {
        const char* name;
        char* field;
        size_t size;
        bool cutAtType;
    };
    const Name names[] = {
        {"From:", header.from, sizeof header.from, true},
        {"To:", header.to, sizeof header.to, true},
        {"Subject:", header.subject, sizeof header.subject, false},
    };
    for (const Name& n : names) {
        if (!StartsWithNoCase(line, length, n.name))
            continue;
        const char* value = line + strlen(n.name);
        size_t valueLength = length - strlen(n.name);
        SkipBlanks(value, valueLength);
        if (n.cutAtType)
            valueLength = FindNoCase(value, valueLength, "/TYPE=");
        SetField(n.field, n.size, value, valueLength);
        return;
    }
    const char* kLocation = "X-QelMMS-Content-Location:";
    if (StartsWithNoCase(line, length, kLocation)) {
        const char* value = line + strlen(kLocation);
        size_t valueLength = length - strlen(kLocation);
        SkipBlanks(value, valueLength);
        ContentLocation(value, valueLength, header);
    }
}

} // namespace

void ParseMmsHeader(const char* bytes, size_t length, MmsHeader& header)
{
    header.from[0] = '\0';
    header.to[0] = '\0';
    header.subject[0] = '\0';
    header.contents.clear();
    if (!bytes)
        return;
    if (length > kMmsHeaderReadLimit)
        length = kMmsHeaderReadLimit;
    const void* nul = memchr(bytes, '\0', length);
    if (nul)
        length = static_cast<size_t>(static_cast<const char*>(nul) - bytes);

    size_t start = 0;
    while (start < length) {
        // As in the spool files, a line starts after every character of code 32 or below.
        while (start < length && static_cast<unsigned char>(bytes[start]) <= 32)
            ++start;
        size_t end = start;
        while (end < length && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        if (end > start)
            HeaderLine(bytes + start, end - start, header);
        start = end;
    }
}

bool IsContainedContentPath(const std::string& path)
{
    if (path.empty() || path[0] == '\\' || path[0] == '/' || path.find(':') != std::string::npos)
        return false;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of("\\/", start);
        if (end == std::string::npos)
            end = path.size();
        std::string part = path.substr(start, end - start);
        if (IsDeviceName(part))
            return false;
        // Windows ignores trailing dots and blanks of a name: ".. " is "..".
        while (!part.empty() && (part.back() == '.' || part.back() == ' '))
            part.pop_back();
        if (part.empty() && end - start >= 2)
            return false;
        start = end + 1;
    }
    return true;
}
