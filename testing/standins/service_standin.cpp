// Stand-in for the gateway's service programs (TXTSVCNT.EXE / MMSVCNT.EXE), used by the tests
// of service installation and control. It is a real Win32 service that publishes the
// gateway's shared status block and obeys the stop-request byte the configuration program
// writes there. A test steers it through STANDIN.INI beside the executable and reads what it
// did from STANDIN.LOG in the same folder.
//
// The status block (4096 bytes) is published under "X" and "Global\X" while the service runs.
// Byte 0 is the stop-request byte: writing 1 into either copy asks the service to stop; the
// service clears it when it sees it, so a refused request can be made again.
//
// STANDIN.INI, section [<service name>]:
//   StartDelayMs=N    stay START_PENDING N ms before reporting RUNNING
//   StopDelayMs=N     stay STOP_PENDING N ms after a stop request
//   RefuseStop=1      ignore stop controls and the stop byte (re-read on every attempt)
//   FailStart=1       exit before reaching the service dispatcher, so StartService fails
//   FailStart=2       reach ServiceMain, then report STOPPED with ERROR_SERVICE_SPECIFIC_ERROR
//                     (1066) and service-specific code 42; under Wine StartService fails
//                     with 1053 as well, and the exit codes stay readable afterwards
//   WebPortInUse=1    set byte 2 of the status block
//   SmppPortInUse=1   set byte 4 of the status block
//   TestScenario=...  act as a small gateway on the test requests of its queue (see
//                     gateway_standin.cpp); without it the service only runs and stops
//
// STANDIN.LOG lines: "start <name>", "running <name>", "stop-control <name>",
// "stop-byte <name>", "refused-stop <name>", "stopped <name>", "fail-start <name>".

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "testing/standins/gateway_standin.h"

#if defined(QEL_STANDIN_SMS)
static const char kServiceName[] = "QelSMS";
static const char kBlockName[] = "QEL_SMSGW_ShMem";
static const char kGlobalBlockName[] = "Global\\QEL_SMSGW_ShMem";
#elif defined(QEL_STANDIN_MMSC)
static const char kServiceName[] = "QelMMSC";
static const char kBlockName[] = "QEL_MMSC_ShMem";
static const char kGlobalBlockName[] = "Global\\QEL_MMSC_ShMem";
#else
#error "define QEL_STANDIN_SMS or QEL_STANDIN_MMSC"
#endif

namespace {

const DWORD kBlockSize = 4096;
const size_t kStopRequestByte = 0;
const size_t kWebPortInUseByte = 2;
const size_t kSmppPortInUseByte = 4;
const DWORD kPollMs = 50;
const DWORD kPendingStepMs = 250;
const DWORD kFailStartSpecificCode = 42;

// Everything the service threads share; the control handler runs on the dispatcher thread,
// the rest on the ServiceMain thread.
struct StandinState {
    std::string dir; // the executable's folder, with a trailing backslash
    SERVICE_STATUS_HANDLE statusHandle = nullptr;
    SERVICE_STATUS status = {};
    CRITICAL_SECTION statusLock;
    HANDLE stopEvent = nullptr;
    HANDLE blocks[2] = {nullptr, nullptr};
    unsigned char* views[2] = {nullptr, nullptr};
};

StandinState g_state;

std::string ExecutableFolder()
{
    char path[MAX_PATH] = {};
    DWORD len = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, len);
    size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".\\") : folder.substr(0, slash + 1);
}

std::string IniPath()
{
    return g_state.dir + "STANDIN.INI";
}

DWORD IniNumber(const char* key)
{
    return GetPrivateProfileIntA(kServiceName, key, 0, IniPath().c_str());
}

// One line per event; the file is opened and closed each time so that tests can read it
// (and several stand-ins append to it) while the service runs.
void LogLine(const std::string& text)
{
    std::string line = text + "\r\n";
    std::string path = g_state.dir + "STANDIN.LOG";
    for (int attempt = 0; attempt < 20; ++attempt) {
        HANDLE file =
            CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
            CloseHandle(file);
            return;
        }
        Sleep(25);
    }
}

