// Opens one of the program's message viewers on its own, for tests and for trying a viewer
// by hand before the page that opens it exists:
//   viewer_host.exe [--refresh-ms N] [--settle-ms N] [--delete-wait-ms N] [--bench] outbound-sms
// With --bench it opens the viewer, lets it draw once, closes it and prints the time taken
// and the process's peak memory.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_state.h"
#include "app/config_files.h"
#include "spool/viewers/queue_viewer.h"
#include "spool/spool_files.h"

namespace {

DLGPROC viewerProc;
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
        else if (!strcmp(argv[i], "--refresh-ms") && i + 1 < argc)
            QueueViewerTiming().refreshMs = static_cast<UINT>(atoi(argv[++i]));
        else if (!strcmp(argv[i], "--settle-ms") && i + 1 < argc)
            QueueViewerTiming().swapSettleMs = static_cast<DWORD>(atoi(argv[++i]));
        else if (!strcmp(argv[i], "--delete-wait-ms") && i + 1 < argc)
            QueueViewerTiming().deleteWaitMs = static_cast<DWORD>(atoi(argv[++i]));
        else
            viewer = argv[i];
    }
    if (!viewer || strcmp(viewer, "outbound-sms") != 0) {
        fprintf(stderr, "usage: viewer_host [--refresh-ms N] [--settle-ms N] [--delete-wait-ms N] [--bench] "
                        "outbound-sms\n");
        return 2;
    }
    viewerProc = OutboundSmsQueueProc;

    appInstance = GetModuleHandleA(nullptr);
    InitModulePaths();
    PrepareConfiguration();
    UseSupportLibraryGsm7Decoder();
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    QueryPerformanceCounter(&openedAt);
    INT_PTR result = DialogBoxParamA(appInstance, "DIALOG_SMSQ", nullptr, bench ? BenchProc : viewerProc, 0);
    if (bench) {
        PROCESS_MEMORY_COUNTERS memory = {};
        memory.cb = sizeof memory;
        GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
        printf("viewer-ms %.1f\npeak-working-set-kb %lu\npeak-pagefile-kb %lu\n", benchMs,
               static_cast<unsigned long>(memory.PeakWorkingSetSize / 1024),
               static_cast<unsigned long>(memory.PeakPagefileUsage / 1024));
    }
    return static_cast<int>(result);
}
