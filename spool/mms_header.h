// Received MMS header files ("*.HDR"): header lines in the manner of an e-mail header.
// Portable: no windows.h.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Only this much of a header file is read.
const size_t kMmsHeaderReadLimit = 8191;

struct MmsContentLocation {
    std::string path;        // relative to the received MMS store directory
    std::string contentType; // between the first and second ";", empty when none
};

struct MmsHeader {
    char from[150]; // cut at the first "/TYPE="
    char to[150];   // cut at the first "/TYPE="
    char subject[500];
    std::vector<MmsContentLocation> contents; // one per "X-QelMMS-Content-Location:" line
};

// Parses the first kMmsHeaderReadLimit bytes (a NUL byte ends the text earlier). Names are
// matched at the very start of a line without regard to case; values start after the blanks
// that follow the colon. The first "From:", "To:" and "Subject:" line counts.
void ParseMmsHeader(const char* bytes, size_t length, MmsHeader& header);

// True when a content path stays inside the store: relative, no drive, no ".." component.
// The header file is the gateway's, but anyone who can write the store can write it too.
bool IsContainedContentPath(const std::string& path);
