// A scripted WAPLINK.DLL for tests. Each entry point answers from WAPLINK.INI beside the DLL
// and appends one line to WAPLINK.LOG beside it ("ModemAllocate <name> <waitMs> -> <handle>").
//   [WapLink]
//   ModemAllocate=1            the allocation handle (0: the service keeps the modem)
//   CidSelector0=0             ModemGetCIDForAPN with selector 0
//   CidSelector1=3             ... with selector 1
//   UpdateInitStrings=1        ModemDriverUpdateInitStrings
//   RasDial=0                  WSPRasDial
//   RasHangUp=0                WSPRasHangUp
//   ErrorString=Error {code}   WSPRasGetErrorString ({code} becomes the code)
//   Connections=A|B            the names RasLoadListOrComboBox adds to the control
// A number may be a comma-separated list: successive calls in one process take successive
// values and the last one repeats. Text after " ;" is a comment. Built three ways:
// WAPLINK_NO_OPTIONAL leaves out the optional entry points, WAPLINK_NO_HANGUP leaves out
// WSPRasHangUp.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#define WAPLINK_EXPORT extern "C" __declspec(dllexport)

namespace {

HMODULE module = nullptr;

// The path of a file beside this DLL.
std::string Beside(const char* name)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of("\\/") + 1) + name;
}

std::string Setting(const char* key, const char* fallback)
{
    char value[1024] = {};
    GetPrivateProfileStringA("WapLink", key, fallback, value, sizeof value, Beside("WAPLINK.INI").c_str());
    std::string text(value);
    size_t comment = text.find(';');
    while (comment != std::string::npos && comment > 0 && text[comment - 1] != ' ' && text[comment - 1] != '\t')
        comment = text.find(';', comment + 1);
    if (comment != std::string::npos)
        text.erase(comment);
    return text.erase(text.find_last_not_of(" \t") + 1);
}

// The value for this call of the key: the call count picks from the comma-separated list.
long Scripted(const char* key, int& calls, const char* fallback)
{
    std::string list = Setting(key, fallback);
    size_t start = 0;
    for (int index = 0; index < calls; ++index) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    ++calls;
    return strtol(list.c_str() + start, nullptr, 0);
}

void Log(const std::string& line)
{
    HANDLE file = CreateFileA(Beside("WAPLINK.LOG").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    std::string text = line + "\r\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::string Text(const char* value)
{
    return value ? value : "(null)";
}

std::string Result(long value)
{
    return " -> " + std::to_string(value);
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        module = instance;
    return TRUE;
}

WAPLINK_EXPORT int WINAPI WSPRasDial(const char* profile, const char* apn, const char* login, const char* password,
                                     const char* wapGateway)
{
    static int calls = 0;
    long result = Scripted("RasDial", calls, "0");
    Log("WSPRasDial " + Text(profile) + " " + Text(apn) + " " + Text(login) + " " + Text(password) + " " +
        Text(wapGateway) + Result(result));
    return result;
}

#ifndef WAPLINK_NO_HANGUP
WAPLINK_EXPORT int WINAPI WSPRasHangUp(const char* profile)
{
    static int calls = 0;
    long result = Scripted("RasHangUp", calls, "0");
    Log("WSPRasHangUp " + Text(profile) + Result(result));
    return result;
}
#endif

WAPLINK_EXPORT int WINAPI WSPConnect(const char* wapGateway, void** session)
{
    if (session)
        *session = nullptr;
    Log("WSPConnect " + Text(wapGateway) + Result(1));
    return 1;
}

WAPLINK_EXPORT int WINAPI WSPDisconnect(void*)
{
    Log("WSPDisconnect");
    return 0;
}

WAPLINK_EXPORT int WINAPI WSPRequest(void*, const char* url, char*, DWORD* length)
{
    if (length)
        *length = 0;
    Log("WSPRequest " + Text(url) + Result(1));
    return 1;
}

WAPLINK_EXPORT DWORD WINAPI ModemAllocate(const char* modemName, DWORD waitMs, DWORD*)
{
    static int calls = 0;
    long handle = Scripted("ModemAllocate", calls, "1");
    Log("ModemAllocate " + Text(modemName) + " " + std::to_string(waitMs) + Result(handle));
    return static_cast<DWORD>(handle);
}

WAPLINK_EXPORT int WINAPI ModemRequested(DWORD allocation)
{
    Log("ModemRequested " + std::to_string(allocation) + Result(0));
    return 0;
}

WAPLINK_EXPORT void WINAPI ModemRelease(DWORD allocation)
{
    Log("ModemRelease " + std::to_string(allocation));
}

WAPLINK_EXPORT int WINAPI ModemReset(const char* modemName)
{
    Log("ModemReset " + Text(modemName) + Result(0));
    return 0;
}

// Adds each name of Connections with the control's add-string message; the count it offered.
WAPLINK_EXPORT int WINAPI RasLoadListOrComboBox(HWND dialog, int controlId, UINT message)
{
    std::string names = Setting("Connections", "");
    int count = 0;
    for (size_t start = 0; !names.empty() && start <= names.size(); ++count) {
        size_t bar = names.find('|', start);
        std::string name = names.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
        SendDlgItemMessageA(dialog, controlId, message, 0, reinterpret_cast<LPARAM>(name.c_str()));
        start = bar == std::string::npos ? names.size() + 1 : bar + 1;
    }
    Log("RasLoadListOrComboBox " + std::to_string(controlId) + " " + std::to_string(message) + Result(count));
    return count;
}

WAPLINK_EXPORT int WINAPI RasGetUserAndPassword(const char* profile, char* user, char* password)
{
    if (user)
        *user = '\0';
    if (password)
        *password = '\0';
    Log("RasGetUserAndPassword " + Text(profile) + Result(0));
    return 0;
}

WAPLINK_EXPORT int WINAPI RasGetModemName(const char* profile, char* modemName, DWORD length)
{
    if (modemName && length)
        *modemName = '\0';
    Log("RasGetModemName " + Text(profile) + Result(0));
    return 0;
}

#ifndef WAPLINK_NO_OPTIONAL
WAPLINK_EXPORT int WINAPI ModemGetCIDForAPN(const char* modemName, const char* apn, int selector)
{
    static int calls[2] = {};
    long cid = 0;
    if (selector == 0 || selector == 1)
        cid = Scripted(selector ? "CidSelector1" : "CidSelector0", calls[selector], "0");
    Log("ModemGetCIDForAPN " + Text(modemName) + " " + Text(apn) + " " + std::to_string(selector) + Result(cid));
    return cid;
}

WAPLINK_EXPORT int WINAPI ModemDriverUpdateInitStrings(const char* modemName, const char* apn)
{
    static int calls = 0;
    long result = Scripted("UpdateInitStrings", calls, "0");
    Log("ModemDriverUpdateInitStrings " + Text(modemName) + " " + Text(apn) + Result(result));
    return result;
}

WAPLINK_EXPORT void WINAPI WSPRasGetErrorString(DWORD code, char* buffer, DWORD length)
{
    std::string text = Setting("ErrorString", "Error {code}");
    for (size_t at = text.find("{code}"); at != std::string::npos; at = text.find("{code}", at))
        text.replace(at, 6, std::to_string(code));
    if (buffer && length) {
        size_t kept = text.size() < length ? text.size() : length - 1;
        memcpy(buffer, text.data(), kept);
        buffer[kept] = '\0';
    }
    Log("WSPRasGetErrorString " + std::to_string(code) + " " + std::to_string(length) + " -> " + text);
}
#endif
