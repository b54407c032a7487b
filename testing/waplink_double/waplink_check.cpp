// Checks the three builds of the WAPLINK.DLL test double beside this program (full\,
// no-optional\, no-hangup\): copies each into a folder of its own under %TEMP%, loads it,
// compares the entry points it exports with the variant's, and with the full build runs a
// scripted sequence and compares the answers and WAPLINK.LOG line by line.
//   waplink_check.exe      run under a display (the connections go into a real combo box);
//                          prints "ok: ..." or "FAIL: ..." per check, exit code 0 when all pass

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/addon_libraries.h"

namespace {

const char* const kEntryPoints[] = {"WSPRasDial",
                                    "WSPRasHangUp",
                                    "WSPConnect",
                                    "WSPDisconnect",
                                    "WSPRequest",
                                    "ModemAllocate",
                                    "ModemRequested",
                                    "ModemRelease",
                                    "RasLoadListOrComboBox",
                                    "RasGetUserAndPassword",
                                    "RasGetModemName",
                                    "ModemGetCIDForAPN",
                                    "ModemDriverUpdateInitStrings",
                                    "WSPRasGetErrorString",
                                    "ModemReset"};

const char kScript[] = "[WapLink]\r\n"
                       "ModemAllocate=7\r\n"
                       "CidSelector0=0,3\r\n"
                       "CidSelector1=3   ; the driver's own\r\n"
                       "UpdateInitStrings=1\r\n"
                       "RasDial=633,0\r\n"
                       "ErrorString=Port {code} is in use; really   ; what RAS says\r\n"
                       "Connections=GPRS Internet|Office VPN\r\n";

int failures = 0;

void Check(bool passed, const std::string& what)
{
    printf("%s: %s\n", passed ? "ok" : "FAIL", what.c_str());
    failures += passed ? 0 : 1;
}

std::vector<std::string> ReadLines(const std::string& path)
{
    std::vector<std::string> lines;
    FILE* file = fopen(path.c_str(), "rb");
    char line[1024];
    while (file && fgets(line, sizeof line, file)) {
        std::string text(line);
        lines.push_back(text.erase(text.find_last_not_of("\r\n") + 1));
    }
    if (file)
        fclose(file);
    return lines;
}

// A fresh copy of the variant's DLL with kScript beside it, loaded.
HMODULE LoadCopy(const std::string& testbin, const std::string& variant, std::string& folder)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    folder = std::string(temp) + "waplink-check-" + variant + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    DeleteFileA((folder + "WAPLINK.LOG").c_str());
    CopyFileA((testbin + variant + "\\WAPLINK.DLL").c_str(), (folder + "WAPLINK.DLL").c_str(), FALSE);
    FILE* ini = fopen((folder + "WAPLINK.INI").c_str(), "wb");
    if (ini) {
        fputs(kScript, ini);
        fclose(ini);
    }
    return LoadLibraryA((folder + "WAPLINK.DLL").c_str());
}

template <typename Proc>
Proc Entry(HMODULE module, const char* name)
{
    return reinterpret_cast<Proc>(GetProcAddress(module, name));
}

// The connections land in a real combo box of a window (this needs a display).
void CheckConnections(RasLoadListOrComboBoxProc load)
{
    HWND parent = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    HWND combo = CreateWindowA("COMBOBOX", "", WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 100, 100, parent,
                               reinterpret_cast<HMENU>(1001), nullptr, nullptr);
    Check(combo != nullptr, "a combo box to fill (run under a display)");
    load(parent, 1001, CB_ADDSTRING);
    char second[64] = {};
    SendMessageA(combo, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(second));
    Check(SendMessageA(combo, CB_GETCOUNT, 0, 0) == 2 && std::string(second) == "Office VPN", "connections added");
    DestroyWindow(parent);
}

