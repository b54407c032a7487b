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

std::string EntryAt(HWND dialog, int index)
{
    LRESULT length = ListMessage(dialog, LB_GETTEXTLEN, index);
    if (length == LB_ERR)
        return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    ListMessage(dialog, LB_GETTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(length));
    return text;
}

int EntryCount(HWND dialog)
{
    return static_cast<int>(ListMessage(dialog, LB_GETCOUNT));
}

void OnInit(HWND dialog)
{
    SetProgramIcon(dialog);
    SendDlgItemMessageA(dialog, IDC_SENDERS_ENTRY, EM_LIMITTEXT, kSenderEntryMax, 0);
    ProfileIniStore mmsc = MmscIni();
    for (const std::string& entry : LoadAuthorisedSenders(mmsc))
        ListMessage(dialog, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
}

// A new entry replaces every listed entry of the same sender.
void OnAdd(HWND dialog)
{
    std::string entry = ItemText(dialog, IDC_SENDERS_ENTRY);
    SetItemText(dialog, IDC_SENDERS_ENTRY, "");
    if (entry.empty())
        return;
    std::string key = SenderKey(entry);
    for (int i = EntryCount(dialog) - 1; i >= 0; --i) {
        if (EqualsNoCase(SenderKey(EntryAt(dialog, i)), key))
            ListMessage(dialog, LB_DELETESTRING, i);
    }
    LRESULT added = ListMessage(dialog, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    ListMessage(dialog, LB_SETCURSEL, added);
}

void OnRemove(HWND dialog)
{
    LRESULT selected = ListMessage(dialog, LB_GETCURSEL);
    if (selected == LB_ERR)
        return;
    ListMessage(dialog, LB_DELETESTRING, selected);
    ListMessage(dialog, LB_SETCURSEL, selected > 0 ? selected - 1 : 0);
}

// OK with text in the field adds it instead of closing.
void OnOk(HWND dialog)
{
    if (!ItemText(dialog, IDC_SENDERS_ENTRY).empty()) {
        OnAdd(dialog);
        return;
    }
    std::vector<std::string> entries;
    for (int i = 0; i < EntryCount(dialog); ++i)
        entries.push_back(EntryAt(dialog, i));
    ProfileIniStore mmsc = MmscIni();
    SaveAuthorisedSenders(mmsc, entries);
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
