// The Modem page (main window and wizard): how SMS are sent and stored, and the MMS
// settings with their connection test, which runs in an elevated second instance.
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>

#include "app/addon_libraries.h"
#include "app/app_state.h"
#include "app/config_files.h"
#include "app/controls.h"
#include "app/ini_files.h"
#include "app/message_box.h"
#include "app/page_conventions.h"
#include "app/wait_cursor.h"
#include "app/wait_window.h"
#include "base/ini_rules.h"
#include "base/text.h"
#include "gateway/gwcore/gwcore.h"
#include "gateway/mmcore/mmcore.h"
#include "modem/modem_naming.h"
#include "modem/modem_pages.h"
#include "modem/modem_settings.h"
#include "modem/phone_modem.h"
#include "resources/modem_page_ids.h"
#include "services/service_control.h"

namespace {

constexpr UINT kRefreshMessage = 1047;
constexpr size_t kFieldLimit = 250;
constexpr size_t kOperatorField = 104;
const char* const kStorageEntries[] = {"Default", "Device Memory", "SIM Card", "Direct to Modem"};
const char kSelectModem[] = "Please select a modem";
const char kUntestedQuestion[] = "MMS configuration settings have not been tested.\r\n\r\n"
                                 "Do you wish to test these settings before saving configuration changes?";
const char kTestStillRunning[] = "The previous connection test is still running.\r\n\r\n"
                                 "Please wait until it has ended before testing again.";
const char kUnusableRoute[] = "The MMS settings cannot be saved: the modem's name does not make a usable "
                              "route name for the MMS route folder.";

// The controls of the MMS group, 114 to 125 (labels included): enabled together. The choice
// of another data connection (127) is not one of them.
const int kMmsGroup[] = {IDC_MODEM_LOOKUP,           IDC_MODEM_APN_LABEL,   IDC_MODEM_APN,
                         IDC_MODEM_LOGIN_LABEL,      IDC_MODEM_LOGIN,       IDC_MODEM_PASSWORD_LABEL,
                         IDC_MODEM_PASSWORD,         IDC_MODEM_PROXY_LABEL, IDC_MODEM_PROXY,
                         IDC_MODEM_URL_LABEL,        IDC_MODEM_URL,         IDC_MODEM_TEST};
// Shown for a GSM modem only.
const int kGsmOnly[] = {IDC_MODEM_SMS_ACCESS_LABEL, IDC_MODEM_ACCESS_DEFAULT,
                        IDC_MODEM_ACCESS_GSM,       IDC_MODEM_ACCESS_GPRS,
                        IDC_MODEM_STORAGE_LABEL,    IDC_MODEM_STORAGE,
                        IDC_MODEM_APN_LABEL,        IDC_MODEM_APN,
                        IDC_MODEM_LOGIN_LABEL,      IDC_MODEM_LOGIN,
                        IDC_MODEM_PASSWORD_LABEL,   IDC_MODEM_PASSWORD,
                        IDC_MODEM_OTHER_CONNECTION, IDC_MODEM_CONNECTION_LABEL,
                        IDC_MODEM_CONNECTION,       IDC_MODEM_TEST};

struct ModemPageState {
    PageEdits edits;
    bool tested = false;
    bool phoneAnswered = false; // the phone reported its MMS settings
    std::string phoneUrl, phoneProxy;
    HANDLE lastTest = nullptr; // the last elevated test instance started
} state;

bool PhoneModem()
{
    return IsPhoneModemName(currentModemName);
}

// The route's VASP.INI; empty when the route cannot name a folder.
std::string VaspIniPath(const std::string& route)
{
    std::string folder = RouteFolder(route);
    return folder.empty() ? folder : folder + "VASP.INI";
}

// The route folders under VASPOUT and their registration with the MMSC library.
class VaspRoutes final : public RouteStore {
public:
    void DeleteRoute(const std::string& route) override
    {
        std::string folder = RouteFolder(route);
        if (folder.empty())
            return;
        DeleteTree(folder.c_str());
        VASPOutDeleteUser(route.c_str());
    }
    void RegisterRoute(const std::string& route) override
    {
        char block[511] = {};
        lstrcpynA(block, route.c_str(), sizeof block);
        if (!VASPOutAddUser(block) && registerError_ == 0)
            registerError_ = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    }
    IniStore* RouteIni(const std::string& route) override
    {
        std::string folder = RouteFolder(route);
        if (folder.empty())
            return nullptr;
        std::string path = folder + "VASP.INI";
        folder.pop_back();
        CreateDirectoryA(folder.substr(0, folder.rfind('\\')).c_str(), nullptr);
        CreateDirectoryA(folder.c_str(), nullptr);
        if (!FileExists(path.c_str())) {
            HANDLE file =
                CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE)
                CloseHandle(file);
        }
        ini_.reset(new ProfileIniStore(path));
        return ini_.get();
    }

