#include "twoway/php_support.h"

#include <windows.h>

#include <vector>

#include "app/config_files.h"
#include "app/ini_files.h"
#include "app/message_box.h"
#include "app/wait_cursor.h"
#include "gateway/gwcore/folder_security.h"
#include "twoway/php_locator.h"

namespace {

constexpr DWORD kEnvironmentBuffer = 261;

class WindowsSearchSystem final : public PhpSearchSystem {
public:
    bool PathExists(const std::string& path) override { return ::PathExists(path.c_str()); }
    bool FileExists(const std::string& path) override { return ::FileExists(path.c_str()); }

    // A value that does not fit the buffer is not used.
    std::string Environment(const char* name) override
    {
        char value[kEnvironmentBuffer] = "";
        DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
        return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
    }

    std::vector<std::string> FixedDriveRoots() override
    {
        std::vector<std::string> roots;
        DWORD drives = GetLogicalDrives();
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            std::string root = std::string(1, letter) + ":\\";
            if ((drives & (1u << (letter - 'A'))) && GetDriveTypeA(root.c_str()) == DRIVE_FIXED)
                roots.push_back(root);
        }
        return roots;
    }

    std::vector<FolderEntry> ListDirectory(const std::string& directory) override
    {
        std::vector<FolderEntry> entries;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((directory + "*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return entries;
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            entries.push_back({name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                               (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
        } while (FindNextFileA(search, &found));
        FindClose(search);
        return entries;
    }

    bool OthersMayWrite(const std::string& directory) override
    {
        return ::OthersMayWrite(ReadFolderAccess(directory.c_str(), TrustedAccount::Running));
    }
};

} // namespace

bool LocatePhpCgiExe(HWND owner, bool reportMissing, std::string& path)
{
    ProfileIniStore smsgw = SmsGatewayIni();
    PhpSearchResult result;
    {
        WaitCursor busy;
        WindowsSearchSystem system;
        result = LocatePhpCgi(smsgw, system);
    }
    if (!result.gone.empty())
        ShowMessage(owner, PhpGoneNotice(result.gone).c_str(), MB_OK | MB_ICONWARNING);
    if (!result.found) {
        if (reportMissing)
            ShowMessage(owner, result.message.c_str(), MB_OK | MB_ICONERROR);
        return false;
    }
    if (!result.stored) {
        if (ShowMessage(owner, PhpFoundQuestion(result.path).c_str(), MB_YESNO | MB_ICONQUESTION) != IDYES)
            return false;
        AdoptPhpCgi(smsgw, result.path);
        // A path the configuration did not take is one the gateway cannot use.
        if (!WritesTaken(owner, {&smsgw}))
            return false;
    }
    path = result.path;
    return true;
}

std::string PhpDirectory()
{
    char dataDirectory[MAX_PATH] = "";
    ProgramDataDirectory(dataDirectory);
    ProfileIniStore smsgw = SmsGatewayIni();
    return PhpScriptDirectory(smsgw, dataDirectory);
}
