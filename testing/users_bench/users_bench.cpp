// Times the Users page over the user file of the data directory, for tools/bench_users.py:
//   users_bench.exe open ROUNDS        opening the page against a bare owner-data list that
//                                      reads every cell from the user file, alternately
//   users_bench.exe typeahead NAME...  each name typed into the page's list, one WM_CHAR at
//                                      a time
//   users_bench.exe delete COUNT       COUNT accounts spread over the file deleted through
//                                      the page's Delete, the question answered Yes
//   users_bench.exe delete-direct COUNT  the same accounts deleted with SMSDeleteUser alone,
//                                      and what else a delete costs: the account's folder
//                                      and routing key removed, the file copied whole
// Prints "key value" lines. The page is created as a property sheet creates its pages: a
// visible child of a top-level frame, its template without caption and not disabled.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/config_files.h"
#include "app/message_box.h"
#include "gateway/gwcore/gwcore.h"
#include "gateway/gwcore/user_store.h"
#include "resources/users_page_ids.h"
#include "app/ini_files.h"
#include "users/user_account.h"
#include "users/users_pages.h"

namespace {

constexpr int kBaselineListId = 1;
// The list's incremental search starts over after this long without a key.
constexpr DWORD kTypeAheadResetMs = 1000;

struct Bench {
    HWND frame = nullptr;
    std::vector<BYTE> pageTemplate;
    RECT listRect = {}; // the page's list, in frame coordinates
    SMSUSERFILE baselineFile = nullptr;
    char cellText[256] = "";
    unsigned cellRequests = 0; // LVN_GETDISPINFO answered since last reset
    unsigned findRequests = 0; // LVN_ODFINDITEM seen by the page
    double pageMs = 0;         // time spent in the page's procedure since last reset
    double findMs = 0;         // of which answering LVN_ODFINDITEM
    double listDeleteMs = 0;   // time the page's list took removing rows
    HWND box = nullptr;
    char boxText[200] = "";
    LARGE_INTEGER boxClosedAt = {};
};
Bench bench;

LARGE_INTEGER Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

double MillisecondsBetween(const LARGE_INTEGER& start, const LARGE_INTEGER& end)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart;
}

double MillisecondsSince(const LARGE_INTEGER& start)
{
    return MillisecondsBetween(start, Now());
}

void DrainMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

bool IsCellRequest(UINT code)
{
    return code == LVN_GETDISPINFOA || code == LVN_GETDISPINFOW;
}

INT_PTR CALLBACK CountingPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    bool find = false;
    if (message == WM_NOTIFY) {
        UINT code = reinterpret_cast<const NMHDR*>(lParam)->code;
        bench.cellRequests += IsCellRequest(code);
        find = code == LVN_ODFINDITEMA || code == LVN_ODFINDITEMW;
        bench.findRequests += find;
    }
    LARGE_INTEGER start = Now();
    INT_PTR result = UsersPageProc(page, message, wParam, lParam);
    double ms = MillisecondsSince(start);
    bench.pageMs += ms;
    if (find)
        bench.findMs += ms;
    return result;
}

