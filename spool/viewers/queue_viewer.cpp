#include "spool/viewers/queue_viewer.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "resources/queue_viewer_ids.h"
#include "app/app_state.h"
#include "app/config_files.h"
#include "app/message_box.h"
#include "app/page_conventions.h"
#include "spool/viewers/viewers.h"

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr size_t kKeyLimit = 249;
constexpr DWORD kDeleterRetryMs = 5000;
constexpr DWORD kDeleterGiveUpMs = 120000;

int LocaleCompare(const char* a, const char* b)
{
    return lstrcmpiA(a, b);
}

// The locale's sort key of a text, without regard to case: its byte order is the order
// LocaleCompare gives.
std::string LocaleSortKey(const std::string& text)
{
    int wideLength = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (wideLength <= 0)
        return text;
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], wideLength);
    LCID locale = GetThreadLocale();
    int keyLength = LCMapStringW(locale, LCMAP_SORTKEY | NORM_IGNORECASE, wide.c_str(), -1, nullptr, 0);
    if (keyLength <= 0)
        return text;
    std::string key(static_cast<size_t>(keyLength), '\0');
    LCMapStringW(locale, LCMAP_SORTKEY | NORM_IGNORECASE, wide.c_str(), -1, reinterpret_cast<LPWSTR>(&key[0]),
                 keyLength);
    key.resize(strlen(key.c_str())); // the key ends at its first NUL byte
    return key;
}

// Holds a viewer's lock for one scope; the lock is re-entrant, so the list's requests for
// cell text that arrive meanwhile on the same thread do not block.
class LockHold {
public:
    explicit LockHold(CRITICAL_SECTION& lock) : lock_(lock) { EnterCriticalSection(&lock_); }
    ~LockHold() { LeaveCriticalSection(&lock_); }
    LockHold(const LockHold&) = delete;
    LockHold& operator=(const LockHold&) = delete;

private:
    CRITICAL_SECTION& lock_;
};

HWND List(HWND window)
{
    return GetDlgItem(window, IDC_VIEWER_LIST);
}

int FirstSelected(HWND list)
{
    return ListView_GetNextItem(list, -1, LVNI_SELECTED);
}

// The key of the first selected row, or "" when none is selected.
std::string FirstSelectedKey(HWND list, const ViewerState& state)
{
    int index = FirstSelected(list);
    if (index < 0 || static_cast<size_t>(index) >= state.current.rows.size())
        return {};
    return state.current.rows[index].key().substr(0, kKeyLimit);
}

