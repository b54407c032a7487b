#include "app/config_files.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/app_state.h"
#include "app/ini_files.h"
#include "base/ini_rules.h"
#include "base/names.h"
#include "gateway/gwcore/folder_security.h"
#include "gateway/gwcore/gwcore.h"

namespace {

const char kConfigurationUnreadable[] =
    "This account may not read the gateway's configuration file SMSGW.INI in the folder %s\r\n\r\n"
    "That folder holds passwords, so it is open only to the administrators and to the account that "
    "set the gateway up. Start this program as one of them (\"Run as administrator\"): until then "
    "every page shows its defaults and nothing can be saved.";

const char* const kVirtualStoreFolders[] = {
    "AppData\\Local\\VirtualStore\\ProgramData\\QelSMS",
    "AppData\\Local\\VirtualStore\\Program Files\\QelSMS",
    "AppData\\Local\\VirtualStore\\Program Files (x86)\\QelSMS",
};

void CopyBounded(char* out, const std::string& text)
{
    lstrcpynA(out, text.c_str(), MAX_PATH);
}

// Trustees are given on the directory itself, named without its trailing backslash.
void GrantServiceAccess(const char* directory)
{
    char path[MAX_PATH];
    lstrcpynA(path, directory, MAX_PATH);
    size_t length = strlen(path);
    if (length == 0 || path[length - 1] != '\\')
        return;
    path[length - 1] = '\0';
    SetQelSMSTrustees(path);
}

// A data directory whose rights were changed since it was set up (an inherited or added
// entry that lets other users in) gets them back; done silently, as far as this account may.
void RepairServiceAccess(const char* directory)
{
    std::string path = directory;
    if (path.size() < 2 || path.back() != '\\')
        return;
    path.pop_back();
    RepairDataFolderAccess(path.c_str());
}

void CreateEmptyFile(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

void RemoveVirtualStoreCopies()
{
    for (const char* relative : kVirtualStoreFolders) {
        char profile[MAX_PATH] = "";
        DWORD n = ExpandEnvironmentStringsA("%USERPROFILE%", profile, MAX_PATH);
        // An unset variable expands to itself: that relative path must not be searched.
        if (n == 0 || n > MAX_PATH || profile[0] == '\0' || profile[0] == '%')
            continue;
        std::string path = profile;
        if (path.back() != '\\' && path.back() != '/')
            path += '\\';
        path += relative;
        if (!PathExists(path.c_str()))
            continue;
        DeleteTree(path.c_str());
        char dataDirectory[MAX_PATH];
        ProgramDataDirectory(dataDirectory);
        GrantServiceAccess(dataDirectory);
    }
}

// A configured directory is used as it stands; the default is created when asked.
void ResolveDirectory(const char* file, const char* section, const char* key, const char* defaultName,
                      bool createDefault, char* out)
{
    std::string configured = ProfileIniStore(file).Read(section, key, MAX_PATH);
    if (!configured.empty()) {
        CopyBounded(out, WithTrailingBackslash(configured));
        return;
    }
    char dataDirectory[MAX_PATH];
    ProgramDataDirectory(dataDirectory);
    std::string path = std::string(dataDirectory) + defaultName;
    if (createDefault && !PathExists(path.c_str()))
        CreateDirectoryA(path.c_str(), nullptr);
    CopyBounded(out, WithTrailingBackslash(path));
}

// The first entry a directory search finds for path; false when there is none.
bool FindFirstEntry(const char* path, WIN32_FIND_DATAA& found)
{
    HANDLE search = FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}

bool IsLink(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

} // namespace

void ProgramDataDirectory(char* out)
{
    out[0] = '\0';
    GetProgramDataDirectory(out);
}

std::string RouteFolder(const std::string& route)
{
    char data[MAX_PATH];
    ProgramDataDirectory(data);
    return RouteFolder(data, route);
}

void PrivateDataDirectory(char* out)
{
    out[0] = '\0';
    GetPrivateDataDirectory(out);
}

void ProgramDirectory(char* out)
{
    out[0] = '\0';
    GetRealProgramDirectory(out);
}

void PrepareConfiguration()
{
    char dataDirectory[MAX_PATH];
    ProgramDataDirectory(dataDirectory);
    CopyBounded(appPaths.smsIni, std::string(dataDirectory) + "SMSGW.INI");
    CopyBounded(appPaths.mmscIni, std::string(dataDirectory) + "MMSC.INI");

    if (!PathExists(appPaths.smsIni)) {
        char privateDirectory[MAX_PATH];
        PrivateDataDirectory(privateDirectory);
        GrantServiceAccess(dataDirectory);
        GrantServiceAccess(privateDirectory);
        CreateEmptyFile(appPaths.smsIni);
    } else {
        char privateDirectory[MAX_PATH];
        PrivateDataDirectory(privateDirectory);
        RepairServiceAccess(dataDirectory);
        RepairServiceAccess(privateDirectory);
    }
    SMSIniSetFilename(appPaths.smsIni);

    if (!PathExists(appPaths.mmscIni))
        CreateEmptyFile(appPaths.mmscIni);
    MMSCIniSetFilename(appPaths.mmscIni);

    RemoveVirtualStoreCopies();

    char programDirectory[MAX_PATH];
    ProgramDirectory(programDirectory);
    CopyBounded(appPaths.helpDocument, std::string(programDirectory) + "QelSMS Lite.pdf");
    appPaths.helpAvailable = PathExists(appPaths.helpDocument);
}

std::string UnreadableConfigurationMessage()
{
    HANDLE file = CreateFileA(appPaths.smsIni, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return std::string();
    }
    if (GetLastError() != ERROR_ACCESS_DENIED)
        return std::string();
    char dataDirectory[MAX_PATH];
    ProgramDataDirectory(dataDirectory);
    std::string text(sizeof kConfigurationUnreadable + MAX_PATH, '\0');
    int length = snprintf(&text[0], text.size(), kConfigurationUnreadable, dataDirectory);
    text.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return text;
}

void GetSMSQueueDirectory(char* out, const char* subQueue)
{
    char root[MAX_PATH];
    ResolveDirectory(appPaths.smsIni, "SMSGW", "QDir", "Q", true, root);
    CopyBounded(out, root);
    if (!subQueue || !subQueue[0])
        return;

    std::string name = SubQueueFolderName(subQueue);
    std::string folder = std::string(root) + name;
    if (CheckOutsideName(name) != NameFault::None || folder.size() + 1 >= MAX_PATH)
        return; // a folder name Windows would change, or one too long: stay with the root
    if (!PathExists(folder.c_str())) {
        CreateDirectoryA(folder.c_str(), nullptr);
        if (!PathExists(folder.c_str()))
            CreateDirectoryA(folder.c_str(), nullptr);
        if (!PathExists(folder.c_str()))
            return; // the root, with its backslash
    }
    CopyBounded(out, folder + '\\');
}

void GetSMSInDirectory(char* out)
{
    ResolveDirectory(appPaths.smsIni, "SMSGW", "SmsInDir", "SMS-IN\\", false, out);
}

void GetMMSInDirectory(char* out)
{
    ResolveDirectory(appPaths.smsIni, "SMSGW", "MMSDir", "MMS-IN", true, out);
}

void GetVASPQueueDirectory(char* out)
{
    ResolveDirectory(appPaths.mmscIni, "MMSC", "VASPQDir", "VASPQ", true, out);
}

bool PathExists(const char* path)
{
    WIN32_FIND_DATAA found;
    return FindFirstEntry(path, found);
}

bool FileExists(const char* path)
{
    WIN32_FIND_DATAA found;
    return FindFirstEntry(path, found) && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void DeleteTree(const char* directory)
{
    if (!directory || !directory[0])
        return;

    char top[MAX_PATH];
    lstrcpynA(top, directory, MAX_PATH);
    size_t length = strlen(top);
    while (length > 0 && top[length - 1] == '\\')
        top[--length] = '\0';

    // A link in place of the directory is removed itself: what it points to is not ours.
    DWORD topAttributes = GetFileAttributesA(top);
    if (topAttributes != INVALID_FILE_ATTRIBUTES && IsLink(topAttributes)) {
        RemoveDirectoryA(top);
        return;
    }

    std::string pattern = std::string(top) + "\\*";
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string path = std::string(top) + '\\' + found.cFileName;
            bool isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (!isDirectory)
                DeleteFileA(path.c_str());
            else if (found.cFileName[0] == '.')
                continue; // ".", ".." and hidden folders stay
            else if (IsLink(found.dwFileAttributes))
                RemoveDirectoryA(path.c_str());
            else
                DeleteTree(path.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(top);
}
