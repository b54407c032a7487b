#include "app/addon_libraries.h"

#include <initializer_list>
#include <string>

namespace {

// One library: loaded once, kept only when every required entry point is there.
template <typename Table>
class AddOn {
public:
    struct Entry {
        const char* name;
        FARPROC* slot;
        bool required;
    };

    const Table* Load(const char* file, std::initializer_list<Entry> entries)
    {
        if (tried_)
            return module_ ? &table_ : nullptr;
        tried_ = true;
        std::string path = AddOnLibraryPath(file);
        if (path.empty())
            return nullptr;
        module_ = LoadLibraryExA(path.c_str(), nullptr, 0);
        if (!module_)
            return nullptr;
        for (const Entry& entry : entries) {
            *entry.slot = GetProcAddress(module_, entry.name);
            if (!*entry.slot && entry.required) {
                FreeLibrary(module_);
                module_ = nullptr;
                table_ = Table();
                return nullptr;
            }
        }
        return &table_;
    }
    Table& table() { return table_; }

private:
    bool tried_ = false;
    HMODULE module_ = nullptr;
    Table table_ = {};
};

template <typename T>
FARPROC* Slot(T& pointer)
{
    return reinterpret_cast<FARPROC*>(&pointer);
}

} // namespace

void RestrictLibrarySearch()
{
    // SetDefaultDllDirectories exists from Windows 8 (and Windows 7 with its update): look it
    // up so that the program still starts without it.
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesProc)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto setDefault = kernel ? reinterpret_cast<SetDefaultDllDirectoriesProc>(
                                   reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
                             : nullptr;
    if (setDefault)
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // The current folder leaves the search order of every later LoadLibrary by name.
    SetDllDirectoryA("");
}

std::string AddOnLibraryPath(const char* file)
{
    char program[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    std::string path(program, length);
    size_t slash = path.find_last_of('\\');
    if (slash == std::string::npos)
        return std::string();
    return path.substr(0, slash + 1) + file;
}

const WapLink* LoadWapLink()
{
    static AddOn<WapLink> library;
    WapLink& t = library.table();
    static FARPROC unused[6];
    return library.Load("WAPLINK.DLL",
                        {
                            {"WSPRasDial", Slot(t.WSPRasDial), true},
                            {"WSPRasHangUp", Slot(t.WSPRasHangUp), true},
                            {"WSPConnect", &unused[0], true},
                            {"WSPDisconnect", &unused[1], true},
                            {"WSPRequest", &unused[2], true},
                            {"ModemAllocate", Slot(t.ModemAllocate), true},
                            {"ModemRequested", &unused[3], true},
                            {"ModemRelease", Slot(t.ModemRelease), true},
                            {"RasLoadListOrComboBox", Slot(t.RasLoadListOrComboBox), true},
                            {"RasGetUserAndPassword", &unused[4], true},
                            {"RasGetModemName", &unused[5], true},
                            {"ModemGetCIDForAPN", Slot(t.ModemGetCIDForAPN), false},
                            {"ModemDriverUpdateInitStrings", Slot(t.ModemDriverUpdateInitStrings), false},
                            {"WSPRasGetErrorString", Slot(t.WSPRasGetErrorString), false},
                        });
}

const TlsLink* LoadTlsLink()
{
    static AddOn<TlsLink> library;
    TlsLink& t = library.table();
    return library.Load("TLSLINK.DLL", {
                                           {"sslInitSession", Slot(t.sslInitSession), true},
                                           {"sslAcceptSession", Slot(t.sslAcceptSession), true},
                                           {"sslFreeSession", Slot(t.sslFreeSession), true},
                                           {"sslSend", Slot(t.sslSend), true},
                                           {"sslRecv", Slot(t.sslRecv), true},
                                           {"sslDataPending", Slot(t.sslDataPending), true},
                                           {"sslInitLib", Slot(t.sslInitLib), true},
                                           {"sslTermLib", Slot(t.sslTermLib), true},
                                           {"sslServerCertExists", Slot(t.sslServerCertExists), true},
                                           {"sslSignedCertExists", Slot(t.sslSignedCertExists), true},
                                           {"sslGenerateCertificate", Slot(t.sslGenerateCertificate), true},
                                           {"sslInitSessionHost", Slot(t.sslInitSessionHost), false},
                                           {"sslSetTimeout", Slot(t.sslSetTimeout), false},
                                       });
}