void RestoreSelection(HWND list, const ViewerState& state, const std::string& key)
{
    long index = key.empty() ? -1 : FindRowByKey(state.current.rows, key, LocaleCompare);
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (index >= 0) {
        ListView_SetItemState(list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(list, index, FALSE);
    } else {
        ListView_EnsureVisible(list, 0, FALSE);
    }
}

void ShowRowCount(HWND list, const ViewerState& state)
{
    ListView_SetItemCountEx(list, static_cast<int>(state.current.rows.size()), LVSICF_NOSCROLL);
    if (!state.current.rows.empty())
        ListView_RedrawItems(list, 0, static_cast<int>(state.current.rows.size()) - 1);
}

void SetCountLine(HWND window, const ViewerDefinition& viewer, const ViewerState& state)
{
    SetTextIfDifferent(window, IDC_VIEWER_COUNT,
                       CountLineText(viewer.countTitle, state.current.total, viewer.noneText).c_str());
}

std::string RowPath(const ViewerDefinition& viewer, const ViewerRow& row)
{
    char directory[MAX_PATH];
    viewer.directory(directory);
    return directory + row.key();
}

void OnInit(HWND window, const ViewerDefinition& viewer, ViewerState& state)
{
    InitializeCriticalSection(&state.lock);
    SetWindowTextA(window, viewer.title);

    HWND list = List(window);
    RECT client;
    GetClientRect(list, &client);
    for (int c = 0; c < viewer.columnCount; ++c) {
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = client.right / viewer.columns[c].widthDivisor;
        column.pszText = const_cast<char*>(viewer.columns[c].header);
        column.iSubItem = c;
        ListView_InsertColumn(list, c, &column);
    }
    ListView_SetExtendedListViewStyle(list, ListView_GetExtendedListViewStyle(list) | LVS_EX_FULLROWSELECT);

    // The first fill after an opening always takes the default order.
    state.current = ViewerRows();
    state.cache.Clear();
    viewer.listRows(state.current, state.cache);
    state.cache.EndReading();
    SortRowsByKeys(state.current.rows, viewer.defaultSortState, LocaleSortKey);
    state.shownSortState = viewer.defaultSortState;
    ListView_SetItemCountEx(list, static_cast<int>(state.current.rows.size()), 0);
    RestoreSelection(list, state, "");
    SetCountLine(window, viewer, state);
    SetTimer(window, kRefreshTimer, QueueViewerTiming().refreshMs, nullptr);
}

void OnRefresh(HWND window, const ViewerDefinition& viewer, ViewerState& state)
{
    HWND list = List(window);
    if (ListView_GetSelectedCount(list) >= 2)
        return; // a multiple selection is never disturbed

    ViewerRows fresh;
    viewer.listRows(fresh, state.cache);
    bool allReused = state.cache.EndReading();
    {
        LockHold hold(state.lock);
        if (allReused && SameKeys(fresh.rows, state.current.rows) && state.shownSortState == state.sortState) {
            // Nothing changed on disk and the order is the kept one: the rows shown are what
            // was read.
            state.current.total = fresh.total;
        } else {
            // Something changed, or this is the first refresh after an opening that showed the
            // default order: the kept order takes over.
            SortRowsByKeys(fresh.rows, state.sortState, LocaleSortKey);
            if (ListView_GetSelectedCount(list) >= 2) {
                state.current.total = fresh.total;
            } else {
                std::string key = FirstSelectedKey(list, state);
                std::swap(state.current, fresh);
                state.shownSortState = state.sortState;
                ShowRowCount(list, state);
                RestoreSelection(list, state, key);
                Sleep(QueueViewerTiming().swapSettleMs);
            }
        }
    }
    SetCountLine(window, viewer, state);
}

void OnColumnClick(HWND window, ViewerState& state, int column)
{
    if (state.current.rows.empty())
        return;
    HWND list = List(window);
    std::string key = FirstSelectedKey(list, state);
    LockHold hold(state.lock);
    state.sortState = SortStateAfterColumnClick(state.sortState, column);
    state.shownSortState = state.sortState;
    SortRowsByKeys(state.current.rows, state.sortState, LocaleSortKey);
    ShowRowCount(list, state);
    RestoreSelection(list, state, key);
}

void OnView(HWND window, const ViewerDefinition& viewer, ViewerState& state)
{
    HWND list = List(window);
    SetFocus(list);
    LockHold hold(state.lock);
    int index = FirstSelected(list);
    if (index < 0 || static_cast<size_t>(index) >= state.current.rows.size())
        return;
    std::string path = RowPath(viewer, state.current.rows[index]);
    if (viewer.view)
        viewer.view(window, path);
    else
        OpenInNotepad(path.c_str());
}

void OnDelete(HWND window, const ViewerDefinition& viewer, ViewerState& state)
{
    HWND list = List(window);
    SetFocus(list);
    LockHold hold(state.lock);
    UINT selected = ListView_GetSelectedCount(list);
    if (selected == 0)
        return;
    char question[64];
    if (selected == 1)
        snprintf(question, sizeof question, "Delete Message?");
    else
        snprintf(question, sizeof question, "Delete %u messages?", selected);
    if (ShowMessage(window, question, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;

    for (int index = FirstSelected(list); index >= 0; index = FirstSelected(list)) {
        if (static_cast<size_t>(index) >= state.current.rows.size())
            break;
        std::string path = RowPath(viewer, state.current.rows[index]);
        if (viewer.deleteFiles)
            viewer.deleteFiles(path);
        else
            DeleteOrLeaveToDeleter(path);
        state.current.rows.erase(state.current.rows.begin() + index);
        ListView_DeleteItem(list, index);
    }
}

void OnGetDisplayInfo(ViewerState& state, NMLVDISPINFOA* info)
{
    if (!(info->item.mask & LVIF_TEXT))
        return;
    LockHold hold(state.lock);
    state.display[0] = '\0';
    size_t row = static_cast<size_t>(info->item.iItem);
    size_t text = static_cast<size_t>(info->item.iSubItem) + 1;
    if (info->item.iItem >= 0 && row < state.current.rows.size() && text < state.current.rows[row].texts.size())
        lstrcpynA(state.display, state.current.rows[row].texts[text].c_str(), sizeof state.display);
    info->item.pszText = state.display;
}

bool OnNotify(HWND window, const NMHDR* header, const ViewerDefinition& viewer, ViewerState& state)
{
    if (header->idFrom != IDC_VIEWER_LIST)
        return false;
    switch (header->code) {
    case LVN_GETDISPINFOA:
        OnGetDisplayInfo(state, reinterpret_cast<NMLVDISPINFOA*>(const_cast<NMHDR*>(header)));
        return true;
    case LVN_COLUMNCLICK:
        OnColumnClick(window, state, reinterpret_cast<const NMLISTVIEW*>(header)->iSubItem);
        return true;
    case NM_DBLCLK:
        OnView(window, viewer, state);
        return true;
    case LVN_KEYDOWN:
        if (reinterpret_cast<const NMLVKEYDOWN*>(header)->wVKey == VK_DELETE)
            OnDelete(window, viewer, state);
        return true;
    case LVN_ODFINDITEMA:
    case LVN_ODFINDITEMW:                              // some list views ask in Unicode whatever their owner
        SetWindowLongPtrA(window, DWLP_MSGRESULT, -1); // type-ahead finds nothing
        return true;
    }
    return false;
}

void OnCommand(HWND window, WORD id, const ViewerDefinition& viewer, ViewerState& state)
{
    switch (id) {
    case IDOK:
        // Enter in the list reaches the dialog as its default button: it views.
        if (GetFocus() == List(window))
            OnView(window, viewer, state);
        else
            EndDialog(window, 1);
        break;
    case IDCANCEL:
        EndDialog(window, 0);
        break;
    }
}

DWORD WINAPI BackgroundDeleter(LPVOID parameter)
{
    std::unique_ptr<char[]> path(static_cast<char*>(parameter));
    DWORD start = GetTickCount();
    while (PathExists(path.get()) && GetTickCount() - start < kDeleterGiveUpMs) {
        DeleteFileA(path.get());
        if (PathExists(path.get()))
            Sleep(kDeleterRetryMs);
    }
    return 0;
}

} // namespace

ViewerTiming& QueueViewerTiming()
{
    static ViewerTiming timing;
    return timing;
}

void StartBackgroundDeleter(const char* path)
{
    char* copy = new (std::nothrow) char[MAX_PATH];
    if (!copy)
        return;
    lstrcpynA(copy, path, MAX_PATH);
    HANDLE thread = CreateThread(nullptr, 0, BackgroundDeleter, copy, 0, nullptr);
    if (thread)
        CloseHandle(thread);
    else
        delete[] copy;
}

void DeleteOrLeaveToDeleter(const std::string& path)
{
    DeleteFileA(path.c_str());
    if (PathExists(path.c_str())) {
        // In use by the gateway: it leaves the list now and the disk later.
        StartBackgroundDeleter(path.c_str());
        Sleep(QueueViewerTiming().deleteWaitMs);
    }
}

bool TakeCachedRow(RowCache& cache, ViewerRows& rows, const std::string& key, const FileStamp& first,
                   const FileStamp& second)
{
    const ViewerRow* kept = cache.Reuse(key, first, second);
    if (!kept)
        return false;
    rows.rows.push_back(*kept);
    return true;
}

void AddRow(RowCache& cache, ViewerRows& rows, ViewerRow row, const FileStamp& first, const FileStamp& second)
{
    cache.Keep(row.key(), first, second, row);
    rows.rows.push_back(std::move(row));
}

INT_PTR QueueViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, const ViewerDefinition& viewer,
                        ViewerState& state)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInit(window, viewer, state);
        return TRUE;
    case WM_NOTIFY:
        return OnNotify(window, reinterpret_cast<const NMHDR*>(lParam), viewer, state);
    case WM_TIMER:
        if (wParam == kRefreshTimer)
            OnRefresh(window, viewer, state);
        return TRUE;
    case WM_COMMAND:
        OnCommand(window, LOWORD(wParam), viewer, state);
        return TRUE;
    case WM_DESTROY:
        KillTimer(window, kRefreshTimer);
        DeleteCriticalSection(&state.lock);
        return FALSE;
    }
    return FALSE;
}

INT_PTR OpenMessageViewer(HWND owner, DLGPROC viewer)
{
    return DialogBoxParamA(appInstance, "DIALOG_SMSQ", owner, viewer, 0);
}
