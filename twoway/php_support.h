// The script support on this machine: php-cgi.exe found through the configuration, the
// environment and the fixed drives, and the gateway's PHP script directory.
#pragma once

#include <string>

#include <windows.h>

// True with the path of php-cgi.exe: the configured one, or one found through PHPRC, PATH or
// the fixed drives (with the wait cursor, bounded by kPhpSearchFolderLimit folders) that the
// administrator confirmed in a box owned by owner, which stores it. A configured path that is
// gone is told; why none was found is told only with reportMissing.
bool LocatePhpCgiExe(HWND owner, bool reportMissing, std::string& path);

// The PHP script directory, with trailing backslash.
std::string PhpDirectory();