// The baseline's cells: every one read from the file, no cache.
void AnswerBaselineCell(NMLVDISPINFOA* info)
{
    ++bench.cellRequests;
    if (!(info->item.mask & LVIF_TEXT))
        return;
    UserRecord record = {};
    bench.cellText[0] = '\0';
    if (SMSGetUserRecord(bench.baselineFile, info->item.iItem, &record))
        lstrcpynA(bench.cellText, info->item.iSubItem == 0 ? record.userName : record.fullName, sizeof bench.cellText);
    info->item.pszText = bench.cellText;
}

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NOTIFY) {
        NMHDR* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->idFrom == kBaselineListId && header->code == LVN_GETDISPINFOA) {
            AnswerBaselineCell(reinterpret_cast<NMLVDISPINFOA*>(header));
            return 0;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// DIALOG_SMSUSERS as a property sheet shows it: a visible control child without caption.
bool LoadPageTemplate()
{
    HRSRC resource = FindResourceA(appInstance, "DIALOG_SMSUSERS", MAKEINTRESOURCEA(5));
    HGLOBAL loaded = resource ? LoadResource(appInstance, resource) : nullptr;
    if (!loaded)
        return false;
    const BYTE* data = static_cast<const BYTE*>(LockResource(loaded));
    bench.pageTemplate.assign(data, data + SizeofResource(appInstance, resource));
    // DLGTEMPLATEEX: dlgVer, signature, helpID, exStyle, style.
    DWORD style;
    std::memcpy(&style, &bench.pageTemplate[12], sizeof style);
    style = (style & ~(WS_CAPTION | WS_DISABLED | WS_POPUP)) | WS_CHILD | WS_VISIBLE | DS_CONTROL;
    std::memcpy(&bench.pageTemplate[12], &style, sizeof style);
    return true;
}

bool CreateFrame()
{
    WNDCLASSA frameClass = {};
    frameClass.lpfnWndProc = FrameProc;
    frameClass.hInstance = appInstance;
    frameClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    frameClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    frameClass.lpszClassName = "UsersBenchFrame";
    RegisterClassA(&frameClass);
    bench.frame = CreateWindowExA(0, "UsersBenchFrame", "Users bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 700, 560,
                                  nullptr, nullptr, appInstance, nullptr);
    if (!bench.frame)
        return false;
    UpdateWindow(bench.frame);
    SetForegroundWindow(bench.frame);
    DrainMessages();
    return true;
}

HWND CreatePage()
{
    HWND page = CreateDialogIndirectParamA(appInstance, reinterpret_cast<LPCDLGTEMPLATEA>(bench.pageTemplate.data()),
                                           bench.frame, CountingPageProc, 0);
    if (page)
        UpdateWindow(page);
    return page;
}

void ClosePage(HWND page)
{
    DestroyWindow(page);
    DrainMessages();
}

HWND PageList(HWND page)
{
    return GetDlgItem(page, IDC_USERS_LIST);
}

// Time from creating the page to its first rows painted.
double TimePageOpening()
{
    bench.cellRequests = 0;
    LARGE_INTEGER start = Now();
    HWND page = CreatePage();
    double ms = MillisecondsSince(start);
    ClosePage(page);
    return ms;
}

// The same list, bare, in the same frame, reading the same file.
double TimeBaselineOpening()
{
    bench.cellRequests = 0;
    LARGE_INTEGER start = Now();
    SMSOpenUserFile(&bench.baselineFile, GENERIC_READ);
    const RECT& r = bench.listRect;
    HWND list = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_NOCOLUMNHEADER |
                                    LVS_SHOWSELALWAYS,
                                r.left, r.top, r.right - r.left, r.bottom - r.top, bench.frame,
                                reinterpret_cast<HMENU>(kBaselineListId), appInstance, nullptr);
    SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    RECT client = {};
    GetClientRect(list, &client);
    LVCOLUMNA column = {};
    column.mask = LVCF_WIDTH;
    column.cx = client.right / 2;
    for (int i = 0; i < 2; ++i)
        SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    ListView_SetItemCountEx(list, SMSGetRecordCount(bench.baselineFile), 0);
    UpdateWindow(list);
    double ms = MillisecondsSince(start);
    DestroyWindow(list);
    SMSCloseUserFile(bench.baselineFile);
    DrainMessages();
    return ms;
}

void MeasureListRect()
{
    HWND page = CreatePage();
    GetWindowRect(PageList(page), &bench.listRect);
    MapWindowPoints(nullptr, bench.frame, reinterpret_cast<POINT*>(&bench.listRect), 2);
    ClosePage(page);
}

int RunOpen(int rounds)
{
    MeasureListRect();
    // One of each first, so that neither pays alone for what the first list of the
    // process loads.
    TimePageOpening();
    TimeBaselineOpening();
    for (int i = 0; i < rounds; ++i) {
        bool pageFirst = i % 2 == 0;
        for (int turn = 0; turn < 2; ++turn) {
            bool page = (turn == 0) == pageFirst;
            double ms = page ? TimePageOpening() : TimeBaselineOpening();
            printf("%s-open-ms %.2f\n%s-cells %u\n", page ? "page" : "baseline", ms, page ? "page" : "baseline",
                   bench.cellRequests);
        }
    }
    return 0;
}

int FocusedRow(HWND list)
{
    return ListView_GetNextItem(list, -1, LVNI_FOCUSED);
}

void TypeName(HWND list, const char* name)
{
    Sleep(kTypeAheadResetMs);
    for (const char* c = name; *c; ++c) {
        bench.findRequests = 0;
        bench.pageMs = bench.findMs = 0;
        LARGE_INTEGER start = Now();
        SendMessageA(list, WM_CHAR, static_cast<BYTE>(*c), 1);
        LARGE_INTEGER answered = Now();
        UpdateWindow(list);
        printf("typeahead-ms %.2f\ntypeahead-answer-ms %.2f\ntypeahead-paint-ms %.2f\ntypeahead-finds %u\n",
               MillisecondsSince(start), MillisecondsBetween(start, answered), MillisecondsSince(answered),
               bench.findRequests);
        printf("typeahead-page-ms %.2f\ntypeahead-page-find-ms %.2f\n", bench.pageMs, bench.findMs);
    }
    char found[64] = "";
    ListView_GetItemText(list, FocusedRow(list), 0, found, sizeof found);
    printf("typed %s found-row %d found-name %s\n", name, FocusedRow(list), found);
}

