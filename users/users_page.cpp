// The Users page: the gateway's accounts in a virtual list over GWCORE.DLL's user file, and
// the web interface's login switch. Account changes go to the user file at once; only the
// switch waits for Apply.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/config_files.h"
#include "app/controls.h"
#include "app/ini_files.h"
#include "app/message_box.h"
#include "app/page_conventions.h"
#include "app/wait_cursor.h"
#include "resources/users_page_ids.h"
#include "users/account_files.h"
#include "users/user_account.h"
#include "users/user_details_dialog.h"
#include "users/users_pages.h"

namespace {

// Posted to the page when it becomes active: the list is refreshed once the sheet has
// finished switching pages.
constexpr UINT kRefreshMessage = WM_APP + 1;
constexpr UINT_PTR kListSubclassId = 1;
// The most accounts this page adds.
constexpr int kUserLimit = 10;

const char kUserLimitExceeded[] = "User Limit Exceeded";

struct UsersPageState {
    PageEdits edits;
    SMSUSERFILE userFile = nullptr;
    bool userFileOpen = false;
    DWORD openError = 0;
    bool openFailureShown = false;
    int cachedIndex = -1; // the row whose record is in cache; -1: none
    UserRecord cache = {};
    char cellText[sizeof(UserRecord::fullName)] = "";
};
UsersPageState usersPage;

HWND List(HWND page)
{
    return GetDlgItem(page, IDC_USERS_LIST);
}

void EmptyCache()
{
    usersPage.cachedIndex = -1;
    std::memset(&usersPage.cache, 0, sizeof usersPage.cache);
}

int AccountCount()
{
    int count = usersPage.userFileOpen ? SMSGetRecordCount(usersPage.userFile) : 0;
    return count > 0 ? count : 0;
}

// The record of a row, through the one-record cache; null when there is none.
const UserRecord* RecordAt(int index)
{
    if (index < 0)
        return nullptr;
    if (index == usersPage.cachedIndex)
        return &usersPage.cache;
    if (!usersPage.userFileOpen || !SMSGetUserRecord(usersPage.userFile, index, &usersPage.cache)) {
        EmptyCache();
        return nullptr;
    }
    usersPage.cachedIndex = index;
    return &usersPage.cache;
}

// Enter reaches the list instead of pressing the sheet's default button.
LRESULT CALLBACK ListSubclassProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message == WM_GETDLGCODE && lParam) {
        const MSG* pending = reinterpret_cast<const MSG*>(lParam);
        if (pending->message == WM_KEYDOWN && pending->wParam == VK_RETURN)
            return DLGC_WANTMESSAGE;
    }
    return DefSubclassProc(list, message, wParam, lParam);
}

