#include "spool/error_notes.h"

#include <cstring>

#include "base/text.h"

std::string ModemErrorNoteName(const char* modemName)
{
    return ReplaceSeparators(modemName ? modemName : "") + ".ERR";
}

std::string RouteErrorNoteName(const char* routeName)
{
    return "MMSCROUTE--" + ReplaceSeparators(routeName ? routeName : "") + ".ERR";
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
