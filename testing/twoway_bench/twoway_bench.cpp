// Times the 2-Way page over the SMSGW.INI of the data directory, for tools/bench_twoway.py:
//   twoway_bench.exe open ROUNDS   opening the page against a bare read of the same INI keys
//                                  (one GetPrivateProfileString per key), alternately; then
//                                  each again just after the file's write time is set to now
//   twoway_bench.exe remove        the first keyword removed through the page's Remove
// Prints "key value" lines. The profile functions this program imports are counted (its
// import table is pointed at counting wrappers), so the figures say how many reads and
// writes each step made. The page is created as a property sheet creates its pages.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/config_files.h"
#include "base/ini_rules.h"
#include "resources/twoway_page_ids.h"
#include "twoway/twoway_pages.h"

namespace {

struct Counts {
    unsigned reads = 0;        // GetPrivateProfileStringA
    unsigned sectionReads = 0; // GetPrivateProfileSectionA
    unsigned writes = 0;       // WritePrivateProfileStringA and WritePrivateProfileSectionA
};
Counts counts;

decltype(&GetPrivateProfileStringA) realRead;
decltype(&GetPrivateProfileSectionA) realSectionRead;
decltype(&WritePrivateProfileStringA) realWrite;
decltype(&WritePrivateProfileSectionA) realSectionWrite;

DWORD WINAPI CountedRead(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR out, DWORD size, LPCSTR file)
{
    ++counts.reads;
    return realRead(section, key, fallback, out, size, file);
}

DWORD WINAPI CountedSectionRead(LPCSTR section, LPSTR out, DWORD size, LPCSTR file)
{
    ++counts.sectionReads;
    return realSectionRead(section, out, size, file);
}

BOOL WINAPI CountedWrite(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file)
{
    ++counts.writes;
    return realWrite(section, key, value, file);
}

BOOL WINAPI CountedSectionWrite(LPCSTR section, LPCSTR entries, LPCSTR file)
{
    ++counts.writes;
    return realSectionWrite(section, entries, file);
}

// Points every import slot of this program that holds real at counted instead.
void Redirect(void* real, void* counted)
{
    auto base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress); import->Name;
         ++import) {
        for (auto slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk); slot->u1.Function; ++slot) {
            if (reinterpret_cast<void*>(slot->u1.Function) != real)
                continue;
            DWORD old = 0;
            VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &old);
            slot->u1.Function = reinterpret_cast<DWORD_PTR>(counted);
            VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, old, &old);
        }
    }
}

template <typename Function>
void Count(Function& real, const char* name, Function counted)
{
    real = reinterpret_cast<Function>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name));
    Redirect(reinterpret_cast<void*>(real), reinterpret_cast<void*>(counted));
}

void CountProfileCalls()
{
    Count(realRead, "GetPrivateProfileStringA", &CountedRead);
    Count(realSectionRead, "GetPrivateProfileSectionA", &CountedSectionRead);
    Count(realWrite, "WritePrivateProfileStringA", &CountedWrite);
    Count(realSectionWrite, "WritePrivateProfileSectionA", &CountedSectionWrite);
}

LARGE_INTEGER Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

double MillisecondsSince(const LARGE_INTEGER& start)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (Now().QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart;
}

void DrainMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

HWND frame;
std::vector<BYTE> pageTemplate;

// DIALOG_RECV as a property sheet shows it: a visible control child without caption.
bool LoadPageTemplate()
{
    HRSRC resource = FindResourceA(appInstance, "DIALOG_RECV", MAKEINTRESOURCEA(5));
    HGLOBAL loaded = resource ? LoadResource(appInstance, resource) : nullptr;
    if (!loaded)
        return false;
    const BYTE* data = static_cast<const BYTE*>(LockResource(loaded));
    pageTemplate.assign(data, data + SizeofResource(appInstance, resource));
    // DLGTEMPLATEEX: dlgVer, signature, helpID, exStyle, style.
    DWORD style;
    std::memcpy(&style, &pageTemplate[12], sizeof style);
    style = (style & ~(WS_CAPTION | WS_DISABLED | WS_POPUP)) | WS_CHILD | WS_VISIBLE | DS_CONTROL;
    std::memcpy(&pageTemplate[12], &style, sizeof style);
    return true;
}

bool CreateFrame()
{
    WNDCLASSA frameClass = {};
    frameClass.lpfnWndProc = DefWindowProcA;
    frameClass.hInstance = appInstance;
    frameClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    frameClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    frameClass.lpszClassName = "TwoWayBenchFrame";
    RegisterClassA(&frameClass);
    frame = CreateWindowExA(0, "TwoWayBenchFrame", "2-Way bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 700, 560,
                            nullptr, nullptr, appInstance, nullptr);
    if (!frame)
        return false;
    UpdateWindow(frame);
    DrainMessages();
    return true;
}

HWND CreatePage()
{
    HWND page = CreateDialogIndirectParamA(appInstance, reinterpret_cast<LPCDLGTEMPLATEA>(pageTemplate.data()), frame,
                                           TwoWayPageProc, 0);
    if (page)
        UpdateWindow(page);
    return page;
}

