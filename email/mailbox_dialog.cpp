// The mailbox dialog: the mailbox the gateway polls for e-mail, with its incoming (IMAP or
// POP3) and outgoing (SMTP) servers. OK proves both logins before anything is saved.
#include "email/email_pages.h"

#include "app/app_state.h"
#include "app/controls.h"
#include "app/ini_files.h"
#include "app/message_box.h"
#include "app/wait_cursor.h"
#include "email/mail_login.h"
#include "resources/email_page_ids.h"

namespace {

const char kFieldRequired[] = "Field is required!";
const char kRemoveQuestion[] = "All Mailbox Settings will be removed.\r\n\r\nAre you sure?";

MailboxKind& KindOf(HWND dialog)
{
    return *reinterpret_cast<MailboxKind*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

void ShowMailbox(HWND dialog, const MailboxSettings& mailbox)
{
    SetItemText(dialog, IDC_MAILBOX_ADDRESS, mailbox.address);
    SetItemText(dialog, IDC_MAILBOX_FULL_NAME, mailbox.fullName);
    SetItemText(dialog, IDC_MAILBOX_USER, mailbox.userName);
    SetItemText(dialog, IDC_MAILBOX_PASSWORD, mailbox.password);
    SetChecked(dialog, IDC_MAILBOX_IMAP, !mailbox.pop3);
    SetChecked(dialog, IDC_MAILBOX_POP3, mailbox.pop3);
    SetChecked(dialog, IDC_MAILBOX_USE_TLS, mailbox.useTls);
    SetItemText(dialog, IDC_MAILBOX_SERVER_HOST, mailbox.serverHost);
    SetItemText(dialog, IDC_MAILBOX_SERVER_PORT, mailbox.serverPort);
    SetItemText(dialog, IDC_MAILBOX_SMTP_HOST, mailbox.smtpHost);
    SetItemText(dialog, IDC_MAILBOX_SMTP_PORT, mailbox.smtpPort);
    SetItemText(dialog, IDC_MAILBOX_POLL, mailbox.pollInterval);
}

MailboxSettings MailboxFromControls(HWND dialog)
{
    MailboxSettings mailbox;
    mailbox.address = ItemText(dialog, IDC_MAILBOX_ADDRESS);
    mailbox.fullName = ItemText(dialog, IDC_MAILBOX_FULL_NAME);
    mailbox.userName = ItemText(dialog, IDC_MAILBOX_USER);
    mailbox.password = ItemText(dialog, IDC_MAILBOX_PASSWORD);
    mailbox.pop3 = IsChecked(dialog, IDC_MAILBOX_POP3);
    mailbox.useTls = IsChecked(dialog, IDC_MAILBOX_USE_TLS);
    mailbox.serverHost = ItemText(dialog, IDC_MAILBOX_SERVER_HOST);
    mailbox.serverPort = ItemText(dialog, IDC_MAILBOX_SERVER_PORT);
    mailbox.smtpHost = ItemText(dialog, IDC_MAILBOX_SMTP_HOST);
    mailbox.smtpPort = ItemText(dialog, IDC_MAILBOX_SMTP_PORT);
    mailbox.pollInterval = ItemText(dialog, IDC_MAILBOX_POLL);
    return mailbox;
}

void OnInit(HWND dialog, MailboxKind* kind)
{
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(kind));
    SetProgramIcon(dialog);
    ProfileIniStore mmsc = MmscIni();
    ShowMailbox(dialog, LoadMailbox(mmsc, *kind));
}

// A new server type or TLS choice brings its default ports; typed ports are overwritten.
void ShowDefaultPorts(HWND dialog, bool smtpToo)
{
    bool tls = IsChecked(dialog, IDC_MAILBOX_USE_TLS);
    SetItemText(dialog, IDC_MAILBOX_SERVER_PORT,
                std::to_string(DefaultIncomingPort(IsChecked(dialog, IDC_MAILBOX_POP3), tls)));
    if (smtpToo)
        SetItemText(dialog, IDC_MAILBOX_SMTP_PORT, std::to_string(DefaultSmtpPort(tls)));
}

int FieldId(MailboxField field)
{
    switch (field) {
    case MailboxField::Address:
        return IDC_MAILBOX_ADDRESS;
    case MailboxField::UserName:
        return IDC_MAILBOX_USER;
    case MailboxField::Password:
        return IDC_MAILBOX_PASSWORD;
    case MailboxField::ServerHost:
        return IDC_MAILBOX_SERVER_HOST;
    default:
        return IDC_MAILBOX_SMTP_HOST;
    }
}

void FocusField(HWND dialog, int id)
{
    SetFocus(GetDlgItem(dialog, id));
}

// Both logins, incoming first; a failure has shown its own message.
bool LoginsSucceed(HWND dialog, const MailboxSettings& mailbox)
{
    WaitCursor busy;
    std::string server = ServerString(mailbox.serverHost, mailbox.serverPort);
    auto incoming = mailbox.pop3 ? Pop3LoginTest : ImapLoginTest;
    if (!incoming(dialog, server.c_str(), mailbox.useTls, mailbox.userName.c_str(), mailbox.password.c_str())) {
        FocusField(dialog, IDC_MAILBOX_SERVER_HOST);
        return false;
    }
    std::string smtp = ServerString(mailbox.smtpHost, mailbox.smtpPort);
    if (!SmtpLoginTest(dialog, smtp.c_str(), mailbox.useTls, mailbox.userName.c_str(), mailbox.password.c_str())) {
        FocusField(dialog, IDC_MAILBOX_SMTP_HOST);
        return false;
    }
    return true;
}

void OnOk(HWND dialog)
{
    MailboxSettings mailbox = MailboxFromControls(dialog);
    MailboxField missing = MissingMailboxField(mailbox);
    if (missing != MailboxField::None) {
        ShowMessage(dialog, kFieldRequired, MB_OK | MB_ICONERROR);
        FocusField(dialog, FieldId(missing));
        return;
    }
    if (!LoginsSucceed(dialog, mailbox))
        return;
    ProfileIniStore mmsc = MmscIni();
    SaveMailbox(mmsc, KindOf(dialog), mailbox);
    if (WritesTaken(dialog, {&mmsc}))
        EndDialog(dialog, 1);
}

void OnRemove(HWND dialog)
{
    if (ShowMessage(dialog, kRemoveQuestion, MB_YESNOCANCEL | MB_ICONQUESTION) != IDYES)
        return;
    ProfileIniStore mmsc = MmscIni();
    RemoveMailbox(mmsc, KindOf(dialog));
    if (WritesTaken(dialog, {&mmsc}))
        EndDialog(dialog, 1);
}

void OnCommand(HWND dialog, WORD id)
{
    switch (id) {
    case IDC_MAILBOX_IMAP:
    case IDC_MAILBOX_POP3:
        ShowDefaultPorts(dialog, false);
        break;
    case IDC_MAILBOX_USE_TLS:
        ShowDefaultPorts(dialog, true);
        break;
    case IDC_MAILBOX_REMOVE:
        OnRemove(dialog);
        break;
    case IDOK:
        OnOk(dialog);
        break;
    case IDCANCEL:
        EndDialog(dialog, 0);
        break;
    }
}

INT_PTR CALLBACK MailboxDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInit(dialog, reinterpret_cast<MailboxKind*>(lParam));
        return TRUE;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

bool EditMailbox(HWND owner, MailboxKind kind)
{
    return DialogBoxParamA(appInstance, "EDIT_MAILBOX", owner, MailboxDialogProc, reinterpret_cast<LPARAM>(&kind)) == 1;
}
