// The authorised senders dialog: the e-mail addresses (each optionally followed by a comma
// and further text for the gateway) allowed to send SMS and MMS by e-mail.
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/controls.h"
#include "app/ini_files.h"
#include "base/text.h"
#include "email/email_pages.h"
#include "resources/email_page_ids.h"

namespace {

LRESULT ListMessage(HWND dialog, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return SendDlgItemMessageA(dialog, IDC_SENDERS_LIST, message, wParam, lParam);
}

// The listed entries, kept here: the list only shows them.
ShownRows senderRows(IDC_SENDERS_LIST, false);

void OnInit(HWND dialog)
{
    SetProgramIcon(dialog);
    SendDlgItemMessageA(dialog, IDC_SENDERS_ENTRY, EM_LIMITTEXT, kSenderEntryMax, 0);
    ProfileIniStore mmsc = MmscIni();
    senderRows.Clear(dialog);
    for (const std::string& entry : LoadAuthorisedSenders(mmsc))
        senderRows.Add(dialog, entry);
}

// A new entry replaces every listed entry of the same sender.
void OnAdd(HWND dialog)
{
    std::string entry = ItemText(dialog, IDC_SENDERS_ENTRY);
    SetItemText(dialog, IDC_SENDERS_ENTRY, "");
    if (entry.empty())
        return;
    std::string key = SenderKey(entry);
    for (LRESULT i = static_cast<LRESULT>(senderRows.Count()) - 1; i >= 0; --i) {
        if (EqualsNoCase(SenderKey(senderRows.At(i)), key))
            senderRows.Remove(dialog, i);
    }
    ListMessage(dialog, LB_SETCURSEL, senderRows.Add(dialog, entry));
}

void OnRemove(HWND dialog)
{
    LRESULT selected = ListMessage(dialog, LB_GETCURSEL);
    if (selected == LB_ERR)
        return;
    senderRows.Remove(dialog, selected);
    ListMessage(dialog, LB_SETCURSEL, selected > 0 ? selected - 1 : 0);
}

// OK with text in the field adds it instead of closing.
void OnOk(HWND dialog)
{
    if (!ItemText(dialog, IDC_SENDERS_ENTRY).empty()) {
        OnAdd(dialog);
        return;
    }
    ProfileIniStore mmsc = MmscIni();
    SaveAuthorisedSenders(mmsc, senderRows.Rows());
    if (WritesTaken(dialog, {&mmsc}))
        EndDialog(dialog, 1);
}

INT_PTR CALLBACK AuthorisedSendersProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInit(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_SENDERS_ADD:
            OnAdd(dialog);
            break;
        case IDC_SENDERS_REMOVE:
            OnRemove(dialog);
            break;
        case IDOK:
            OnOk(dialog);
            break;
        case IDCANCEL:
            EndDialog(dialog, 0);
            break;
        }
        return TRUE;
    }
    return FALSE;
}

} // namespace

void EditAuthorisedSenders(HWND owner)
{
    DialogBoxParamA(appInstance, "AUTHEMAILSMS_DIALOG", owner, AuthorisedSendersProc, 0);
}
