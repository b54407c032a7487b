// The 2-Way page: what the gateway does with the SMS and MMS it receives, the keyword table
// of the 2-way command processor, the command character set and local PHP processing. The
// settings are the portable TwoWaySettings; the keyword table is written at once by Add,
// Edit and Remove, everything else on Apply.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/config_files.h"
#include "app/controls.h"
#include "app/ini_files.h"
#include "app/message_box.h"
#include "app/page_conventions.h"
#include "base/ini_rules.h"
#include "base/text.h"
#include "gateway/gwcore/gwcore.h"
#include "mm7/mm7_dialog.h"
#include "mm7/mm7_settings.h"
#include "resources/twoway_page_ids.h"
#include "spool/viewers/viewers.h"
#include "twoway/keyword_dialog.h"
#include "twoway/keyword_table.h"
#include "twoway/php_support.h"
#include "twoway/twoway_pages.h"
#include "twoway/twoway_settings.h"

namespace {

const char kPhpHostName[] = "qelsms.local";
const char kCharsetKey[] = "MIME\\DataBase\\Charset";
constexpr DWORD kCharsetNameMax = 500;
constexpr int kTableTabStops[] = {50, 300};
constexpr int kTableExtent = 1500;
constexpr DWORD kUserFileReadOnly = 0x80000000;

struct TwoWayPageState {
    PageEdits edits;
    ShownRows localUsers{IDC_TWOWAY_LOCAL_USER, true};
    ShownRows charsets{IDC_TWOWAY_CHARSET, true};
    ShownRows tableRows{IDC_TWOWAY_TABLE, false};
    std::vector<std::string> tableEntries; // the keyword entry of each row of tableRows
};
TwoWayPageState twoWayPage;

const int kMmsChoices[] = {IDC_TWOWAY_MMS_IN, IDC_TWOWAY_MMS_TO_SMS, IDC_TWOWAY_MM7, IDC_TWOWAY_MAIL, IDC_TWOWAY_POST};

std::string RouteSection()
{
    if (!currentModemName[0])
        return std::string();
    return ModemSectionName(currentModemName);
}

LRESULT Send(HWND page, int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return SendDlgItemMessageA(page, id, message, wParam, lParam);
}

// The accounts that accept received messages, in user-file order; false when the file does
// not open.
bool ReadLocalUsers(std::vector<std::string>& users)
{
    SMSUSERFILE file = nullptr;
    if (!SMSOpenUserFile(&file, kUserFileReadOnly))
        return false;
    UserRecord record = {};
    for (int i = 0; SMSGetUserRecord(file, i, &record); ++i) {
        if (record.acceptReceived)
            users.emplace_back(record.userName, strnlen(record.userName, sizeof record.userName));
    }
    SMSCloseUserFile(file);
    return true;
}

// Adds the accounts the list does not show yet (names are never removed).
void AddMissingUsers(HWND page, const std::vector<std::string>& users)
{
    for (const std::string& user : users) {
        if (Send(page, IDC_TWOWAY_LOCAL_USER, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(user.c_str())) == CB_ERR)
            twoWayPage.localUsers.Add(page, user);
    }
}

std::string RegistryString(HKEY key, const char* name)
{
    char value[kCharsetNameMax + 1] = "";
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS)
        return std::string();
    if (type == REG_DWORD)
        return size == sizeof(DWORD) ? "1" : std::string();
    value[size] = '\0';
    return value;
}

// "(default)", then every charset of the MIME database that is an alias or has a code page.
std::vector<std::string> ListCharsets()
{
    std::vector<std::string> entries = {kDefaultCharsetEntry};
    HKEY root = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kCharsetKey, 0, KEY_READ, &root) != ERROR_SUCCESS)
        return entries;
    char name[kCharsetNameMax + 1];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(root, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY charset = nullptr;
        std::string path = std::string(kCharsetKey) + "\\" + name;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &charset) != ERROR_SUCCESS)
            continue;
        if (IsListedCharset(RegistryString(charset, "AliasForCharset"), RegistryString(charset, "Codepage")))
            entries.push_back(name);
        RegCloseKey(charset);
    }
    RegCloseKey(root);
    return entries;
}

void ShowCharsets(HWND page, const std::string& stored)
{
    // The MIME database does not change while the program runs: it is read once.
    static const std::vector<std::string> entries = ListCharsets();
    twoWayPage.charsets.Clear(page);
    for (const std::string& entry : entries)
        twoWayPage.charsets.Add(page, entry);
    Send(page, IDC_TWOWAY_CHARSET, CB_SETCURSEL, CharsetSelection(entries, stored));
}

