// The guard in front of deleting the private data directory: the folder is compared with
// the folders the system and the program live in, each in its full and long spelling.
#include "shell/data_folder_guard.h"

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "base/paths.h"
#include "gateway/gwcore/gwcore.h"

namespace {

const int kProtectedShellFolders[] = {
    CSIDL_PROFILE,        CSIDL_WINDOWS, CSIDL_SYSTEM,        CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86,
    CSIDL_COMMON_APPDATA, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_PERSONAL,
};

// The full path, and the long one where the folder exists: "C:\PROGRA~1" and
// "C:\x\..\Program Files" must meet "C:\Program Files". Empty when it cannot be resolved.
std::vector<std::string> ResolvedSpellings(const std::string& path)
{
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    if (n == 0 || n >= MAX_PATH)
        return {};
    std::vector<std::string> spellings = {full};
    char longPath[MAX_PATH];
    n = GetLongPathNameA(full, longPath, MAX_PATH);
    if (n > 0 && n < MAX_PATH)
        spellings.push_back(longPath);
    return spellings;
}

void AddProtected(std::vector<std::string>& folders, const std::string& folder)
{
    if (folder.empty() || NormalizeAbsolutePath(folder).empty())
        return;
    for (const std::string& spelling : ResolvedSpellings(folder))
        folders.push_back(spelling);
}

// The folder part of a file path ("C:\x\QELCONF.EXE" -> "C:\x").
std::string ParentFolder(const std::string& path)
{
    std::string normal = NormalizeAbsolutePath(path);
    size_t slash = normal.rfind('\\');
    return slash == std::string::npos ? std::string() : normal.substr(0, slash + 1);
}

// Adds what a function of the (buffer, size) kind answers, when it answers.
void AddAnswer(std::vector<std::string>& folders, UINT(WINAPI* query)(LPSTR, UINT))
{
    char folder[MAX_PATH];
    UINT n = query(folder, MAX_PATH);
    if (n > 0 && n < MAX_PATH)
        AddProtected(folders, folder);
}

std::vector<std::string> ProtectedFolders()
{
    std::vector<std::string> folders;
    char folder[MAX_PATH];
    folder[0] = '\0';
    if (GetRealProgramDirectory(folder))
        AddProtected(folders, folder);
    DWORD n = GetModuleFileNameA(nullptr, folder, MAX_PATH);
    if (n > 0 && n < MAX_PATH)
        AddProtected(folders, ParentFolder(folder));
    AddAnswer(folders, GetWindowsDirectoryA);
    AddAnswer(folders, GetSystemDirectoryA);
    AddAnswer(folders, GetSystemWow64DirectoryA);
    for (int id : kProtectedShellFolders) {
        if (SUCCEEDED(SHGetFolderPathA(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, folder)))
            AddProtected(folders, folder);
    }
    // The root of the profiles (C:\Users): deleting it takes every user's profile.
    if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, folder)))
        AddProtected(folders, ParentFolder(folder));
    return folders;
}

} // namespace

bool IsDeletableDataFolder(const char* privateDirectory)
{
    if (!privateDirectory || NormalizeAbsolutePath(privateDirectory).empty())
        return false;
    std::vector<std::string> spellings = ResolvedSpellings(privateDirectory);
    if (spellings.empty())
        return false;
    std::vector<std::string> folders = ProtectedFolders();
    for (const std::string& spelling : spellings) {
        if (!IsSafeToDeleteFolder(spelling, folders))
            return false;
    }
    return true;
}