    // True when the route's VASP.INI and its registration took every write; otherwise the
    // refusal has been shown.
    bool WritesTaken(HWND page) const
    {
        if (ini_ && !::WritesTaken(page, {ini_.get()}))
            return false;
        if (registerError_ == 0)
            return true;
        char directory[MAX_PATH];
        ProgramDataDirectory(directory);
        ReportRefusedWrite(page, std::string(directory) + "VASPOUT.DAT", registerError_);
        return false;
    }

private:
    std::unique_ptr<ProfileIniStore> ini_;
    DWORD registerError_ = 0;
};

// --- moving settings between the struct and the controls ---

void SelectConnection(HWND page, const std::string& text)
{
    LRESULT index = SendDlgItemMessageA(page, IDC_MODEM_CONNECTION, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                        reinterpret_cast<LPARAM>(text.c_str()));
    if (index != CB_ERR)
        SendDlgItemMessageA(page, IDC_MODEM_CONNECTION, CB_SETCURSEL, index, 0);
}

std::string SelectedConnection(HWND page)
{
    if (!IsChecked(page, IDC_MODEM_OTHER_CONNECTION))
        return {};
    return ComboSelectionText(page, IDC_MODEM_CONNECTION);
}

void ShowSettings(HWND page, const ModemSettings& s)
{
    SendDlgItemMessageA(page, IDC_MODEM_STORAGE, CB_SETCURSEL, static_cast<WPARAM>(s.storage), 0);
    SetChecked(page, IDC_MODEM_ACCESS_DEFAULT, s.smsAccess == SmsAccess::Default);
    SetChecked(page, IDC_MODEM_ACCESS_GSM, s.smsAccess == SmsAccess::Gsm);
    SetChecked(page, IDC_MODEM_ACCESS_GPRS, s.smsAccess == SmsAccess::Gprs);
    SetItemText(page, IDC_MODEM_APN, s.apn);
    SetItemText(page, IDC_MODEM_LOGIN, s.apnLogin);
    SetItemText(page, IDC_MODEM_PASSWORD, s.apnPassword);
    SetItemText(page, IDC_MODEM_PROXY, s.mmsProxy);
    SetItemText(page, IDC_MODEM_URL, s.mmsUrl);
    SetChecked(page, IDC_MODEM_OTHER_CONNECTION, false);
    if (!s.dataConnection.empty() &&
        SendDlgItemMessageA(page, IDC_MODEM_CONNECTION, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                            reinterpret_cast<LPARAM>(s.dataConnection.c_str())) != CB_ERR) {
        SetChecked(page, IDC_MODEM_OTHER_CONNECTION, true);
        SelectConnection(page, s.dataConnection);
    }
    SetChecked(page, IDC_MODEM_RECEIVE_SMS, s.receiveSms);
    SetChecked(page, IDC_MODEM_SEND_MMS, s.sendMms);
    SetChecked(page, IDC_MODEM_RECEIVE_MMS, s.receiveMms);
}