void SetUpList(HWND page)
{
    HWND list = List(page);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    RECT client = {};
    GetClientRect(list, &client);
    LVCOLUMNA column = {};
    column.mask = LVCF_WIDTH;
    column.cx = (client.right - client.left) / 2;
    for (int i = 0; i < 2; ++i)
        SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    SetWindowSubclass(list, ListSubclassProc, kListSubclassId, 0);
    ListView_SetItemCountEx(list, AccountCount(), 0);
    ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

void OpenUserFile(HWND page)
{
    EmptyCache();
    usersPage.userFileOpen = SMSOpenUserFile(&usersPage.userFile, GENERIC_READ | GENERIC_WRITE) != FALSE;
    usersPage.openError = usersPage.userFileOpen ? 0 : GetLastError();
    usersPage.openFailureShown = false;
    for (int id : {IDC_USERS_EDIT, IDC_USERS_ADD, IDC_USERS_DELETE})
        EnableItem(page, id, usersPage.userFileOpen);
}

void OnInit(HWND page)
{
    LoadingScope loading = StartLoading(usersPage.edits);
    ProfileIniStore smsgw = SmsGatewayIni();
    SetChecked(page, IDC_USERS_WEB_AUTH, LoadWebAuth(smsgw));
    OpenUserFile(page);
    SetUpList(page);
}

// A user file that does not open leaves the page without accounts; the administrator is
// told why once, when the page is first shown.
void ReportOpenFailure(HWND page)
{
    if (usersPage.userFileOpen || usersPage.openFailureShown)
        return;
    usersPage.openFailureShown = true;
    std::string message =
        "The user accounts file cannot be opened, so user accounts cannot be listed or changed.\r\n\r\n" +
        SystemErrorText(usersPage.openError);
    ShowMessage(page, message.c_str(), MB_OK | MB_ICONERROR);
}

void Refresh(HWND page)
{
    HWND list = List(page);
    ListView_SetItemCountEx(list, AccountCount(), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    EmptyCache();
    int top = ListView_GetTopIndex(list);
    ListView_RedrawItems(list, top, top + ListView_GetCountPerPage(list) + 1);
    UpdateWindow(list);
}

void OnEdit(HWND page)
{
    int row = ListView_GetNextItem(List(page), -1, LVNI_SELECTED);
    const UserRecord* found = RecordAt(row);
    if (!found)
        return;
    UserRecord edited = *found;
    if (EditUserDetails(page, edited, usersPage.userFile))
        Refresh(page);
}

void OnAdd(HWND page)
{
    if (AccountCount() >= kUserLimit) {
        ShowMessage(page, kUserLimitExceeded, MB_OK | MB_ICONERROR);
        return;
    }
    UserRecord record = {};
    if (EditUserDetails(page, record, usersPage.userFile))
        Refresh(page);
}

bool ConfirmDelete(HWND page, unsigned count)
{
    char question[40] = "Delete User?";
    if (count != 1)
        wsprintfA(question, "Delete %u users?", count);
    return ShowMessage(page, question, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// Rows and records share their indexes, and a delete keeps the order of the rest: going
// from the last selected row up, the rows still to do keep their indexes. A record that
// cannot be deleted ends the run with a message. The list is set to the file once at the end.
void OnDelete(HWND page)
{
    HWND list = List(page);
    UINT count = ListView_GetSelectedCount(list);
    if (count == 0 || !ConfirmDelete(page, count))
        return;
    WaitCursor busy;
    std::vector<int> rows;
    for (int row = -1; (row = ListView_GetNextItem(list, row, LVNI_SELECTED)) >= 0;)
        rows.push_back(row);
    EmptyCache();
    GatewayAccountFiles files(usersPage.userFile);
    ProfileIniStore smsgw = SmsGatewayIni();
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        UserRecord record = {};
        if (!SMSGetUserRecord(usersPage.userFile, *row, &record))
            continue;
        AccountChange change = RemoveAccount(files, smsgw, record);
        if (change == AccountChange::AccountRefused) {
            std::string message = "The user account could not be deleted.\r\n\r\n" + SystemErrorText(files.FirstError());
            ShowMessage(page, message.c_str(), MB_OK | MB_ICONERROR);
            break;
        }
        if (change != AccountChange::Done) {
            ReportAccountChange(page, change, files.FirstError(), smsgw.FirstError());
            break;
        }
    }
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    Refresh(page);
    int next = std::min(rows.front(), AccountCount() - 1);
    if (next >= 0)
        ListView_SetItemState(list, next, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

void OnGetCellText(NMLVDISPINFOA* info)
{
    if (!(info->item.mask & LVIF_TEXT))
        return;
    usersPage.cellText[0] = '\0';
    if (const UserRecord* record = RecordAt(info->item.iItem)) {
        const char* text = info->item.iSubItem == 0 ? record->userName : record->fullName;
        lstrcpynA(usersPage.cellText, text, sizeof usersPage.cellText);
    }
    info->item.pszText = usersPage.cellText;
}

// Type-ahead: the library finds the first account whose name begins with the typed text.
LRESULT FindAccount(UINT flags, const char* text)
{
    if (!(flags & (LVFI_STRING | LVFI_PARTIAL)) || !usersPage.userFileOpen || !text)
        return -1;
    int index = SMSFindFirstUserRecord(usersPage.userFile, text, &usersPage.cache);
    usersPage.cachedIndex = index;
    if (index < 0)
        EmptyCache();
    return index;
}

bool OnListNotify(HWND page, const NMHDR* header)
{
    switch (header->code) {
    case LVN_GETDISPINFOA:
        OnGetCellText(reinterpret_cast<NMLVDISPINFOA*>(const_cast<NMHDR*>(header)));
        return true;
    case LVN_ODFINDITEMA: {
        const LVFINDINFOA& find = reinterpret_cast<const NMLVFINDITEMA*>(header)->lvfi;
        SetPageResult(page, FindAccount(find.flags, find.psz));
        return true;
    }
    case LVN_ODFINDITEMW: {
        // Some list controls ask in Unicode whatever the parent's format; the user file
        // holds names in the ANSI code page.
        const LVFINDINFOW& find = reinterpret_cast<const NMLVFINDITEMW*>(header)->lvfi;
        char text[sizeof(UserRecord::userName)] = "";
        if (find.psz)
            WideCharToMultiByte(CP_ACP, 0, find.psz, -1, text, sizeof text - 1, nullptr, nullptr);
        SetPageResult(page, FindAccount(find.flags, find.psz ? text : nullptr));
        return true;
    }
    case NM_RETURN:
    case NM_DBLCLK:
        if (usersPage.userFileOpen)
            OnEdit(page);
        return true;
    case LVN_KEYDOWN: {
        WORD key = reinterpret_cast<const NMLVKEYDOWN*>(header)->wVKey;
        if (key == VK_INSERT && usersPage.userFileOpen)
            OnAdd(page);
        else if (key == VK_DELETE && usersPage.userFileOpen)
            OnDelete(page);
        return true;
    }
    }
    return false;
}

// False, with the message shown, when the file refused the change.
bool Save(HWND page)
{
    ProfileIniStore smsgw = SmsGatewayIni();
    SaveWebAuth(smsgw, IsChecked(page, IDC_USERS_WEB_AUTH));
    if (!WritesTaken(page, {&smsgw}))
        return false;
    usersPage.edits.unsaved = false;
    return true;
}

bool OnNotify(HWND page, const NMHDR* header)
{
    if (header->idFrom == IDC_USERS_LIST)
        return OnListNotify(page, header);
    switch (header->code) {
    case PSN_SETACTIVE:
        PostMessageA(page, kRefreshMessage, 0, 0);
        SetPageResult(page, 0);
        return true;
    case PSN_APPLY:
        SetPageResult(page, Save(page) ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE);
        return true;
    }
    return HandleCommonNotification(page, header, UnsavedSource::Sheet);
}

void OnCommand(HWND page, WORD id)
{
    switch (id) {
    case IDC_USERS_WEB_AUTH:
        MarkPageChanged(page, usersPage.edits);
        break;
    case IDC_USERS_EDIT:
        OnEdit(page);
        break;
    case IDC_USERS_ADD:
        OnAdd(page);
        break;
    case IDC_USERS_DELETE:
        OnDelete(page);
        break;
    }
}

void OnDestroy(HWND page)
{
    RemoveWindowSubclass(List(page), ListSubclassProc, kListSubclassId);
    if (usersPage.userFileOpen)
        SMSCloseUserFile(usersPage.userFile);
    usersPage.userFileOpen = false;
    EmptyCache();
}

} // namespace

INT_PTR CALLBACK UsersPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInit(page);
        return TRUE;
    case WM_COMMAND:
        OnCommand(page, LOWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        return OnNotify(page, reinterpret_cast<const NMHDR*>(lParam));
    case kRefreshMessage:
        Refresh(page);
        ReportOpenFailure(page);
        return TRUE;
    case PSM_QUERYSIBLINGS:
        return AnswerUnsavedChangesQuery(page, wParam, usersPage.edits);
    case WM_DESTROY:
        OnDestroy(page);
        return FALSE;
    }
    return FALSE;
}
