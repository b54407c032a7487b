#include "spool/error_notes.h"

#include <cstring>

namespace {

std::string WithSeparatorsReplaced(const char* name)
{
    std::string result = name ? name : "";
    for (char& c : result) {
        if (c == ':' || c == '/' || c == '\\')
            c = '-';
    }
    return result;
}

} // namespace

std::string ModemErrorNoteName(const char* modemName)
{
    return WithSeparatorsReplaced(modemName) + ".ERR";
}

std::string RouteErrorNoteName(const char* routeName)
{
    return "MMSCROUTE--" + WithSeparatorsReplaced(routeName) + ".ERR";
}

void ErrorNoteText(const char* bytes, size_t length, char* out)
{
    if (!out)
        return;
    size_t kept = bytes ? (length < kErrorNoteReadLimit ? length : kErrorNoteReadLimit) : 0;
    if (kept)
        memcpy(out, bytes, kept);
    out[kept] = '\0';
}
