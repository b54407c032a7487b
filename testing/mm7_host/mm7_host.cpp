// Opens the "Configure MM7 or PHP Receiver" dialog on its own, for tests, screenshots and
// trying it by hand before the 2-Way page that opens it exists:
//
//     mm7_host.exe [--handshake-timeout-ms N]
//
// It prepares the configuration as the program does at start-up (the data directory comes
// from the registry overrides), opens the dialog without an owner and exits with 1 after
// OK, 0 after Cancel. --handshake-timeout-ms shortens the wait for a TLS server that does
// not answer.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_state.h"
#include "app/config_files.h"
#include "mm7/mm7_dialog.h"

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--handshake-timeout-ms") && i + 1 < argc) {
            Mm7ConnectionTiming().handshakeTimeoutMs = static_cast<DWORD>(atoi(argv[++i]));
        } else {
            fprintf(stderr, "usage: mm7_host [--handshake-timeout-ms N]\n");
            return 2;
        }
    }
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(1, 1), &winsock) != 0)
        return 3;
    appInstance = GetModuleHandleA(nullptr);
    InitModulePaths();
    PrepareConfiguration();
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    bool saved = OpenMm7Settings(nullptr);
    WSACleanup();
    return saved ? 1 : 0;
}
