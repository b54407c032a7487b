// Opens one of the program's message viewers on its own, for tests and for trying a viewer
// by hand before the page that opens it exists:
//   viewer_host.exe [--refresh-ms N] [--settle-ms N] [--delete-wait-ms N] [--bench]
//                   [--bench-refresh] [--twice] outbound-sms|outbound-mms|received-sms|received-mms
// With --twice the viewer opens again when it is closed, as a second opening in one run of
// the program (its kept state carried over).
// With --bench it opens the viewer, lets it draw once, closes it and prints the time taken
// and the process's peak memory. With --bench-refresh it opens the viewer, times one refresh
// (a WM_TIMER of the refresh timer, the settle wait set to 0) and closes it.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_state.h"
#include "app/config_files.h"
#include "spool/viewers/queue_viewer.h"
#include "spool/viewers/viewers.h"
#include "spool/spool_files.h"

namespace {

DLGPROC viewerProc;
bool benchRefresh;
bool twice;

struct HostedViewer {
    const char* name;
    DLGPROC proc;
};
const HostedViewer kViewers[] = {
    {"outbound-sms", OutboundSmsQueueProc},
    {"outbound-mms", OutboundMmsQueueProc},
    {"received-sms", ReceivedSmsViewerProc},
    {"received-mms", ReceivedMmsViewerProc},
};
LARGE_INTEGER openedAt;
double benchMs;
constexpr UINT kBenchDrawn = WM_APP + 1;

double MillisecondsSince(const LARGE_INTEGER& start)
{
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (now.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart;
}

INT_PTR CALLBACK BenchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kBenchDrawn) {
        UpdateWindow(window);
        UpdateWindow(GetDlgItem(window, 101));
        benchMs = MillisecondsSince(openedAt);
        if (benchRefresh) {
            LARGE_INTEGER refreshAt;
            QueryPerformanceCounter(&refreshAt);
            viewerProc(window, WM_TIMER, 1, 0);
            UpdateWindow(GetDlgItem(window, 101));
            benchMs = MillisecondsSince(refreshAt);
        }
        EndDialog(window, 1);
        return TRUE;
    }
    INT_PTR result = viewerProc(window, message, wParam, lParam);
    if (message == WM_INITDIALOG)
        PostMessageA(window, kBenchDrawn, 0, 0);
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    bool bench = false;
    const char* viewer = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--bench"))
            bench = true;
        else if (!strcmp(argv[i], "--twice"))
            twice = true;
        else if (!strcmp(argv[i], "--bench-refresh"))
            bench = benchRefresh = true;
        else if (!strcmp(argv[i], "--refresh-ms") && i + 1 < argc)
            QueueViewerTiming().refreshMs = static_cast<UINT>(atoi(argv[++i]));
        else if (!strcmp(argv[i], "--settle-ms") && i + 1 < argc)
            QueueViewerTiming().swapSettleMs = static_cast<DWORD>(atoi(argv[++i]));
        else if (!strcmp(argv[i], "--delete-wait-ms") && i + 1 < argc)
            QueueViewerTiming().deleteWaitMs = static_cast<DWORD>(atoi(argv[++i]));
        else
            viewer = argv[i];
    }
    for (const HostedViewer& hosted : kViewers) {
        if (viewer && !strcmp(viewer, hosted.name))
            viewerProc = hosted.proc;
    }
    if (!viewerProc) {
        fprintf(stderr, "usage: viewer_host [--refresh-ms N] [--settle-ms N] [--delete-wait-ms N] [--bench] "
                        "[--bench-refresh] [--twice] outbound-sms|outbound-mms|received-sms|received-mms\n");
        return 2;
    }
    if (benchRefresh)
        QueueViewerTiming().swapSettleMs = 0;

    appInstance = GetModuleHandleA(nullptr);
    InitModulePaths();
    PrepareConfiguration();
    UseSupportLibraryGsm7Decoder();
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    QueryPerformanceCounter(&openedAt);
    INT_PTR result = OpenMessageViewer(nullptr, bench ? BenchProc : viewerProc);
    if (twice)
        result = OpenMessageViewer(nullptr, viewerProc);
    if (bench) {
        PROCESS_MEMORY_COUNTERS memory = {};
        memory.cb = sizeof memory;
        GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
        printf("%s %.1f\npeak-working-set-kb %lu\npeak-pagefile-kb %lu\n", benchRefresh ? "refresh-ms" : "viewer-ms",
               benchMs, static_cast<unsigned long>(memory.PeakWorkingSetSize / 1024),
               static_cast<unsigned long>(memory.PeakPagefileUsage / 1024));
    }
    return static_cast<int>(result);
}