// Refills the keyword list and selects the row that begins with entry and a tab (any row
// when entry is empty: the first), or the row at fallback.
void FillKeywordTable(HWND page, const std::string& entry, LRESULT fallback)
{
    HWND list = GetDlgItem(page, IDC_TWOWAY_TABLE);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    twoWayPage.tableRows.Clear(page);
    twoWayPage.tableEntries.clear();
    ProfileIniStore smsgw = SmsGatewayIni();
    LRESULT selected = -1;
    for (const std::string& tableEntry : ReadKeywordTable(smsgw)) {
        LRESULT row = twoWayPage.tableRows.Add(page, KeywordListRow(smsgw, tableEntry));
        if (row < 0)
            continue;
        twoWayPage.tableEntries.insert(twoWayPage.tableEntries.begin() + row, tableEntry);
        if (selected < 0 && !entry.empty() && EqualsNoCase(tableEntry, entry))
            selected = row;
    }
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    if (selected < 0)
        selected = fallback < count ? fallback : count - 1;
    SendMessageA(list, LB_SETCURSEL, selected, 0);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

std::string SelectedEntry(HWND page)
{
    LRESULT row = Send(page, IDC_TWOWAY_TABLE, LB_GETCURSEL);
    const std::vector<std::string>& entries = twoWayPage.tableEntries;
    return row >= 0 && static_cast<size_t>(row) < entries.size() ? entries[static_cast<size_t>(row)] : std::string();
}

void ApplyEnabling(HWND page)
{
    bool sms = IsChecked(page, IDC_TWOWAY_RECEIVE_SMS);
    bool commands = sms && IsChecked(page, IDC_TWOWAY_COMMANDS);
    EnableItem(page, IDC_TWOWAY_ROUTE_LOCAL, sms);
    EnableItem(page, IDC_TWOWAY_COMMANDS, sms);
    EnableItem(page, IDC_TWOWAY_LOCAL_USER, sms && IsChecked(page, IDC_TWOWAY_ROUTE_LOCAL));
    for (int id : {IDC_TWOWAY_TABLE_LABEL, IDC_TWOWAY_TABLE, IDC_TWOWAY_ADD, IDC_TWOWAY_EDIT, IDC_TWOWAY_REMOVE,
                   IDC_TWOWAY_CHARSET_LABEL, IDC_TWOWAY_CHARSET})
        EnableItem(page, id, commands);
    EnableItem(page, IDC_TWOWAY_RECEIVE_MMS, sms);
    bool mms = sms && IsChecked(page, IDC_TWOWAY_RECEIVE_MMS);
    for (int id : kMmsChoices)
        EnableItem(page, id, mms);
    EnableItem(page, IDC_TWOWAY_MM7_CONFIGURE, mms && IsChecked(page, IDC_TWOWAY_MM7));
    EnableItem(page, IDC_TWOWAY_MAIL_ADDRESS, mms && IsChecked(page, IDC_TWOWAY_MAIL));
    EnableItem(page, IDC_TWOWAY_POST_URL, mms && IsChecked(page, IDC_TWOWAY_POST));
}

void ShowPostUrl(HWND page, bool shown)
{
    ShowWindow(GetDlgItem(page, IDC_TWOWAY_POST), shown ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(page, IDC_TWOWAY_POST_URL), shown ? SW_SHOW : SW_HIDE);
}

// Switches local PHP on for the page: the remote box enabled, the script directory made
// and named. False when php-cgi.exe is not found (told with reportMissing) or the one found
// was not confirmed.
bool ShowPhpOn(HWND page, bool reportMissing)
{
    std::string path;
    if (!LocatePhpCgiExe(page, reportMissing, path))
        return false;
    EnableItem(page, IDC_TWOWAY_PHP_REMOTE, true);
    std::string directory = PhpDirectory();
    if (!PathExists(directory.c_str()))
        CreateDirectoryA(directory.c_str(), nullptr);
    SetItemText(page, IDC_TWOWAY_PHP_LABEL, std::string("http://") + kPhpHostName + "/php resolves to " + directory);
    return true;
}

void ShowPhpOff(HWND page)
{
    SetItemText(page, IDC_TWOWAY_PHP_LABEL, "");
    EnableItem(page, IDC_TWOWAY_PHP_REMOTE, false);
}

void ShowSettings(HWND page, const TwoWaySettings& s)
{
    SetChecked(page, IDC_TWOWAY_RECEIVE_SMS, s.receiveSms);
    if (s.routeLocal) {
        LRESULT at =
            Send(page, IDC_TWOWAY_LOCAL_USER, CB_FINDSTRINGEXACT, 0, reinterpret_cast<LPARAM>(s.localUser.c_str()));
        Send(page, IDC_TWOWAY_LOCAL_USER, CB_SETCURSEL, at);
    }
    SetChecked(page, s.routeLocal ? IDC_TWOWAY_ROUTE_LOCAL : IDC_TWOWAY_COMMANDS, true);
    SetChecked(page, kMmsChoices[static_cast<int>(s.mmsRouting)], true);
    SetItemText(page, IDC_TWOWAY_MAIL_ADDRESS, s.mmsEmail);
    SetItemText(page, IDC_TWOWAY_POST_URL, s.postUrl);
    ShowPostUrl(page, s.mmsRouting == MmsRouting::PostUrl);
    SetChecked(page, IDC_TWOWAY_RECEIVE_MMS, s.receiveMms);
}

void OnInit(HWND page)
{
    LoadingScope loading = StartLoading(twoWayPage.edits);
    ShowPostUrl(page, false);
    Send(page, IDC_TWOWAY_TABLE, LB_SETTABSTOPS, 2, reinterpret_cast<LPARAM>(kTableTabStops));
    Send(page, IDC_TWOWAY_TABLE, LB_SETHORIZONTALEXTENT, kTableExtent);

    twoWayPage.localUsers.Clear(page);
    std::vector<std::string> users;
    if (ReadLocalUsers(users)) {
        twoWayPage.localUsers.Add(page, "");
        AddMissingUsers(page, users);
    }
    ProfileIniStore smsgw = SmsGatewayIni();
    TwoWaySettings settings = LoadTwoWaySettings(smsgw, RouteSection(), users);
    ShowSettings(page, settings);
    ShowCharsets(page, settings.charset);
    FillKeywordTable(page, "", 0);
    ApplyEnabling(page);

    bool php = settings.phpEnable && ShowPhpOn(page, false);
    SetChecked(page, IDC_TWOWAY_PHP_ENABLE, php);
    if (!php)
        ShowPhpOff(page);
    SetChecked(page, IDC_TWOWAY_PHP_REMOTE, settings.phpAllowRemote);
}

TwoWaySettings SettingsFromControls(HWND page)
{
    TwoWaySettings s;
    s.receiveSms = IsChecked(page, IDC_TWOWAY_RECEIVE_SMS);
    s.receiveMms = IsChecked(page, IDC_TWOWAY_RECEIVE_MMS);
    s.localUser = twoWayPage.localUsers.Selected(page);
    s.routeLocal = IsChecked(page, IDC_TWOWAY_ROUTE_LOCAL) && !s.localUser.empty();
    s.charset = twoWayPage.charsets.Selected(page);
    for (size_t i = 0; i < sizeof kMmsChoices / sizeof kMmsChoices[0]; ++i) {
        if (IsChecked(page, kMmsChoices[i]))
            s.mmsRouting = static_cast<MmsRouting>(i);
    }
    s.mmsEmail = ItemText(page, IDC_TWOWAY_MAIL_ADDRESS);
    s.postUrl = ItemText(page, IDC_TWOWAY_POST_URL);
    s.phpEnable = IsChecked(page, IDC_TWOWAY_PHP_ENABLE);
    s.phpAllowRemote = IsChecked(page, IDC_TWOWAY_PHP_REMOTE);
    return s;
}

// False, with the message shown, when the file refused the change.
bool Save(HWND page)
{
    TwoWaySettings settings = SettingsFromControls(page);
    if (settings.mmsRouting == MmsRouting::PostUrl && !settings.postUrl.empty())
        SetItemText(page, IDC_TWOWAY_POST_URL, CompletedPostUrl(settings.postUrl));
    ProfileIniStore smsgw = SmsGatewayIni();
    SaveTwoWaySettings(settings, smsgw, RouteSection());
    if (!WritesTaken(page, {&smsgw}))
        return false;
    twoWayPage.edits.unsaved = false;
    return true;
}

void Refuse(HWND page, const char* message, int focus)
{
    ShowMessage(page, message, MB_OK | MB_ICONERROR);
    SetFocus(GetDlgItem(page, focus));
    SetPageResult(page, TRUE);
}

bool Mm7Configured()
{
    ProfileIniStore vasp(RouteFolder(kMm7ConnectionName) + kVaspFileName);
    return !vasp.Read("VASP", "Server", 1024).empty();
}

void OnKillActive(HWND page)
{
    SetPageResult(page, FALSE);
    if (!IsChecked(page, IDC_TWOWAY_RECEIVE_SMS))
        return;
    if (IsChecked(page, IDC_TWOWAY_ROUTE_LOCAL) && twoWayPage.localUsers.Selected(page).empty())
        Refuse(page, "Please select a local user account to receive messages", IDC_TWOWAY_LOCAL_USER);
    else if (IsChecked(page, IDC_TWOWAY_RECEIVE_MMS) && IsChecked(page, IDC_TWOWAY_MM7) && !Mm7Configured())
        Refuse(page, "MM7 Settings must be configured", IDC_TWOWAY_MM7_CONFIGURE);
}

// The keyword dialog writes the entry and its actions; the table is read again after.
void OnAdd(HWND page)
{
    std::string entry;
    if (EditKeyword(page, &entry))
        FillKeywordTable(page, entry, 0);
}

void OnEdit(HWND page)
{
    std::string entry = SelectedEntry(page);
    if (!entry.empty() && EditKeyword(page, &entry))
        FillKeywordTable(page, entry, 0);
}

// The table entry goes first, then its actions: a refused write never leaves an entry
// without them.
void OnRemove(HWND page)
{
    LRESULT position = Send(page, IDC_TWOWAY_TABLE, LB_GETCURSEL);
    std::string entry = SelectedEntry(page);
    if (entry.empty())
        return;
    ProfileIniStore smsgw = SmsGatewayIni();
    if (DeleteKeywordEntry(smsgw, entry))
        smsgw.DeleteSection(KeywordSectionName(entry));
    if (WritesTaken(page, {&smsgw}))
        FillKeywordTable(page, "", position);
}

void OnPhpClicked(HWND page)
{
    if (twoWayPage.edits.loading)
        return;
    MarkPageChanged(page, twoWayPage.edits);
    if (!IsChecked(page, IDC_TWOWAY_PHP_ENABLE))
        ShowPhpOff(page);
    else if (!ShowPhpOn(page, true))
        SetChecked(page, IDC_TWOWAY_PHP_ENABLE, false);
}

void OnCommand(HWND page, WORD id, WORD code)
{
    switch (id) {
    case IDC_TWOWAY_RECEIVE_SMS:
    case IDC_TWOWAY_ROUTE_LOCAL:
    case IDC_TWOWAY_COMMANDS:
    case IDC_TWOWAY_RECEIVE_MMS:
    case IDC_TWOWAY_MMS_IN:
    case IDC_TWOWAY_MM7:
    case IDC_TWOWAY_POST:
    case IDC_TWOWAY_MMS_TO_SMS:
    case IDC_TWOWAY_MAIL:
        ApplyEnabling(page);
        MarkPageChanged(page, twoWayPage.edits);
        break;
    case IDC_TWOWAY_PHP_REMOTE:
        MarkPageChanged(page, twoWayPage.edits);
        break;
    case IDC_TWOWAY_PHP_ENABLE:
        OnPhpClicked(page);
        break;
    case IDC_TWOWAY_LOCAL_USER:
    case IDC_TWOWAY_CHARSET:
        if (code == CBN_SELCHANGE)
            MarkPageChanged(page, twoWayPage.edits);
        break;
    case IDC_TWOWAY_MAIL_ADDRESS:
    case IDC_TWOWAY_POST_URL:
        if (code == EN_CHANGE)
            MarkPageChanged(page, twoWayPage.edits);
        break;
    case IDC_TWOWAY_ADD:
        OnAdd(page);
        break;
    case IDC_TWOWAY_EDIT:
        OnEdit(page);
        break;
    case IDC_TWOWAY_REMOVE:
        OnRemove(page);
        break;
    case IDC_TWOWAY_VIEW_SMS:
        OpenMessageViewer(page, ReceivedSmsViewerProc);
        break;
    case IDC_TWOWAY_VIEW_MMS:
        OpenMessageViewer(page, ReceivedMmsViewerProc);
        break;
    case IDC_TWOWAY_MM7_CONFIGURE:
        OpenMm7Settings(page);
        break;
    }
}

bool OnNotify(HWND page, const NMHDR* header)
{
    switch (header->code) {
    case PSN_SETACTIVE: {
        std::vector<std::string> users;
        if (ReadLocalUsers(users))
            AddMissingUsers(page, users);
        SetPageResult(page, 0);
        return true;
    }
    case PSN_KILLACTIVE:
        OnKillActive(page);
        return true;
    case PSN_APPLY:
        SetPageResult(page, Save(page) ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE);
        return true;
    }
    return HandleCommonNotification(page, header, UnsavedSource::Sheet);
}

} // namespace

INT_PTR CALLBACK TwoWayPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
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
        return AnswerUnsavedChangesQuery(page, wParam, twoWayPage.edits);
    }
    return FALSE;
}
