#include "shell/property_sheets.h"

#include <windows.h>
#include <commctrl.h>

#include "shell/app_state.h"
#include "shell/message_box.h"

namespace {

INT_PTR CALLBACK PlaceholderProc(HWND page, UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == PSN_SETACTIVE && wizardMode) {
        PropSheet_SetWizButtons(GetParent(page), PSWIZB_FINISH);
        return TRUE;
    }
    return FALSE;
}

INT_PTR RunSheet(const char* pageTitle, DWORD extraFlags)
{
    PROPSHEETPAGEA page = {};
    page.dwSize = sizeof page;
    page.dwFlags = PSP_USETITLE;
    page.hInstance = appInstance;
    page.pszTemplate = "DIALOG_PLACEHOLDER";
    page.pfnDlgProc = PlaceholderProc;
    page.pszTitle = pageTitle;

    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | extraFlags | (appIcon ? PSH_USEHICON : 0);
    header.hwndParent = nullptr;
    header.hInstance = appInstance;
    header.hIcon = appIcon;
    header.pszCaption = kAppCaption;
    header.nPages = 1;
    header.ppsp = &page;
    return PropertySheetA(&header);
}

} // namespace

bool RunSetupWizard()
{
    return RunSheet("Setup", PSH_WIZARD) > 0;
}

void RunMainWindow()
{
    RunSheet("Status", 0);
}
