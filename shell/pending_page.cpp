// Pages of areas that are not available yet. They save nothing; in the wizard they let
// the administrator go on, so that the wizard can reach its end.
#include <windows.h>
#include <commctrl.h>

#include "app/app_state.h"
#include "app/page_conventions.h"
#include "shell/pages.h"

namespace {

void OnInit(HWND page, const PROPSHEETPAGEA* definition)
{
    SetWindowLongPtrA(page, GWLP_USERDATA, definition->lParam);
}

bool OnNotify(HWND page, const NMHDR* header)
{
    switch (header->code) {
    case PSN_SETACTIVE:
        if (wizardMode)
            PropSheet_SetWizButtons(GetParent(page), GetWindowLongPtrA(page, GWLP_USERDATA));
        SetPageResult(page, 0);
        return true;
    }
    return HandleCommonNotification(page, header, UnsavedSource::ConfigDirtyOrSheet);
}

} // namespace

INT_PTR CALLBACK PendingPageProc(HWND page, UINT message, WPARAM, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInit(page, reinterpret_cast<const PROPSHEETPAGEA*>(lParam));
        return TRUE;
    case WM_NOTIFY:
        return OnNotify(page, reinterpret_cast<const NMHDR*>(lParam));
    }
    return FALSE;
}