// The library's share of a keystroke: SMSFindFirstUserRecord for each name.
void TimeLibraryFind(int count, char** names)
{
    SMSUSERFILE file = nullptr;
    if (!SMSOpenUserFile(&file, GENERIC_READ))
        return;
    UserRecord record;
    for (int i = 0; i < count; ++i) {
        for (int repeat = 0; repeat < 5; ++repeat) {
            LARGE_INTEGER start = Now();
            SMSFindFirstUserRecord(file, names[i], &record);
            printf("find-ms %.2f\n", MillisecondsSince(start));
        }
    }
    SMSCloseUserFile(file);
}

int RunTypeAhead(int count, char** names)
{
    HWND page = CreatePage();
    HWND list = PageList(page);
    SetFocus(list);
    for (int i = 0; i < count; ++i)
        TypeName(list, names[i]);
    ClosePage(page);
    TimeLibraryFind(count, names);
    return 0;
}

// Answers the Delete question Yes as soon as the box is up, and notes when it went.
LRESULT CALLBACK AnswerYesHook(int code, WPARAM wParam, LPARAM lParam)
{
    HWND window = reinterpret_cast<HWND>(wParam);
    char className[16] = "";
    if (code == HCBT_ACTIVATE && !bench.box && GetClassNameA(window, className, sizeof className) &&
        !strcmp(className, "#32770")) {
        char caption[100] = "";
        GetWindowTextA(window, caption, sizeof caption);
        if (!strcmp(caption, kAppCaption)) {
            bench.box = window;
            GetDlgItemTextA(window, 0xFFFF, bench.boxText, sizeof bench.boxText);
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
        }
    } else if (code == HCBT_DESTROYWND && window == bench.box) {
        bench.boxClosedAt = Now();
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK TimingListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message != LVM_DELETEITEM)
        return DefSubclassProc(list, message, wParam, lParam);
    LARGE_INTEGER start = Now();
    LRESULT result = DefSubclassProc(list, message, wParam, lParam);
    bench.listDeleteMs += MillisecondsSince(start);
    return result;
}

// COUNT rows spread evenly over the file.
std::vector<int> RowsToDelete(int total, int count)
{
    std::vector<int> rows;
    int step = count > 0 ? total / count : 1;
    for (int i = 0; i < count && i * step < total; ++i)
        rows.push_back(i * step);
    return rows;
}

int CountAccounts()
{
    SMSUSERFILE file = nullptr;
    if (!SMSOpenUserFile(&file, GENERIC_READ))
        return -1;
    int count = SMSGetRecordCount(file);
    SMSCloseUserFile(file);
    return count;
}

ULONGLONG WrittenBytes()
{
    IO_COUNTERS counters = {};
    GetProcessIoCounters(GetCurrentProcess(), &counters);
    return counters.WriteTransferCount;
}

void PrintDeleteResult(const char* key, int before, int count, double ms, ULONGLONG written)
{
    int after = CountAccounts();
    printf("%s-count %d\n%s-ms %.1f\n%s-per-delete-ms %.2f\n", key, count, key, ms, key, count ? ms / count : 0.0);
    printf("%s-io-write-bytes %llu\naccounts-before %d\naccounts-after %d\n", key, written, before, after);
}

int RunDelete(int count)
{
    int before = CountAccounts();
    HWND page = CreatePage();
    HWND list = PageList(page);
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    for (int row : RowsToDelete(before, count))
        ListView_SetItemState(list, row, LVIS_SELECTED, LVIS_SELECTED);
    SetWindowSubclass(list, TimingListProc, 2, 0);
    HHOOK hook = SetWindowsHookExA(WH_CBT, AnswerYesHook, nullptr, GetCurrentThreadId());
    ULONGLONG written = WrittenBytes();
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_USERS_DELETE, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_USERS_DELETE)));
    LARGE_INTEGER done = Now();
    written = WrittenBytes() - written;
    UnhookWindowsHookEx(hook);
    RemoveWindowSubclass(list, TimingListProc, 2);
    printf("question %s\nlist-delete-ms %.1f\n", bench.boxText, bench.listDeleteMs);
    PrintDeleteResult("delete", before, count, bench.box ? MillisecondsBetween(bench.boxClosedAt, done) : 0.0, written);
    ClosePage(page);
    return bench.box ? 0 : 1;
}

