// The "Edit User" dialog: moves one account between its controls and a UserRecord, and on
// OK writes what lives beside the record: the routing addresses in SMSGW.INI and the
// MM7/EAIF login in MMCORE.DLL.
#include "users/user_details_dialog.h"

#include <string>

#include "app/app_state.h"
#include "app/controls.h"
#include "app/ini_files.h"
#include "app/message_box.h"
#include "base/text.h"
#include "gateway/mmcore/mmcore.h"
#include "resources/user_details_dialog_ids.h"
#include "users/account_files.h"
#include "users/user_account.h"

namespace {

// MMCORE.DLL's account look-up writes into a buffer of this size.
constexpr size_t kVaspLookupBufferSize = 2048;

struct UserDialogState {
    UserRecord* record;
    SMSUSERFILE userFile;
    UserRecord opened;      // the account as stored: as opened, or as a refused OK left it
    std::string openedName; // its name
    uint8_t storedWebMenu;  // the web menu byte the account had
    bool stored;            // an OK stored the account, whatever came after
};

UserDialogState& StateOf(HWND dialog)
{
    return *reinterpret_cast<UserDialogState*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

void LimitText(HWND dialog, int id, size_t characters)
{
    SendDlgItemMessageA(dialog, id, EM_LIMITTEXT, characters, 0);
}

void ApplyWebEnabling(HWND dialog)
{
    bool web = IsChecked(dialog, IDC_USER_WEB_LOGIN);
    EnableItem(dialog, IDC_USER_WEB_MENU, web);
    EnableItem(dialog, IDC_USER_WEB_MENU_LABEL, web);
    EnableItem(dialog, IDC_USER_ADMIN, web);
}

void EnableRouting(HWND dialog, bool enabled)
{
    EnableItem(dialog, IDC_USER_ROUTING, enabled);
    EnableItem(dialog, IDC_USER_ROUTING_LABEL, enabled);
}

bool HasMm7Login(const std::string& userName)
{
    std::string buffer(kVaspLookupBufferSize, '\0');
    return !userName.empty() && VASPFindUserRecord(userName.c_str(), &buffer[0]) != FALSE;
}

void ShowWebMenu(HWND dialog, int entry)
{
    for (const char* text : kWebMenuEntries)
        SendDlgItemMessageA(dialog, IDC_USER_WEB_MENU, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    SendDlgItemMessageA(dialog, IDC_USER_WEB_MENU, CB_SETCURSEL, entry, 0);
}

void ShowRouting(HWND dialog, const UserDetails& details)
{
    // Read whatever the SMPP box shows: OK writes the field back.
    std::string addresses;
    if (!details.userName.empty()) {
        ProfileIniStore smsgw = SmsGatewayIni();
        addresses = ReadRoutingAddresses(smsgw, details.userName);
    }
    if (!addresses.empty()) {
        SetChecked(dialog, IDC_USER_ACCEPT_RECEIVED, true);
        SetItemText(dialog, IDC_USER_ROUTING, addresses);
    } else {
        EnableRouting(dialog, false);
    }
}

void OnInit(HWND dialog, UserDialogState& state)
{
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&state));
    SetProgramIcon(dialog);
    state.opened = *state.record;
    UserDetails details = DetailsFromRecord(*state.record);
    state.openedName = details.userName;
    state.storedWebMenu = state.record->webMenuOptions;

    LimitText(dialog, IDC_USER_NAME, kUserNameMax);
    LimitText(dialog, IDC_USER_PASSWORD, kPasswordMax);
    LimitText(dialog, IDC_USER_FULL_NAME, kFullNameMax);
    LimitText(dialog, IDC_USER_ROUTING, kRoutingAddressesMax);
    LimitText(dialog, IDC_USER_IP_RESTRICTION, kIpRestrictionMax);
    SetItemText(dialog, IDC_USER_NAME, details.userName);
    SetItemText(dialog, IDC_USER_PASSWORD, details.password);
    SetItemText(dialog, IDC_USER_FULL_NAME, details.fullName);
    SetChecked(dialog, IDC_USER_WEB_LOGIN, details.webLogin);
    SetChecked(dialog, IDC_USER_SMPP_LOGIN, details.smppLogin);
    SetChecked(dialog, IDC_USER_ACCEPT_RECEIVED, details.acceptReceived);
    SetChecked(dialog, IDC_USER_MM7_LOGIN, HasMm7Login(details.userName));
    ApplyWebEnabling(dialog);
    ShowRouting(dialog, details);
    SetItemText(dialog, IDC_USER_IP_RESTRICTION, details.ipRestriction);
    ShowWebMenu(dialog, details.webMenuEntry);
    SetChecked(dialog, IDC_USER_ADMIN, details.administrator);
}

UserDetails DetailsFromControls(HWND dialog)
{
    UserDetails details;
    details.userName = ItemText(dialog, IDC_USER_NAME);
    details.password = ItemText(dialog, IDC_USER_PASSWORD);
    details.fullName = ItemText(dialog, IDC_USER_FULL_NAME);
    details.webLogin = IsChecked(dialog, IDC_USER_WEB_LOGIN);
    details.smppLogin = IsChecked(dialog, IDC_USER_SMPP_LOGIN);
    LRESULT entry = SendDlgItemMessageA(dialog, IDC_USER_WEB_MENU, CB_GETCURSEL, 0, 0);
    details.webMenuEntry = entry == CB_ERR ? kNoWebMenuEntry : static_cast<int>(entry);
    details.administrator = IsChecked(dialog, IDC_USER_ADMIN);
    details.acceptReceived = IsChecked(dialog, IDC_USER_ACCEPT_RECEIVED);
    details.ipRestriction = ItemText(dialog, IDC_USER_IP_RESTRICTION);
    return details;
}

void RefuseName(HWND dialog, const char* message)
{
    ShowMessage(dialog, message, MB_OK | MB_ICONERROR);
    SetFocus(GetDlgItem(dialog, IDC_USER_NAME));
    SendDlgItemMessageA(dialog, IDC_USER_NAME, EM_SETSEL, 0, -1);
}

// True when the name may be stored; otherwise the refusal has been shown.
bool AcceptName(HWND dialog, const UserDialogState& state, const std::string& name)
{
    if (const char* problem = UserNameProblem(name)) {
        RefuseName(dialog, problem);
        return false;
    }
    UserRecord scratch = {};
    if (!SameUserName(name, state.openedName) && SMSFindUserRecord(state.userFile, name.c_str(), &scratch)) {
        RefuseName(dialog, UserAlreadyDefinedMessage(name).c_str());
        return false;
    }
    return true;
}

// Stores the account, then its MM7/EAIF login and routing addresses. A refusal is shown
// and keeps the dialog open; what was stored becomes the account the dialog edits, so that
// OK can be pressed again.
void OnOk(HWND dialog)
{
    UserDialogState& state = StateOf(dialog);
    UserDetails details = DetailsFromControls(dialog);
    if (!AcceptName(dialog, state, details.userName))
        return;
    AccountEdit edit;
    edit.opened = state.opened;
    edit.edited = BuildUserRecord(details, state.storedWebMenu);
    edit.mm7Login = IsChecked(dialog, IDC_USER_MM7_LOGIN);
    edit.routingAddresses = ItemText(dialog, IDC_USER_ROUTING);
    GatewayAccountFiles files(state.userFile);
    ProfileIniStore smsgw = SmsGatewayIni();
    AccountChange change = SaveAccount(files, smsgw, edit);
    if (change != AccountChange::AccountRefused) {
        state.opened = edit.edited;
        state.openedName = details.userName;
        *state.record = edit.edited;
        state.stored = true;
    }
    if (change != AccountChange::Done) {
        ReportAccountChange(dialog, change, files.FirstError(), smsgw.FirstError());
        return;
    }
    EndDialog(dialog, 1);
}

void OnCommand(HWND dialog, WORD id)
{
    switch (id) {
    case IDC_USER_WEB_LOGIN:
        ApplyWebEnabling(dialog);
        break;
    case IDC_USER_SMPP_LOGIN:
    case IDC_USER_ACCEPT_RECEIVED:
        EnableRouting(dialog, IsChecked(dialog, IDC_USER_ACCEPT_RECEIVED));
        break;
    case IDOK:
        OnOk(dialog);
        break;
    case IDCANCEL:
        EndDialog(dialog, StateOf(dialog).stored ? 1 : 0);
        break;
    }
}

INT_PTR CALLBACK UserDetailsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInit(dialog, *reinterpret_cast<UserDialogState*>(lParam));
        return TRUE;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

bool EditUserDetails(HWND owner, UserRecord& record, SMSUSERFILE userFile)
{
    UserDialogState state = {&record, userFile, {}, std::string(), 0, false};
    return DialogBoxParamA(appInstance, "DIALOG_USERINFO", owner, UserDetailsProc, reinterpret_cast<LPARAM>(&state)) ==
           1;
}
