// The E-Mail page: the SMS mailbox, how e-mail becomes SMS or MMS, routing SMS replies back
// to e-mail, the authorised senders and the SMS text template.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "app/app_state.h"
#include "app/controls.h"
#include "app/ini_files.h"
#include "app/page_conventions.h"
#include "email/email_pages.h"
#include "resources/email_page_ids.h"

namespace {

struct EmailPageState {
    PageEdits edits;
};
EmailPageState emailPage;

void ShowMailboxAddress(HWND page, MailboxKind kind, int labelId)
{
    ProfileIniStore mmsc = MmscIni();
    std::string address = ReadMailboxSetting(mmsc, kind, "EMailAddress", kMailboxNotConfigured);
    SetItemText(page, labelId, address);
}

void ShowSettings(HWND page, const EmailPageSettings& settings)
{
    SetItemText(page, IDC_EMAIL_SMS_PER_EMAIL, std::to_string(settings.smsPerEmail));
    SetChecked(page, IDC_EMAIL_USE_MMS, settings.useMms);
    SetChecked(page, IDC_EMAIL_FORCE_MMS, settings.forceMms);
    SetChecked(page, IDC_EMAIL_ROUTE_REPLIES, settings.routeReplies);
    SetChecked(page, IDC_EMAIL_DELIVERY_REPORTS, settings.deliveryReports);
    EnableItem(page, IDC_EMAIL_DELIVERY_REPORTS, settings.routeReplies);
    SetItemText(page, IDC_EMAIL_TEMPLATE, settings.smsTemplate);
}

EmailPageSettings SettingsFromControls(HWND page)
{
    EmailPageSettings settings;
    settings.smsPerEmail = SmsPerEmailFromText(ItemText(page, IDC_EMAIL_SMS_PER_EMAIL));
    settings.useMms = IsChecked(page, IDC_EMAIL_USE_MMS);
    settings.forceMms = IsChecked(page, IDC_EMAIL_FORCE_MMS);
    settings.routeReplies = IsChecked(page, IDC_EMAIL_ROUTE_REPLIES);
    settings.deliveryReports = IsChecked(page, IDC_EMAIL_DELIVERY_REPORTS);
    settings.smsTemplate = ItemText(page, IDC_EMAIL_TEMPLATE);
    return settings;
}

void OnInit(HWND page)
{
    LoadingScope loading = StartLoading(emailPage.edits);
    ShowWindow(GetDlgItem(page, IDC_EMAIL_MMS_MAILBOX), SW_HIDE);
    ShowWindow(GetDlgItem(page, IDC_EMAIL_MMS_MAILBOX_ADDRESS), SW_HIDE);
    for (const char* entry : kEmailTemplates)
        SendDlgItemMessageA(page, IDC_EMAIL_TEMPLATE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
    ShowMailboxAddress(page, MailboxKind::Sms, IDC_EMAIL_SMS_MAILBOX_ADDRESS);
    ShowMailboxAddress(page, MailboxKind::Mms, IDC_EMAIL_MMS_MAILBOX_ADDRESS);
    ProfileIniStore mmsc = MmscIni();
    ShowSettings(page, LoadEmailPageSettings(mmsc));
}

void MarkChanged(HWND page)
{
    MarkPageChanged(page, emailPage.edits);
}

void OnCommand(HWND page, WORD id, WORD code)
{
    switch (id) {
    case IDC_EMAIL_SMS_MAILBOX:
        EditMailbox(page, MailboxKind::Sms);
        ShowMailboxAddress(page, MailboxKind::Sms, IDC_EMAIL_SMS_MAILBOX_ADDRESS);
        break;
    case IDC_EMAIL_MMS_MAILBOX:
        EditMailbox(page, MailboxKind::Mms);
        ShowMailboxAddress(page, MailboxKind::Mms, IDC_EMAIL_MMS_MAILBOX_ADDRESS);
        break;
    case IDC_EMAIL_AUTHORISED:
        EditAuthorisedSenders(page);
        break;
    case IDC_EMAIL_ROUTE_REPLIES:
        EnableItem(page, IDC_EMAIL_DELIVERY_REPORTS, IsChecked(page, IDC_EMAIL_ROUTE_REPLIES));
        MarkChanged(page);
        break;
    case IDC_EMAIL_USE_MMS:
    case IDC_EMAIL_FORCE_MMS:
    case IDC_EMAIL_DELIVERY_REPORTS:
        MarkChanged(page);
        break;
    case IDC_EMAIL_SMS_PER_EMAIL:
        if (code == EN_CHANGE)
            MarkChanged(page);
        break;
    case IDC_EMAIL_TEMPLATE:
        if (code == CBN_SELCHANGE)
            MarkChanged(page);
        break;
    }
}

// False, with the message shown, when a file refused the change.
bool Save(HWND page)
{
    ProfileIniStore mmsc = MmscIni();
    ProfileIniStore smsgw = SmsGatewayIni();
    SaveEmailPageSettings(SettingsFromControls(page), mmsc, smsgw);
    if (!WritesTaken(page, {&mmsc, &smsgw}))
        return false;
    emailPage.edits.unsaved = false;
    return true;
}

bool OnNotify(HWND page, const NMHDR* header)
{
    switch (header->code) {
    case PSN_APPLY:
        SetPageResult(page, Save(page) ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE);
        return true;
    }
    return HandleCommonNotification(page, header, UnsavedSource::Sheet);
}

} // namespace

INT_PTR CALLBACK EmailPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInit(page);
        return TRUE;
    case WM_COMMAND:
        OnCommand(page, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        return OnNotify(page, reinterpret_cast<const NMHDR*>(lParam));
    case PSM_QUERYSIBLINGS:
        return AnswerUnsavedChangesQuery(page, wParam, emailPage.edits);
    }
    return FALSE;
}
