// Opens GWCORE.DLL's operator settings dialog on its own, for trying it by hand and for
// its screenshot, and prints what was chosen:
//
//     operator_dialog_host.exe [--pick N]
//
// --pick N selects the N-th access point of the list as soon as the dialog shows, as a
// click would. Prints the five values, one "name=value" a line, and exits with 0 after OK,
// 1 after Cancel. GWCORE.DLL is loaded from the program's own folder (testbin).
#include "gateway/gwcore/gwcore.h"
#include "gateway/gwcore/operator_dialog_ids.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

DWORD WINAPI PickAccessPoint(void* parameter)
{
    int index = static_cast<int>(reinterpret_cast<INT_PTR>(parameter));
    for (int attempt = 0; attempt < 500; ++attempt) {
        if (HWND dialog = FindWindowA(nullptr, "Operator MMS Settings")) {
            HWND list = GetDlgItem(dialog, IDC_OPERATOR_ACCESS_POINT);
            SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_OPERATOR_ACCESS_POINT, LBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(list));
            return 0;
        }
        Sleep(20);
    }
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "--pick") == 0) {
        INT_PTR index = atoi(argv[2]);
        HANDLE thread = CreateThread(nullptr, 0, PickAccessPoint, reinterpret_cast<void*>(index), 0, nullptr);
        if (thread)
            CloseHandle(thread);
    }
    char apn[104] = "", login[104] = "", password[104] = "", proxy[104] = "", url[104] = "";
    if (!ChooseOperatorSettings(nullptr, apn, login, password, proxy, url)) {
        printf("cancelled\n");
        return 1;
    }
    printf("apn=%s\nlogin=%s\npassword=%s\nproxy=%s\nurl=%s\n", apn, login, password, proxy, url);
    return 0;
}
