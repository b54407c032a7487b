// The gateway's directories and the registration of its INI files.
#include "gateway/gwcore/gwcore.h"

#include <shlobj.h>

#include <cstring>

#include "base/paths.h"

namespace {

const char kSettingsKey[] = "SOFTWARE\\QelSMS\\Lite";

char smsIniPath[MAX_PATH];
char mmscIniPath[MAX_PATH];

HMODULE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &module);
    return module;
}

// Reads an override from the registry, with environment strings expanded.
bool ReadOverride(const char* valueName, char* buffer)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    char raw[MAX_PATH] = "";
    DWORD type = 0;
    DWORD size = sizeof raw - 1;
    LONG rc = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(raw), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    raw[size < sizeof raw ? size : sizeof raw - 1] = '\0';
    if (!raw[0])
        return false;
    DWORD n = ExpandEnvironmentStringsA(raw, buffer, MAX_PATH - 1);
    return n > 0 && n < MAX_PATH - 1;
}

// A data folder override that is not absolute or names a drive or share root is passed
// over: the gateway's files, and deleting them, must never take a whole drive.
bool ReadDataFolderOverride(const char* valueName, char* buffer)
{
    if (!ReadOverride(valueName, buffer))
        return false;
    if (NormalizeAbsolutePath(buffer).empty() || IsDriveRoot(buffer)) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}

bool EndWithBackslash(char* path)
{
    size_t len = strlen(path);
    if (len == 0)
        return false;
    if (path[len - 1] == '\\' || path[len - 1] == '/')
        return true;
    if (len + 1 >= MAX_PATH)
        return false;
    path[len] = '\\';
    path[len + 1] = '\0';
    return true;
}

// Creates a directory and its missing parents. The path ends with a backslash.
void CreateDirectoryChain(const char* path)
{
    char partial[MAX_PATH];
    size_t len = strlen(path);
    for (size_t i = 0; i < len && i < MAX_PATH - 1; ++i) {
        partial[i] = path[i];
        if ((path[i] == '\\' || path[i] == '/') && i > 2) {
            partial[i] = '\0';
            CreateDirectoryA(partial, nullptr);
            partial[i] = path[i];
        }
    }
}

DWORD Finish(char* buffer, bool create)
{
    if (!EndWithBackslash(buffer)) {
        buffer[0] = '\0';
        return 0;
    }
    if (create)
        CreateDirectoryChain(buffer);
    return static_cast<DWORD>(strlen(buffer));
}

// The machine's common application-data folder + the given sub-path.
bool CommonAppData(const char* subPath, char* buffer)
{
    char base[MAX_PATH];
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base)))
        return false;
    size_t baseLen = strlen(base);
    if (baseLen + 1 + strlen(subPath) >= MAX_PATH)
        return false;
    strcpy(buffer, base);
    if (baseLen && base[baseLen - 1] != '\\')
        strcat(buffer, "\\");
    strcat(buffer, subPath);
    return true;
}

} // namespace

DWORD WINAPI GetProgramDataDirectory(LPSTR buffer)
{
    buffer[0] = '\0';
    if (!ReadDataFolderOverride("DataDirectory", buffer) && !CommonAppData("QelSMS\\", buffer))
        buffer[0] = '\0';
    return Finish(buffer, true);
}

DWORD WINAPI GetPrivateDataDirectory(LPSTR buffer)
{
    buffer[0] = '\0';
    if (!ReadDataFolderOverride("PrivateDataDirectory", buffer) && !CommonAppData("QelSMS\\Private\\", buffer))
        buffer[0] = '\0';
    return Finish(buffer, true);
}

// The folder of the installed executables: this library lies beside them.
DWORD WINAPI GetRealProgramDirectory(LPSTR buffer)
{
    buffer[0] = '\0';
    if (!ReadOverride("ProgramDirectory", buffer)) {
        DWORD n = GetModuleFileNameA(ThisModule(), buffer, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) {
            buffer[0] = '\0';
        } else {
            char* slash = strrchr(buffer, '\\');
            if (slash)
                slash[1] = '\0';
        }
    }
    return Finish(buffer, false);
}

void WINAPI SMSIniSetFilename(LPCSTR path)
{
    lstrcpynA(smsIniPath, path ? path : "", MAX_PATH);
}

void WINAPI MMSCIniSetFilename(LPCSTR path)
{
    lstrcpynA(mmscIniPath, path ? path : "", MAX_PATH);
}