void ClosePage(HWND page)
{
    DestroyWindow(page);
    DrainMessages();
}

void PrintCounts(const char* what)
{
    printf("%s-reads %u\n%s-section-reads %u\n%s-writes %u\n", what, counts.reads, what, counts.sectionReads, what,
           counts.writes);
}

// From creating the page to its controls painted.
double TimePageOpening()
{
    counts = Counts();
    LARGE_INTEGER start = Now();
    HWND page = CreatePage();
    double ms = MillisecondsSince(start);
    ClosePage(page);
    return ms;
}

std::string ReadKey(const char* section, const char* key)
{
    char value[1024];
    GetPrivateProfileStringA(section, key, "", value, sizeof value, appPaths.smsIni);
    return value;
}

// The keys the page shows, each read on its own: the page's settings, the keyword table up
// to its first missing key and the seven action keys of each keyword.
double TimeBareRead()
{
    static const char* const kMainKeys[] = {"ReceiveSMS",     "ReceiveSMSCharset", "ReceiveMMS",    "PHPEnable",
                                            "PHPAllowRemote", "2WayMMSToSMS",      "2WayMMSPostURL"};
    static const char* const kRouteKeys[] = {"RouteLocal", "MMSRouting", "2WayMMSPostURL"};
    static const char* const kActionKeys[] = {"DListAdd", "DListRemove", "ReplyFile",      "ReplyText",
                                              "MailTo",   "Run",         "RunSendResponse"};
    counts = Counts();
    LARGE_INTEGER start = Now();
    volatile size_t total = 0;
    std::string route = ModemSectionName(currentModemName);
    for (const char* key : kMainKeys)
        total += ReadKey("SMSGW", key).size();
    for (const char* key : kRouteKeys)
        total += ReadKey(route.c_str(), key).size();
    for (unsigned n = 1;; ++n) {
        std::string entry = ReadKey("2Way-Keywords", ("Keyword" + std::to_string(n)).c_str());
        if (entry.empty())
            break;
        std::string section = "2Way-Keyword-" + entry;
        for (const char* key : kActionKeys)
            total += ReadKey(section.c_str(), key).size();
    }
    return MillisecondsSince(start);
}

// Gives SMSGW.INI the write time of now, as a write by the gateway or by the page itself
// does: Wine reads a profile file written in the last few seconds again at every call.
void TouchIni()
{
    HANDLE file = CreateFileA(appPaths.smsIni, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    SetFileTime(file, nullptr, nullptr, &now);
    CloseHandle(file);
}

int RunOpen(int rounds)
{
    // One of each first, so that neither pays alone for what the first page of the process
    // loads (the registry, the controls' classes, the file in Wine's profile cache).
    TimePageOpening();
    TimeBareRead();
    for (int i = 0; i < rounds; ++i) {
        bool pageFirst = i % 2 == 0;
        for (int turn = 0; turn < 2; ++turn) {
            bool page = (turn == 0) == pageFirst;
            double ms = page ? TimePageOpening() : TimeBareRead();
            printf("%s-open-ms %.2f\n", page ? "page" : "bare", ms);
            PrintCounts(page ? "page" : "bare");
        }
    }
    for (int i = 0; i < rounds; ++i) {
        for (bool page : {true, false}) {
            TouchIni();
            double ms = page ? TimePageOpening() : TimeBareRead();
            printf("%s-fresh-ms %.2f\n", page ? "page" : "bare", ms);
        }
    }
    return 0;
}

int RunRemove()
{
    HWND page = CreatePage();
    HWND table = GetDlgItem(page, IDC_TWOWAY_TABLE);
    printf("rows-before %ld\n", static_cast<long>(SendMessageA(table, LB_GETCOUNT, 0, 0)));
    SendMessageA(table, LB_SETCURSEL, 0, 0);
    counts = Counts();
    LARGE_INTEGER start = Now();
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_TWOWAY_REMOVE, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_TWOWAY_REMOVE)));
    UpdateWindow(page);
    printf("remove-ms %.2f\n", MillisecondsSince(start));
    PrintCounts("remove");
    printf("rows-after %ld\n", static_cast<long>(SendMessageA(table, LB_GETCOUNT, 0, 0)));
    ClosePage(page);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    appInstance = GetModuleHandleA(nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    InitModulePaths();
    PrepareConfiguration();
    GetPrivateProfileStringA("SMSGW", "Modem1", "", currentModemName, sizeof currentModemName, appPaths.smsIni);
    CountProfileCalls();
    if (argc < 2 || !LoadPageTemplate() || !CreateFrame()) {
        fprintf(stderr, "usage: twoway_bench.exe open ROUNDS | remove\n");
        return 2;
    }
    if (!strcmp(argv[1], "open"))
        return RunOpen(argc > 2 ? atoi(argv[2]) : 5);
    if (!strcmp(argv[1], "remove"))
        return RunRemove();
    fprintf(stderr, "usage: twoway_bench.exe open ROUNDS | remove\n");
    return 2;
}
