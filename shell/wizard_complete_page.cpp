// The wizard's Configuration Complete page: offers a test message before the wizard ends.
#include <windows.h>
#include <commctrl.h>

#include "resources/wizard_complete_page_ids.h"
#include "app/page_conventions.h"
#include "shell/pages.h"

namespace {

void SetButtons(HWND page)
{
    DWORD buttons = PSWIZB_BACK;
    if (IsDlgButtonChecked(page, IDC_COMPLETE_YES) == BST_CHECKED)
        buttons |= PSWIZB_NEXT;
    else if (IsDlgButtonChecked(page, IDC_COMPLETE_NO) == BST_CHECKED)
        buttons |= PSWIZB_FINISH;
    PropSheet_SetWizButtons(GetParent(page), buttons);
}

bool OnNotify(HWND page, const NMHDR* header)
{
    switch (header->code) {
    case PSN_SETACTIVE:
        SetButtons(page);
        SetPageResult(page, 0);
        return true;
    case PSN_WIZNEXT:
        SetPageResult(page, 0);
        return true;
    }
    return HandleCommonNotification(page, header, UnsavedSource::None);
}

} // namespace

INT_PTR CALLBACK WizardCompletePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_COMPLETE_YES || LOWORD(wParam) == IDC_COMPLETE_NO)
            SetButtons(page);
        return TRUE;
    case WM_NOTIFY:
        return OnNotify(page, reinterpret_cast<const NMHDR*>(lParam));
    }
    return FALSE;
}
