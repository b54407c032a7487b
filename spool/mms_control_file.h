// An outbound MMS control file (".INI" beside the message file) as the gateway writes it with
// the profile functions: "[Section]" lines and "key=value" lines. The outbound MMS queue viewer
// shows three [Routing] values and the [Recipients] section of thousands of these files;
// asking the profile functions opens each file once per value, so the viewer reads the bytes
// once and takes them from here.
//
// The answer here is given only for a file whose every line means one thing to the profile
// functions: printable ASCII lines ended by LF or CR LF, each empty, a section line "[name]"
// or a "key=value" line, with no blank at the start or end of a line, a name or a value, no
// quote anywhere, no comment, no name given twice in its scope, and a [Recipients] section
// that fits the viewer's buffer whole. For any other file (a byte-order mark, another
// encoding, a quoted value, a key before the first section...) the answer is false and the
// caller asks the profile functions themselves, so either way the result is theirs.
// Portable: no windows.h.
#pragma once

#include <cstddef>
#include <string>

// The viewer's buffers: a value of at most 499 characters, the section into 500 bytes.
constexpr size_t kMmsControlValueBuffer = 500;
// A larger file is left to the profile functions.
constexpr size_t kPlainControlFileLimit = 16 * 1024;

struct MmsControlFields {
    std::string sender;     // [Routing] SenderAddress
    std::string retryCount; // [Routing] RetryCount
    std::string lastError;  // [Routing] LastErrorInfo
    // [Recipients] as GetPrivateProfileSectionA gives it: "key=value" lines each ended by a
    // NUL, then one more NUL (a lone NUL when the section is empty or missing).
    std::string recipients;
};

// False when the file is not plain as above; fields are then unspecified.
bool ReadPlainMmsControlFile(const char* bytes, size_t length, MmsControlFields& fields);