ModemSettings SettingsOnPage(HWND page)
{
    ModemSettings s;
    s.modemName = ItemText(page, IDC_MODEM_NAME).substr(0, kFieldLimit - 1);
    LRESULT storage = SendDlgItemMessageA(page, IDC_MODEM_STORAGE, CB_GETCURSEL, 0, 0);
    s.storage = storage >= 0 && storage <= 3 ? static_cast<MessageStorage>(storage) : MessageStorage::Default;
    s.smsAccess = IsChecked(page, IDC_MODEM_ACCESS_GPRS)  ? SmsAccess::Gprs
                  : IsChecked(page, IDC_MODEM_ACCESS_GSM) ? SmsAccess::Gsm
                                                          : SmsAccess::Default;
    s.receiveSms = IsChecked(page, IDC_MODEM_RECEIVE_SMS);
    s.sendMms = IsChecked(page, IDC_MODEM_SEND_MMS);
    s.receiveMms = IsChecked(page, IDC_MODEM_RECEIVE_MMS);
    s.apn = ItemText(page, IDC_MODEM_APN).substr(0, kFieldLimit - 1);
    s.apnLogin = ItemText(page, IDC_MODEM_LOGIN).substr(0, kFieldLimit - 1);
    s.apnPassword = ItemText(page, IDC_MODEM_PASSWORD).substr(0, kFieldLimit - 1);
    s.mmsProxy = ItemText(page, IDC_MODEM_PROXY).substr(0, kFieldLimit - 1);
    s.mmsUrl = ItemText(page, IDC_MODEM_URL);
    s.dataConnection = SelectedConnection(page);
    return s;
}

void ApplyEnabling(HWND page)
{
    bool receiveSms = IsChecked(page, IDC_MODEM_RECEIVE_SMS);
    bool sendMms = IsChecked(page, IDC_MODEM_SEND_MMS);
    EnableItem(page, IDC_MODEM_STORAGE_LABEL, receiveSms);
    EnableItem(page, IDC_MODEM_STORAGE, receiveSms);
    bool mmsFields = sendMms && !(PhoneModem() && IsChecked(page, IDC_MODEM_PHONE_DEFAULTS));
    for (int id : kMmsGroup)
        EnableItem(page, id, mmsFields);
    EnableItem(page, IDC_MODEM_RECEIVE_MMS, sendMms && receiveSms);
    if (!(sendMms && receiveSms))
        SetChecked(page, IDC_MODEM_RECEIVE_MMS, false);
    bool otherConnection = IsChecked(page, IDC_MODEM_OTHER_CONNECTION);
    EnableItem(page, IDC_MODEM_CONNECTION_LABEL, otherConnection);
    EnableItem(page, IDC_MODEM_CONNECTION, otherConnection);
}

void ApplyVisibility(HWND page)
{
    bool gsm = !PhoneModem();
    for (int id : kGsmOnly)
        ShowWindow(GetDlgItem(page, id), gsm ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(page, IDC_MODEM_PHONE_DEFAULTS), !gsm && state.phoneAnswered ? SW_SHOW : SW_HIDE);
}

// A phone modem whose shown URL and proxy are the phone's own uses them as they are.
void ApplyPhoneDefaults(HWND page, const ModemSettings& s)
{
    bool defaults =
        state.phoneAnswered && EqualsNoCase(s.mmsUrl, state.phoneUrl) && EqualsNoCase(s.mmsProxy, state.phoneProxy);
    SetChecked(page, IDC_MODEM_PHONE_DEFAULTS, defaults);
}

void Refresh(HWND page)
{
    ProfileIniStore sms = SmsGatewayIni();
    std::string name = ConfiguredModemName(sms);
    SetItemText(page, IDC_MODEM_NAME, name);
    lstrcpynA(currentModemName, name.c_str(), sizeof currentModemName);
    state.phoneAnswered = false;
    state.phoneUrl.clear();
    state.phoneProxy.clear();
    if (PhoneModem()) {
        char url[kPhoneModemValueSize], proxy[kPhoneModemValueSize];
        WaitCursor busy;
        state.phoneAnswered = PhoneModemMMSSettings(name.c_str() + sizeof kPhoneModemPrefix - 1, url, proxy);
        state.phoneUrl = url;
        state.phoneProxy = proxy;
    }
    ModemSettings s = LoadModemSettings(sms, name, FileExists(VaspIniPath(ModemRouteName(name)).c_str()),
                                        state.phoneUrl, state.phoneProxy);
    ShowSettings(page, s);
    if (PhoneModem())
        ApplyPhoneDefaults(page, s);
    ApplyEnabling(page);
    ApplyVisibility(page);
}