void LogEvent(const char* what)
{
    LogLine(std::string(what) + " " + kServiceName);
}

// The gateway thread, when STANDIN.INI names a scenario; null otherwise.
HANDLE StartGatewayIfAsked()
{
    GatewayStandinSetup setup;
#if defined(QEL_STANDIN_SMS)
    setup.sms = true;
#else
    setup.sms = false;
#endif
    setup.serviceName = kServiceName;
    setup.dir = g_state.dir;
    setup.stopEvent = g_state.stopEvent;
    setup.log = LogLine;
    return GatewayScenarioSet(setup) ? StartGatewayStandin(setup) : nullptr;
}

void ReportStatus(DWORD state, DWORD waitHint)
{
    EnterCriticalSection(&g_state.statusLock);
    g_state.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_state.status.dwCurrentState = state;
    g_state.status.dwControlsAccepted =
        (state == SERVICE_RUNNING) ? (SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN) : 0;
    g_state.status.dwWin32ExitCode = NO_ERROR;
    g_state.status.dwServiceSpecificExitCode = 0;
    g_state.status.dwWaitHint = waitHint;
    bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    g_state.status.dwCheckPoint = pending ? g_state.status.dwCheckPoint + 1 : 0;
    SetServiceStatus(g_state.statusHandle, &g_state.status);
    LeaveCriticalSection(&g_state.statusLock);
}

// A service that gives up in ServiceMain: STOPPED with a service-specific exit code, which
// QueryServiceStatus shows afterwards.
void ReportStoppedWithError()
{
    LogEvent("fail-start");
    EnterCriticalSection(&g_state.statusLock);
    g_state.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_state.status.dwCurrentState = SERVICE_STOPPED;
    g_state.status.dwControlsAccepted = 0;
    g_state.status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    g_state.status.dwServiceSpecificExitCode = kFailStartSpecificCode;
    g_state.status.dwCheckPoint = 0;
    g_state.status.dwWaitHint = 0;
    SetServiceStatus(g_state.statusHandle, &g_state.status);
    LeaveCriticalSection(&g_state.statusLock);
}

DWORD CurrentState()
{
    EnterCriticalSection(&g_state.statusLock);
    DWORD state = g_state.status.dwCurrentState;
    LeaveCriticalSection(&g_state.statusLock);
    return state;
}

// Stays in a pending state for delayMs, moving the checkpoint on so the wait is visible.
void StayPending(DWORD state, DWORD delayMs)
{
    DWORD started = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - started;
        if (elapsed >= delayMs)
            return;
        DWORD left = delayMs - elapsed;
        ReportStatus(state, left + 1000);
        Sleep(left < kPendingStepMs ? left : kPendingStepMs);
    }
}

// The block exists under both names: under Wine "Global\X" and "X" are separate objects, and
// the configuration program may look for either.
void PublishBlocks()
{
    const char* names[2] = {kBlockName, kGlobalBlockName};
    bool webInUse = IniNumber("WebPortInUse") != 0;
    bool smppInUse = IniNumber("SmppPortInUse") != 0;
    for (int i = 0; i < 2; ++i) {
        g_state.blocks[i] = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBlockSize, names[i]);
        if (!g_state.blocks[i])
            continue;
        g_state.views[i] =
            static_cast<unsigned char*>(MapViewOfFile(g_state.blocks[i], FILE_MAP_ALL_ACCESS, 0, 0, kBlockSize));
        if (!g_state.views[i])
            continue;
        std::memset(g_state.views[i], 0, kBlockSize);
        g_state.views[i][kWebPortInUseByte] = webInUse ? 1 : 0;
        g_state.views[i][kSmppPortInUseByte] = smppInUse ? 1 : 0;
    }
}