// Each entry point logs the value it returns, so the log stands for the answers too.
void RunScript(HMODULE module, const std::string& folder)
{
    auto cid = Entry<ModemGetCidForApnProc>(module, "ModemGetCIDForAPN");
    auto dial = Entry<WspRasDialProc>(module, "WSPRasDial");
    auto errorText = Entry<WspRasGetErrorStringProc>(module, "WSPRasGetErrorString");
    DWORD reserved = 0;
    Entry<ModemAllocateProc>(module, "ModemAllocate")("Modem X", 30000, &reserved);
    for (int selector : {0, 1, 0, 0})
        cid("Modem X", "internet", selector);
    Entry<ModemDriverUpdateInitStringsProc>(module, "ModemDriverUpdateInitStrings")("Modem X", "internet");
    dial("Modem: Modem X", "internet", "user", "secret", "10.0.0.1");
    char text[64];
    errorText(633, text, sizeof text);
    Check(std::string(text) == "Port 633 is in use; really", "error text with its code, comment dropped");
    errorText(633, text, 5);
    Check(std::string(text) == "Port", "error text cut to the buffer");
    dial("Modem: Modem X", "internet", "", "", "");
    CheckConnections(Entry<RasLoadListOrComboBoxProc>(module, "RasLoadListOrComboBox"));
    Entry<WspRasHangUpProc>(module, "WSPRasHangUp")("Modem: Modem X");
    Entry<ModemReleaseProc>(module, "ModemRelease")(7);

    const std::vector<std::string> expected = {
        "ModemAllocate Modem X 30000 -> 7",
        "ModemGetCIDForAPN Modem X internet 0 -> 0",
        "ModemGetCIDForAPN Modem X internet 1 -> 3",
        "ModemGetCIDForAPN Modem X internet 0 -> 3",
        "ModemGetCIDForAPN Modem X internet 0 -> 3",
        "ModemDriverUpdateInitStrings Modem X internet -> 1",
        "WSPRasDial Modem: Modem X internet user secret 10.0.0.1 -> 633",
        "WSPRasGetErrorString 633 64 -> Port 633 is in use; really",
        "WSPRasGetErrorString 633 5 -> Port 633 is in use; really",
        "WSPRasDial Modem: Modem X internet    -> 0",
        "RasLoadListOrComboBox 1001 323 -> 2",
        "WSPRasHangUp Modem: Modem X -> 0",
        "ModemRelease 7",
    };
    std::vector<std::string> log = ReadLines(folder + "WAPLINK.LOG");
    Check(log == expected, "log of the scripted sequence");
    for (size_t i = 0; log != expected && i < log.size(); ++i)
        printf("    %s\n", log[i].c_str());
}

void CheckVariant(const std::string& testbin, const std::string& variant, const std::vector<std::string>& missing)
{
    std::string folder;
    HMODULE module = LoadCopy(testbin, variant, folder);
    Check(module != nullptr, variant + " loads");
    if (!module)
        return;
    std::string wrong;
    for (const char* name : kEntryPoints) {
        bool wanted = true;
        for (const std::string& gone : missing)
            wanted = wanted && gone != name;
        if ((GetProcAddress(module, name) != nullptr) != wanted)
            wrong += std::string(" ") + name;
    }
    Check(wrong.empty(), variant + " exports the variant's entry points" + (wrong.empty() ? "" : ", not:" + wrong));
    if (variant == "full")
        RunScript(module, folder);
    FreeLibrary(module);
}

} // namespace

int main()
{
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string testbin(self);
    testbin.erase(testbin.find_last_of('\\') + 1);
    CheckVariant(testbin, "full", {});
    CheckVariant(testbin, "no-optional", {"ModemGetCIDForAPN", "ModemDriverUpdateInitStrings", "WSPRasGetErrorString"});
    CheckVariant(testbin, "no-hangup", {"WSPRasHangUp"});
    printf("%d failed\n", failures);
    return failures ? 1 : 0;
}