// --- the connection test ---

bool TestStillRunning()
{
    if (state.lastTest && WaitForSingleObject(state.lastTest, 0) == WAIT_TIMEOUT)
        return true;
    if (state.lastTest)
        CloseHandle(state.lastTest);
    state.lastTest = nullptr;
    return false;
}

// False, with the message shown, when the request could not be written.
bool WriteTestRequest(HWND page, const ConnectionTestRequest& request)
{
    ProfileIniStore ini = DataDirectoryIni("MODEMTEST.INI");
    DeleteFileA(ini.Path().c_str());
    ini.Write("ModemTest", "WAPGatewayIP", request.wapGateway);
    ini.Write("ModemTest", "APN", request.apn);
    ini.Write("ModemTest", "APNLogin", request.apnLogin);
    ini.Write("ModemTest", "APNPass", request.apnPassword);
    ini.Write("ModemTest", "ModemName", request.modemName);
    if (!request.dialUpProfile.empty())
        ini.Write("ModemTest", "DialUpProfile", request.dialUpProfile);
    return WritesTaken(page, {&ini});
}

// One elevated run; the result line, empty when none came.
std::string RunElevatedTest()
{
    {
        WaitCursor busy;
        HWND wait = OpenWaitWindow("Test in Progress", "Connection test in progress.\r\n\r\nPlease be patient...");
        state.lastTest = LaunchSelf(Verb::ModemTest);
        if (state.lastTest)
            WaitForSingleObject(state.lastTest, ModemConnectionTestTiming().waitMs);
        CloseWaitWindow(wait);
    }
    return DecodeLineBreaks(DataDirectoryIni("MODEMTEST.INI").Read("ModemTest", "Result", 1000)).substr(0, 499);
}

void FocusItem(HWND page, int id)
{
    SetFocus(GetDlgItem(page, id));
}

void AskForModem(HWND page)
{
    ShowMessage(page, kSelectModem, MB_OK | MB_ICONERROR);
    FocusItem(page, IDC_MODEM_CHANGE);
    PostMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_MODEM_CHANGE, BN_CLICKED), 0);
}

void RunConnectionTest(HWND page)
{
    ConnectionTestRequest request;
    switch (PrepareConnectionTest(SettingsOnPage(page), request)) {
    case TestInputProblem::NoUrl:
        ShowMessage(page, "MMS Server URL is Required!", MB_OK | MB_ICONERROR);
        FocusItem(page, IDC_MODEM_URL);
        return;
    case TestInputProblem::NoModem:
        AskForModem(page);
        return;
    case TestInputProblem::NoProxy:
        ShowMessage(page, "MMS Proxy Address is Required!", MB_OK | MB_ICONERROR);
        FocusItem(page, IDC_MODEM_PROXY);
        return;
    case TestInputProblem::None:
        break;
    }
    // A test instance still dialling would write its late result into the new test's file.
    if (TestStillRunning()) {
        ShowMessage(page, kTestStillRunning, MB_OK | MB_ICONERROR);
        return;
    }
    if (!WriteTestRequest(page, request))
        return;
    if (!IsVistaOrLater() || HasServiceRights() || ConfirmElevation()) {
        for (;;) {
            std::string result = RunElevatedTest();
            if (result.empty())
                break;
            if (FindNoCase(result.data(), result.size(), "OK!") != result.size()) {
                state.tested = true;
                ShowMessage(page, result.c_str(), MB_OK | MB_ICONINFORMATION);
                break;
            }
            if (ShowMessage(page, result.c_str(), MB_RETRYCANCEL | MB_ICONERROR) != IDRETRY || TestStillRunning() ||
                !WriteTestRequest(page, request))
                break;
        }
    }
    DeleteFileA(DataDirectoryIni("MODEMTEST.INI").Path().c_str());
}

// --- handlers ---