void WithdrawBlocks()
{
    for (int i = 0; i < 2; ++i) {
        if (g_state.views[i])
            UnmapViewOfFile(g_state.views[i]);
        if (g_state.blocks[i])
            CloseHandle(g_state.blocks[i]);
        g_state.views[i] = nullptr;
        g_state.blocks[i] = nullptr;
    }
}

// True when the stop-request byte is set in either block. A set byte is consumed (cleared)
// so that a refused request is logged once and a later write asks again.
bool TakeStopByte()
{
    bool seen = false;
    for (int i = 0; i < 2; ++i) {
        volatile unsigned char* view = g_state.views[i];
        if (view && view[kStopRequestByte] == 1) {
            seen = true;
            view[kStopRequestByte] = 0;
        }
    }
    return seen;
}

// Decides on a stop request from either source. RefuseStop is read afresh each time so a
// test can let the service go after proving it refused.
bool AcceptStop(const char* source)
{
    LogEvent(source);
    if (IniNumber("RefuseStop") != 0) {
        LogEvent("refused-stop");
        return false;
    }
    return true;
}

DWORD WINAPI ControlHandler(DWORD control, DWORD, void*, void*)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        if (CurrentState() != SERVICE_RUNNING)
            return NO_ERROR;
        if (!AcceptStop("stop-control"))
            return NO_ERROR;
        // Reported here, so ControlService already answers STOP_PENDING.
        ReportStatus(SERVICE_STOP_PENDING, IniNumber("StopDelayMs") + 1000);
        SetEvent(g_state.stopEvent);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        EnterCriticalSection(&g_state.statusLock);
        SetServiceStatus(g_state.statusHandle, &g_state.status);
        LeaveCriticalSection(&g_state.statusLock);
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, char**)
{
    g_state.statusHandle = RegisterServiceCtrlHandlerExA(kServiceName, ControlHandler, nullptr);
    if (!g_state.statusHandle)
        return;
    LogEvent("start");
    if (IniNumber("FailStart") == 2) {
        ReportStoppedWithError();
        return;
    }
    ReportStatus(SERVICE_START_PENDING, IniNumber("StartDelayMs") + 1000);
    PublishBlocks();
    StayPending(SERVICE_START_PENDING, IniNumber("StartDelayMs"));

    HANDLE gateway = StartGatewayIfAsked();
    LogEvent("running");
    ReportStatus(SERVICE_RUNNING, 0);

    for (;;) {
        if (WaitForSingleObject(g_state.stopEvent, kPollMs) == WAIT_OBJECT_0)
            break;
        if (TakeStopByte() && AcceptStop("stop-byte")) {
            ReportStatus(SERVICE_STOP_PENDING, IniNumber("StopDelayMs") + 1000);
            break;
        }
    }

    if (gateway) {
        SetEvent(g_state.stopEvent); // the stop byte ends the loop without it
        WaitForSingleObject(gateway, INFINITE);
        CloseHandle(gateway);
    }
    StayPending(SERVICE_STOP_PENDING, IniNumber("StopDelayMs"));
    WithdrawBlocks();
    LogEvent("stopped");
    ReportStatus(SERVICE_STOPPED, 0);
}

} // namespace

int main()
{
    g_state.dir = ExecutableFolder();
    // A service process that ends before it reaches the dispatcher makes StartService fail
    // at once: under Wine with ERROR_SERVICE_REQUEST_TIMEOUT (1053) after about 40 ms.
    if (IniNumber("FailStart") == 1) {
        LogEvent("fail-start");
        return 1;
    }
    InitializeCriticalSection(&g_state.statusLock);
    g_state.stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);

    char name[sizeof(kServiceName)];
    std::memcpy(name, kServiceName, sizeof(kServiceName));
    SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherA(table)) {
        DWORD error = GetLastError();
        std::fprintf(stderr, "%s stand-in: not started as a service (error %lu)\n", kServiceName,
                     static_cast<unsigned long>(error));
        return 1;
    }
    return 0;
}
