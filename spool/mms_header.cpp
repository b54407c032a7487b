#include "spool/mms_header.h"

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
        location.contentType.assign(type, end ? end : type + rest);
    }
    header.contents.push_back(location);
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

    bool haveFrom = false, haveTo = false, haveSubject = false;
    size_t start = 0;
    while (start < length) {
        size_t end = start;
        while (end < length && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        const char* line = bytes + start;
        size_t lineLength = end - start;
        struct Name {
            const char* name;
            bool* seen;
            char* field;
            size_t size;
            bool cutAtType;
        };
        const Name names[] = {
            {"From:", &haveFrom, header.from, sizeof header.from, true},
            {"To:", &haveTo, header.to, sizeof header.to, true},
            {"Subject:", &haveSubject, header.subject, sizeof header.subject, false},
        };
        bool matched = false;
        for (const Name& n : names) {
            size_t nameLength = strlen(n.name);
            if (!StartsWithNoCase(line, lineLength, n.name))
                continue;
            matched = true;
            if (*n.seen)
                break;
            *n.seen = true;
            const char* value = line + nameLength;
            size_t valueLength = lineLength - nameLength;
            SkipBlanks(value, valueLength);
            if (n.cutAtType)
                valueLength = FindNoCase(value, valueLength, "/TYPE=");
            size_t kept = valueLength < n.size - 1 ? valueLength : n.size - 1;
            memcpy(n.field, value, kept);
            n.field[kept] = '\0';
            break;
        }
        const char* kLocation = "X-QelMMS-Content-Location:";
        if (!matched && StartsWithNoCase(line, lineLength, kLocation)) {
            const char* value = line + strlen(kLocation);
            size_t valueLength = lineLength - strlen(kLocation);
            SkipBlanks(value, valueLength);
            ContentLocation(value, valueLength, header);
        }
        start = end + 1;
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
        // Windows ignores trailing dots and blanks of a name: ".. " is "..".
        while (!part.empty() && (part.back() == '.' || part.back() == ' '))
            part.pop_back();
        if (part.empty() && end - start >= 2)
            return false;
        start = end + 1;
    }
    return true;
}
