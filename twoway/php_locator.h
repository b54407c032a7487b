// Finding php-cgi.exe, the PHP CGI program the gateway runs local scripts with, and naming
// the gateway's PHP script directory. Portable: no windows.h; the file system, the
// environment and the drives come through PhpSearchSystem.
#pragma once

#include <string>
#include <vector>

#include "base/ini_store.h"
#include "twoway/file_probe.h"

extern const char kPhpNotAvailableMessage[]; // "PHP support not available, unable to locate php-cgi.exe"

// Paths of at most this many characters; environment values longer than 260 are not used.
constexpr size_t kPhpPathMax = 259;
// The drive search enters at most this many folders in all, so that a huge disk (or the
// whole Unix tree that Wine shows as a drive) ends the search instead of blocking the
// window for good.
constexpr size_t kPhpSearchFolderLimit = 20000;

struct FolderEntry {
    std::string name;
    bool directory = false;
    bool reparsePoint = false; // a junction or symbolic link: never entered
};

class PhpSearchSystem : public FileProbe {
public:
    // An environment variable's value; empty when unset.
    virtual std::string Environment(const char* name) = 0;
    // The roots ("C:\") of the fixed drives from A to Z.
    virtual std::vector<std::string> FixedDriveRoots() = 0;
    // The entries of a directory (path with trailing backslash) in the file system's order,
    // without "." and "..".
    virtual std::vector<FolderEntry> ListDirectory(const std::string& directory) = 0;
};

struct PhpSearchResult {
    bool found = false;
    std::string path;    // the php-cgi.exe found
    std::string message; // kPhpNotAvailableMessage when not found
    size_t foldersVisited = 0;
    bool searchCut = false; // the drive search stopped at kPhpSearchFolderLimit
};

// [SMSGW] "PHP-CGI.EXE" when it still exists (a stale value is deleted), then "PHPRC", then
// each "PATH" directory, then a depth-first search of the fixed drives that skips ".", "..",
// "Q", "MMSCDATA" and every link. A path found by the last three is stored as "PHP-CGI.EXE".
PhpSearchResult LocatePhpCgi(IniStore& smsgw, PhpSearchSystem& system, size_t folderLimit = kPhpSearchFolderLimit);

// [SMSGW] "PHPDir" with a trailing backslash, or "PHP\" under the program data directory
// (given with its trailing backslash) when it is empty.
std::string PhpScriptDirectory(IniStore& smsgw, const std::string& programDataDirectory);
