// Received MMS header files ("*.HDR"): header lines in the manner of an e-mail header.
// Portable: no windows.h.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Only this much of a header file is read.
const size_t kMmsHeaderReadLimit = 8191;
// Characters of a content type that are kept.
const size_t kContentTypeLimit = 149;

struct MmsContentLocation {
    std::string path;        // relative to the received MMS store directory
    std::string contentType; // between the first and second ";", empty when none, at most 149
};

struct MmsHeader {
    char from[150]; // cut at the first "/TYPE="
    char to[150];   // cut at the first "/TYPE="
    char subject[500];
    std::vector<MmsContentLocation> contents; // one per "X-QelMMS-Content-Location:" line
};

// Parses the first kMmsHeaderReadLimit bytes (a NUL byte ends the text earlier). Lines are
// split as in the spool files: a line starts after every character of code 32 or below.
// Names are matched at the start of a line without regard to case; values start after the
// blanks that follow the colon. The last "From:", "To:" and "Subject:" line counts.
void ParseMmsHeader(const char* bytes, size_t length, MmsHeader& header);

// True when a content path stays inside the store: relative, no drive or stream, no ".."
// component, no component naming a device (CON, NUL, AUX, PRN, COMn, LPTn, CONIN$, CONOUT$,
// with or without an extension). The header file is the gateway's, but the sender of the
// message chose the names in it.
bool IsContainedContentPath(const std::string& path);
