// The script support on this machine: php-cgi.exe found through the configuration, the
// environment and the fixed drives, and the gateway's PHP script directory.
#pragma once

#include <string>

// True with the path of php-cgi.exe; otherwise false with the message to show. May search
// the fixed drives (with the wait cursor, bounded by kPhpSearchFolderLimit folders).
bool LocatePhpCgiExe(std::string& path, std::string& message);

// The PHP script directory, with trailing backslash.
std::string PhpDirectory();
