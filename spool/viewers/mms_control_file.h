// An outbound MMS control file (".INI" beside the message file): the values the outbound MMS
// queue viewer shows, read from the file's bytes as the platform's private-profile functions
// read them, so that the file is opened once rather than once per value. Portable.
//
// Lines end at CR or LF; blanks and tabs around a line, a key and a value are dropped; a
// line starting with "[" opens the section named up to "]"; a line of a section with "="
// is a key and its value, one without is a key with no value. Section and key names are
// matched without regard to case; the first section and the first key of a name count. A
// value in double quotes loses them. A NUL byte ends the text.
#pragma once

#include <cstddef>
#include <string>

struct MmsControlFields {
    std::string sender;     // [Routing] SenderAddress, at most 499 characters
    std::string retryCount; // [Routing] RetryCount, at most 499 characters
    std::string lastError;  // [Routing] LastErrorInfo, at most 499 characters
    std::string recipients; // [Recipients] as GetPrivateProfileSection gives it into 500 bytes:
                            // lines ended by NUL, the whole ended by a second NUL
};

void ParseMmsControlFile(const char* bytes, size_t length, MmsControlFields& fields);