// What the page does beside the library for each deleted account.
void TimeAccountExtras(const std::vector<UserRecord>& records)
{
    char data[MAX_PATH] = "";
    ProgramDataDirectory(data);
    LARGE_INTEGER start = Now();
    for (const UserRecord& record : records)
        DeleteTree(UserFolder(data, record.userName).c_str());
    printf("folders-ms %.1f\n", MillisecondsSince(start));
    ProfileIniStore smsgw = SmsGatewayIni();
    start = Now();
    for (const UserRecord& record : records)
        DeleteRoutingAddresses(smsgw, record.userName);
    printf("routing-keys-ms %.1f\n", MillisecondsSince(start));
}

// The steps of a commit that touch no file, on the content of USERS.DAT: checking and
// parsing it, its checksum alone, and building the new content.
void TimeInMemorySteps(const std::string& users)
{
    HANDLE in = CreateFileA(users.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::vector<uint8_t> content(GetFileSize(in, nullptr));
    DWORD done = 0;
    ReadFile(in, content.data(), static_cast<DWORD>(content.size()), &done, nullptr);
    CloseHandle(in);
    userstore::UserStore store;
    LARGE_INTEGER start = Now();
    bool parsed = userstore::ParseUserFile(content.data(), content.size(), store);
    printf("parse-ms %.2f\nparsed %d\n", MillisecondsSince(start), parsed);
    start = Now();
    volatile uint32_t crc = userstore::Crc32(content.data(), content.size());
    (void)crc;
    printf("checksum-ms %.2f\n", MillisecondsSince(start));
    start = Now();
    std::vector<uint8_t> built = userstore::SerializeUserFile(store);
    printf("serialize-ms %.2f\n", MillisecondsSince(start));
}

// The least a whole-file rewrite costs here: USERS.DAT read whole, written to a temporary
// file, flushed and renamed over a copy, COUNT times.
void TimeRawRewrites(int count)
{
    char data[MAX_PATH] = "";
    ProgramDataDirectory(data);
    std::string users = std::string(data) + "USERS.DAT";
    std::string temp = std::string(data) + "BENCH.TMP";
    std::string copy = std::string(data) + "BENCH.DAT";
    LARGE_INTEGER start = Now();
    for (int i = 0; i < count; ++i) {
        HANDLE in = CreateFileA(users.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        std::vector<char> content(GetFileSize(in, nullptr));
        DWORD done = 0;
        ReadFile(in, content.data(), static_cast<DWORD>(content.size()), &done, nullptr);
        CloseHandle(in);
        HANDLE out = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        WriteFile(out, content.data(), done, &done, nullptr);
        FlushFileBuffers(out);
        CloseHandle(out);
        MoveFileExA(temp.c_str(), copy.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
    printf("raw-rewrite-per-delete-ms %.2f\n", MillisecondsSince(start) / (count ? count : 1));
    DeleteFileA(copy.c_str());
    TimeInMemorySteps(users);
}

// The library's share of a delete: the same records removed with SMSDeleteUser alone.
int RunDeleteDirect(int count)
{
    SMSUSERFILE file = nullptr;
    if (!SMSOpenUserFile(&file, GENERIC_READ | GENERIC_WRITE))
        return 1;
    int before = SMSGetRecordCount(file);
    std::vector<UserRecord> records;
    for (int row : RowsToDelete(before, count)) {
        records.emplace_back();
        SMSGetUserRecord(file, row, &records.back());
    }
    ULONGLONG written = WrittenBytes();
    LARGE_INTEGER start = Now();
    for (const UserRecord& record : records)
        SMSDeleteUser(file, &record);
    double ms = MillisecondsSince(start);
    SMSCloseUserFile(file);
    PrintDeleteResult("direct", before, count, ms, WrittenBytes() - written);
    TimeAccountExtras(records);
    TimeRawRewrites(static_cast<int>(records.size()));
    return 0;
}

int Usage()
{
    fprintf(stderr, "usage: users_bench open ROUNDS | typeahead NAME... | delete COUNT | delete-direct COUNT\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return Usage();
    appInstance = GetModuleHandleA(nullptr);
    InitModulePaths();
    PrepareConfiguration();
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    if (!strcmp(argv[1], "delete-direct"))
        return RunDeleteDirect(atoi(argv[2]));
    if (!LoadPageTemplate() || !CreateFrame()) {
        fprintf(stderr, "users_bench: no page template or frame\n");
        return 1;
    }
    int result = Usage();
    if (!strcmp(argv[1], "open"))
        result = RunOpen(atoi(argv[2]));
    else if (!strcmp(argv[1], "typeahead"))
        result = RunTypeAhead(argc - 2, argv + 2);
    else if (!strcmp(argv[1], "delete"))
        result = RunDelete(atoi(argv[2]));
    fflush(stdout);
    DestroyWindow(bench.frame);
    return result;
}
