#include "shell/wait_window.h"

#include "resources/resource_ids.h"
#include "shell/app_state.h"

namespace {

INT_PTR CALLBACK WaitProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

} // namespace

HWND OpenWaitWindow(const char* title, const char* text)
{
    HWND window = CreateDialogParamA(appInstance, "WAITDLG", nullptr, WaitProc, 0);
    if (!window)
        return nullptr;
    SetWindowTextA(window, title);
    SetDlgItemTextA(window, IDC_WAIT_TEXT, text);
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    UpdateWindow(window);
    return window;
}

void CloseWaitWindow(HWND window)
{
    if (window)
        DestroyWindow(window);
}
