#include "twoway/php_locator.h"

#include "base/ini_rules.h"
#include "base/text.h"

const char kPhpNotAvailableMessage[] = "PHP support not available, unable to locate php-cgi.exe";
const char kPhpSearchStoppedMessage[] =
    "PHP support not available, unable to locate php-cgi.exe: the search of the fixed drives stopped after "
    "20,000 folders without finding it.\r\n\r\n"
    "Set the PHPRC environment variable to the folder that holds php-cgi.exe, or add that folder to PATH, "
    "and try again.";

namespace {

const char kProgramName[] = "php-cgi.exe";
const char* const kSkippedFolders[] = {".", "..", "Q", "MMSCDATA"};
constexpr size_t kEnvironmentMax = 260; // a buffer of 261 characters

bool Skipped(const std::string& name)
{
    for (const char* skipped : kSkippedFolders) {
        if (EqualsNoCase(name, skipped))
            return true;
    }
    return false;
}

// php-cgi.exe in a directory, when it is there.
bool TryDirectory(PhpSearchSystem& system, const std::string& directory, std::string& found)
{
    if (directory.empty())
        return false;
    std::string candidate = WithTrailingBackslash(directory) + kProgramName;
    if (candidate.size() > kPhpPathMax || !system.PathExists(candidate))
        return false;
    found = candidate;
    return true;
}

bool TryPathList(PhpSearchSystem& system, const std::string& list, std::string& found)
{
    size_t start = 0;
    while (start <= list.size()) {
        while (start < list.size() && list[start] == ' ')
            ++start;
        size_t end = list.find(';', start);
        if (end == std::string::npos)
            end = list.size();
        if (TryDirectory(system, list.substr(start, end - start), found))
            return true;
        start = end + 1;
    }
    return false;
}

class DriveSearch {
public:
    DriveSearch(PhpSearchSystem& system, size_t limit, PhpSearchResult& result)
        : system_(system), limit_(limit), result_(result)
    {
    }

    // Depth first, each subdirectory entered when it is met.
    bool Search(const std::string& directory)
    {
        if (result_.foldersVisited >= limit_) {
            result_.searchCut = true;
            return false;
        }
        ++result_.foldersVisited;
        for (const FolderEntry& entry : system_.ListDirectory(directory)) {
            std::string path = directory + entry.name;
            if (path.size() > kPhpPathMax)
                continue;
            if (!entry.directory) {
                // A program others may overwrite is as open as one in an open folder.
                if (EqualsNoCase(entry.name, kProgramName) && !system_.OthersMayWrite(path)) {
                    result_.path = path;
                    return true;
                }
                continue;
            }
            if (entry.reparsePoint || Skipped(entry.name) || system_.OthersMayWrite(path + "\\"))
                continue;
            if (Search(path + "\\"))
                return true;
            if (result_.searchCut)
                return false;
        }
        return false;
    }

private:
    PhpSearchSystem& system_;
    size_t limit_;
    PhpSearchResult& result_;
};

} // namespace

PhpSearchResult LocatePhpCgi(IniStore& smsgw, PhpSearchSystem& system, size_t folderLimit)
{
    PhpSearchResult result;
    std::string stored = smsgw.Read("SMSGW", "PHP-CGI.EXE", kPhpPathMax + 1);
    if (!stored.empty()) {
        if (system.PathExists(stored)) {
            result.found = result.stored = true;
            result.path = stored;
            return result;
        }
        smsgw.Delete("SMSGW", "PHP-CGI.EXE");
        result.gone = stored;
    }

    std::string phprc = system.Environment("PHPRC");
    std::string path = system.Environment("PATH");
    bool found = (phprc.size() <= kEnvironmentMax && TryDirectory(system, phprc, result.path)) ||
                 (path.size() <= kEnvironmentMax && TryPathList(system, path, result.path));
    if (!found) {
        DriveSearch search(system, folderLimit, result);
        for (const std::string& root : system.FixedDriveRoots()) {
            if (system.OthersMayWrite(root))
                continue;
            if ((found = search.Search(root)) || result.searchCut)
                break;
        }
    }
    if (!found) {
        result.message = result.searchCut ? kPhpSearchStoppedMessage : kPhpNotAvailableMessage;
        return result;
    }
    result.found = true;
    return result;
}

void AdoptPhpCgi(IniStore& smsgw, const std::string& path)
{
    smsgw.Write("SMSGW", "PHP-CGI.EXE", path);
}

std::string PhpFoundQuestion(const std::string& path)
{
    return "php-cgi.exe was found here:\r\n\r\n" + path +
           "\r\n\r\nThe gateway service will run this program for local PHP scripts. Use it?";
}

std::string PhpGoneNotice(const std::string& path)
{
    return "The php-cgi.exe of the configuration no longer exists:\r\n\r\n" + path +
           "\r\n\r\nIt has been removed from the configuration.";
}

std::string PhpScriptDirectory(IniStore& smsgw, const std::string& programDataDirectory)
{
    std::string directory = smsgw.Read("SMSGW", "PHPDir", kPhpPathMax + 1);
    if (directory.empty())
        return programDataDirectory + "PHP\\";
    return WithTrailingBackslash(directory);
}
