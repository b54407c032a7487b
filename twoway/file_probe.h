// What the keyword checks and the php-cgi.exe search ask of the file system, so that their
// rules run natively over a fake one. Portable: no windows.h.
#pragma once

#include <string>
#include <vector>

class FileProbe {
public:
    virtual ~FileProbe() = default;
    // A file or directory of that name exists (PathExists of the configuration files).
    virtual bool PathExists(const std::string& path) = 0;
    // A file (not a directory) of that name exists (FileExists).
    virtual bool FileExists(const std::string& path) = 0;
};
