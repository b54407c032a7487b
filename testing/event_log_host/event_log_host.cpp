// Opens the event log viewer on its own over a file of records, for tests, the benchmark
// and screenshots:
//   event_log_host.exe [--refresh-ms N] [--cannot-open] [--bench] FILE
//   event_log_host.exe --message-text EXE
// --cannot-open makes every opening of the log fail. --bench opens the viewer, takes the
// time until its first fill has drawn, lets a few refreshes pass with nothing new, closes
// it and prints the figures. --message-text prints message 0 of EXE's message table.
#include <windows.h>
#include <commctrl.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_state.h"
#include "file_event_log.h"
#include "monitoring/event_log_viewer.h"

namespace {

constexpr int kIdleRefreshes = 3;

struct Bench {
    FileEventLog* log = nullptr;
    LARGE_INTEGER openedAt = {};
    double firstFillMs = -1;
    int opensAfterFill = 0;
    int readsAfterFill = 0;
    long lines = 0;
} bench;

double MillisecondsSince(const LARGE_INTEGER& start)
{
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (now.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart;
}

// Runs in the viewer's message loop: the first tick comes once the opening fill has drawn.
void CALLBACK BenchTick(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND viewer = FindWindowA(nullptr, "Event Log");
    if (!viewer)
        return;
    if (bench.firstFillMs < 0) {
        UpdateWindow(viewer);
        bench.firstFillMs = MillisecondsSince(bench.openedAt);
        bench.opensAfterFill = bench.log->opens;
        bench.readsAfterFill = bench.log->reads;
        bench.lines = static_cast<long>(SendDlgItemMessageA(viewer, 101, LB_GETCOUNT, 0, 0));
        return;
    }
    if (bench.log->opens - bench.opensAfterFill >= kIdleRefreshes) {
        KillTimer(nullptr, timer);
        PostMessageA(viewer, WM_COMMAND, IDCANCEL, 0);
    }
}

int PrintMessageText(const char* exe)
{
    HMODULE module = LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    char* text = nullptr;
    DWORD length = module ? FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                               FORMAT_MESSAGE_IGNORE_INSERTS,
                                           module, 0, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                           reinterpret_cast<char*>(&text), 0, nullptr)
                          : 0;
    if (!length) {
        fprintf(stderr, "no message 0 in %s (%lu)\n", exe, GetLastError());
        return 1;
    }
    _setmode(_fileno(stdout), _O_BINARY); // the text's own line end, byte for byte
    fwrite(text, 1, length, stdout);
    LocalFree(text);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    bool benchMode = false;
    bool cannotOpen = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--bench"))
            benchMode = true;
        else if (!strcmp(argv[i], "--cannot-open"))
            cannotOpen = true;
        else if (!strcmp(argv[i], "--refresh-ms") && i + 1 < argc)
            EventViewerTiming().refreshMs = static_cast<UINT>(atoi(argv[++i]));
        else if (!strcmp(argv[i], "--message-text") && i + 1 < argc)
            return PrintMessageText(argv[++i]);
        else
            path = argv[i];
    }
    if (!path) {
        fprintf(stderr, "usage: event_log_host [--refresh-ms N] [--cannot-open] [--bench] FILE\n"
                        "       event_log_host --message-text EXE\n");
        return 2;
    }
    appInstance = GetModuleHandleA(nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    FileEventLog log(path);
    log.failOpen = cannotOpen;
    if (benchMode) {
        bench.log = &log;
        SetTimer(nullptr, 0, 1, BenchTick);
        QueryPerformanceCounter(&bench.openedAt);
    }
    OpenEventLogViewerOn(nullptr, log);
    if (benchMode) {
        printf("first-fill-ms %.1f\nlines %ld\nfirst-fill-reads %d\nrecords-read %ld\n", bench.firstFillMs, bench.lines,
               bench.readsAfterFill, log.recordsRead);
        printf("idle-refreshes %d\nidle-reads %d\n", log.opens - bench.opensAfterFill,
               log.reads - bench.readsAfterFill);
    }
    return 0;
}
