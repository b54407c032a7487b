// Stand-in for the firewall helper (FWRULES.EXE). The configuration program starts it as
//   "<dir>\FWRULES.EXE" "<dir>\TXTSVC.EXE" "Qel SMS Gateway Lite Edition"
// and does not wait for it. It appends its command line, exactly as received, as one line to
// FWRULES.LOG in its own folder, so a test can check what was asked for.

#include <windows.h>

#include <string>

int main()
{
    char path[MAX_PATH] = {};
    DWORD len = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string log(path, len);
    size_t slash = log.find_last_of("\\/");
    log = (slash == std::string::npos ? std::string() : log.substr(0, slash + 1)) + "FWRULES.LOG";

    std::string line = std::string(GetCommandLineA()) + "\r\n";
    // Several helpers may be started back to back: retry while another one holds the file.
    for (int attempt = 0; attempt < 40; ++attempt) {
        HANDLE file = CreateFileA(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            BOOL ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
            CloseHandle(file);
            return ok ? 0 : 1;
        }
        Sleep(25);
    }
    return 1;
}
