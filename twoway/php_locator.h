// Finding php-cgi.exe, the PHP CGI program the gateway runs local scripts with, and naming
// the gateway's PHP script directory. Portable: no windows.h; the file system, the
// environment and the drives come through PhpSearchSystem.
#pragma once

#include <string>
#include <vector>

#include "base/ini_store.h"
#include "twoway/file_probe.h"

extern const char kPhpNotAvailableMessage[]; // "PHP support not available, unable to locate php-cgi.exe"
// The drive search stopped at its folder limit: says so, and that PHPRC or PATH finds it.
extern const char kPhpSearchStoppedMessage[];

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
    // True when an account other than SYSTEM, the administrators and the one running the
    // program may put files into the directory (path with trailing backslash), write the file,
    // or change its rights (OthersMayWrite of base/access_rules.h), or its rights cannot be read.
    virtual bool OthersMayWrite(const std::string& directory) = 0;
};

struct PhpSearchResult {
    bool found = false;
    bool stored = false; // the path is the configured one; a path found otherwise is only
                         // stored when the administrator confirms it (AdoptPhpCgi)
    std::string path;    // the php-cgi.exe found
    std::string message; // kPhpNotAvailableMessage or kPhpSearchStoppedMessage when not found
    std::string gone;    // a configured path that no longer exists (its key is deleted)
    size_t foldersVisited = 0;
    bool searchCut = false; // the drive search stopped at kPhpSearchFolderLimit
};

// [SMSGW] "PHP-CGI.EXE" when it still exists (a stale value is deleted and named in gone),
// then "PHPRC", then each "PATH" directory, then a depth-first search of the fixed drives
// that skips ".", "..", "Q", "MMSCDATA", every link, and every folder and php-cgi.exe other
// users may write (what they plant there the gateway service would run). Stores nothing.
PhpSearchResult LocatePhpCgi(IniStore& smsgw, PhpSearchSystem& system, size_t folderLimit = kPhpSearchFolderLimit);

// Stores a path the administrator confirmed as [SMSGW] "PHP-CGI.EXE".
void AdoptPhpCgi(IniStore& smsgw, const std::string& path);

// The question that shows a found php-cgi.exe before it is stored, and the notice of a
// configured one that is gone.
std::string PhpFoundQuestion(const std::string& path);
std::string PhpGoneNotice(const std::string& path);

// [SMSGW] "PHPDir" with a trailing backslash, or "PHP\" under the program data directory
// (given with its trailing backslash) when it is empty.
std::string PhpScriptDirectory(IniStore& smsgw, const std::string& programDataDirectory);
