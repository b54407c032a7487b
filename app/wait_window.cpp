#include "app/wait_window.h"

#include "resources/resource_ids.h"
#include "app/app_state.h"

namespace {

INT_PTR CALLBACK WaitProc(HWND window, UINT message, WPARAM, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(window);
        return TRUE;
    }
    return FALSE;
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