void OnInit(HWND page)
{
    LoadingScope loading = StartLoading(state.edits);
    for (const char* entry : kStorageEntries)
        SendDlgItemMessageA(page, IDC_MODEM_STORAGE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
    SendDlgItemMessageA(page, IDC_MODEM_STORAGE, CB_SETCURSEL, 0, 0);
    if (const WapLink* link = LoadWapLink())
        link->RasLoadListOrComboBox(page, IDC_MODEM_CONNECTION, CB_ADDSTRING);
    SetChecked(page, IDC_MODEM_PHONE_DEFAULTS, false);
    Refresh(page);
}

void ChangeModem(HWND page)
{
    if (ShowMessage(page, "Start the installation wizard to select a different modem?", MB_YESNO | MB_ICONQUESTION) !=
        IDYES)
        return;
    if (wizardMode) {
        PropSheet_PressButton(GetParent(page), PSBTN_BACK);
    } else {
        wizardRequested = true;
        PropSheet_PressButton(GetParent(page), PSBTN_OK);
    }
}

// "Use Default MMS Settings" ticked again: the fields show the phone's own settings, which
// are what is saved with the box ticked.
void ShowPhoneDefaults(HWND page)
{
    SetItemText(page, IDC_MODEM_URL, state.phoneUrl);
    SetItemText(page, IDC_MODEM_PROXY, state.phoneProxy);
}

// Puts a value into a field; true when the field's text changed (without regard to case).
bool PutField(HWND page, int id, const char* value)
{
    bool changed = !EqualsNoCase(ItemText(page, id), value);
    SetItemText(page, id, value);
    return changed;
}

void LookupOperator(HWND page)
{
    char apn[kOperatorField] = "", login[kOperatorField] = "", password[kOperatorField] = "";
    char proxy[kOperatorField] = "", url[kOperatorField] = "";
    if (!ChooseOperatorSettings(page, apn, login, password, proxy, url))
        return;
    // Putting a field's text counts as an edit, which clears the tested flag: only a field
    // that really changes may clear it.
    const bool wasTested = state.tested;
    bool changed = false;
    if (!PhoneModem()) {
        changed = PutField(page, IDC_MODEM_APN, apn) | PutField(page, IDC_MODEM_LOGIN, login) |
                  PutField(page, IDC_MODEM_PASSWORD, password);
    }
    changed = PutField(page, IDC_MODEM_PROXY, proxy) || changed;
    SetItemText(page, IDC_MODEM_URL, url);
    state.tested = wasTested && !changed;
}

void OnCommand(HWND page, WORD id, WORD code)
{
    switch (id) {
    case IDC_MODEM_CHANGE:
        ChangeModem(page);
        return;
    case IDC_MODEM_LOOKUP:
        LookupOperator(page);
        return;
    case IDC_MODEM_TEST:
        RunConnectionTest(page);
        return;
    }
    if (state.edits.loading)
        return;
    bool click = code == BN_CLICKED;
    switch (id) {
    case IDC_MODEM_OTHER_CONNECTION:
        if (click && IsChecked(page, id))
            SelectConnection(page, kOwnModemConnectionPrefix + std::string(currentModemName));
        [[fallthrough]];
    case IDC_MODEM_PHONE_DEFAULTS:
        if (click && id == IDC_MODEM_PHONE_DEFAULTS && IsChecked(page, id))
            ShowPhoneDefaults(page);
        [[fallthrough]];
    case IDC_MODEM_ACCESS_DEFAULT:
    case IDC_MODEM_ACCESS_GSM:
    case IDC_MODEM_ACCESS_GPRS:
    case IDC_MODEM_RECEIVE_SMS:
    case IDC_MODEM_RECEIVE_MMS:
    case IDC_MODEM_SEND_MMS:
        if (click) {
            ApplyEnabling(page);
            if (id != IDC_MODEM_PHONE_DEFAULTS)
                MarkPageChanged(page, state.edits);
        }
        return;
    case IDC_MODEM_STORAGE:
    case IDC_MODEM_CONNECTION:
        if (code == CBN_SELENDOK)
            MarkPageChanged(page, state.edits);
        return;
    case IDC_MODEM_APN:
    case IDC_MODEM_LOGIN:
    case IDC_MODEM_PASSWORD:
    case IDC_MODEM_PROXY:
    case IDC_MODEM_URL:
        if (code == EN_CHANGE) {
            MarkPageChanged(page, state.edits);
            if (id != IDC_MODEM_URL)
                state.tested = false;
        }
        return;
    }
}

// Before the page is left or saved: a modem is needed, and untested MMS settings are
// offered a test. False keeps the page.
bool ReadyToLeave(HWND page, bool askForModem)
{
    if (askForModem && ItemText(page, IDC_MODEM_NAME).empty()) {
        AskForModem(page);
        return false;
    }
    if (PhoneModem() || !IsChecked(page, IDC_MODEM_SEND_MMS) || state.tested)
        return true;
    switch (ShowMessage(page, kUntestedQuestion, MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDCANCEL:
        return false;
    case IDYES:
        RunConnectionTest(page);
        return true;
    default:
        state.tested = true;
        return true;
    }
}

// Saves the page; false when it refused (the page's changes stay unsaved).
bool Save(HWND page)
{
    if (!ReadyToLeave(page, false))
        return false;
    ModemSettings s = SettingsOnPage(page);
    ProfileIniStore sms = SmsGatewayIni();
    ProfileIniStore mmsc = MmscIni();
    VaspRoutes routes;
    SaveOutcome outcome = SaveModemSettings(s, sms, mmsc, routes);
    if (outcome == SaveOutcome::UnusableRoute) {
        ShowMessage(page, kUnusableRoute, MB_OK | MB_ICONERROR);
        return false;
    }
    if (!WritesTaken(page, {&sms, &mmsc}) || !routes.WritesTaken(page))
        return false;
    if (outcome == SaveOutcome::Saved)
        lstrcpynA(currentModemName, s.modemName.c_str(), sizeof currentModemName);
    state.edits.unsaved = false;
    return true;
}

bool OnWizardNext(HWND page)
{
    if (ItemText(page, IDC_MODEM_NAME).empty()) {
        AskForModem(page);
        return false;
    }
    if (!PhoneModem() && IsChecked(page, IDC_MODEM_SEND_MMS)) {
        state.tested = false;
        RunConnectionTest(page);
        if (!state.tested)
            return false;
    }
    return Save(page);
}

// The page kept (OK refused): a wizard asked for by "Change Modem" is no longer wanted, or the
// Cancel that follows would still open it.
bool LeaveOrStay(bool leave)
{
    if (!leave)
        wizardRequested = false;
    return leave;
}

bool OnNotify(HWND page, const NMHDR* header)
{
    switch (header->code) {
    case PSN_SETACTIVE:
        if (wizardMode) {
            PropSheet_SetWizButtons(GetParent(page), PSWIZB_BACK | PSWIZB_NEXT);
            LoadingScope loading(state.edits.loading);
            Refresh(page);
        }
        SetPageResult(page, 0);
        return true;
    case PSN_KILLACTIVE:
        SetPageResult(page, LeaveOrStay(ReadyToLeave(page, true)) ? FALSE : TRUE);
        return true;
    case PSN_WIZNEXT:
        SetPageResult(page, OnWizardNext(page) ? 0 : -1);
        return true;
    case PSN_APPLY:
        SetPageResult(page, LeaveOrStay(Save(page)) ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE);
        return true;
    }
    return HandleCommonNotification(page, header, UnsavedSource::Sheet);
}

} // namespace

ConnectionTestTiming& ModemConnectionTestTiming()
{
    static ConnectionTestTiming timing;
    return timing;
}

INT_PTR CALLBACK ModemPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInit(page);
        return TRUE;
    case kRefreshMessage: {
        LoadingScope loading(state.edits.loading);
        Refresh(page);
        return TRUE;
    }
    case WM_COMMAND:
        OnCommand(page, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        return OnNotify(page, reinterpret_cast<const NMHDR*>(lParam));
    case PSM_QUERYSIBLINGS:
        return AnswerUnsavedChangesQuery(page, wParam, state.edits);
    }
    return FALSE;
}
