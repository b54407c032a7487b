// Received MMS header files: addresses, subject and content locations from any bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "spool/mms_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MmsHeader header;
    ParseMmsHeader(reinterpret_cast<const char*>(data), size, header);
    if (!memchr(header.from, '\0', sizeof header.from) || !memchr(header.to, '\0', sizeof header.to) ||
        !memchr(header.subject, '\0', sizeof header.subject))
        __builtin_trap();
    size_t total = 0;
    for (const MmsContentLocation& location : header.contents) {
        total += location.path.size() + location.contentType.size();
        if (location.contentType.find(';') != std::string::npos || location.path.find(';') != std::string::npos)
            __builtin_trap();
        IsContainedContentPath(location.path);
    }
    if (total > kMmsHeaderReadLimit)
        __builtin_trap();
    return 0;
}
