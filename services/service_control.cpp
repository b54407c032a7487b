#include "services/service_control.h"

#include <shellapi.h>

#include <cstdio>
#include <string>

#include "app/app_state.h"
#include "app/config_files.h"
#include "app/message_box.h"
#include "app/wait_cursor.h"
#include "base/verbs.h"
#include "services/service_rules.h"

namespace {

struct GatewayService {
    const char* name;
    const char* displayName;
    const char* binary;         // registered with the service control manager
    const char* firewallBinary; // handed to the firewall helper
};

const GatewayService kSmsService = {"QelSMS", "Qel SMS Gateway Lite Edition", "TXTSVCNT.EXE", "TXTSVC.EXE"};
const GatewayService kMmscService = {"QelMMSC", "Qel MMS Gateway Lite Edition", "MMSVCNT.EXE", "MMSVC.EXE"};

const char* const kSmsStatusBlocks[] = {"QEL_SMSGW_ShMem", "Global\\QEL_SMSGW_ShMem"};
const char* const kMmscStatusBlocks[] = {"QEL_MMSC_ShMem", "Global\\QEL_MMSC_ShMem"};

const char kElevationQuestion[] =
    "Administrator rights are required for service installation or modification.\r\n\r\n"
    "If you continue, Windows will ask you to confirm that you will allow this application to assume "
    "administrator rights to perform this task.\r\n\r\nDo you wish to continue?";
const char kInstallRightsMessage[] = "Administrator rights are required for service installation.";
const char kRemoveRightsMessage[] = "Administrator rights are required for service modification.";
const char kControlRightsMessage[] = "Administrator rights are required for service installation or modification.";
const char kNotNtMessage[] =
    "This product requires Windows 2000, XP, 2003, Vista or NT.\r\n(Windows 95, 98 and ME are not supported.)";

constexpr int kMaxRounds = 120;

bool LaunchElevated(const char* executable, const char* argument, HANDLE* process)
{
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = "runas";
    info.lpFile = executable;
    info.lpParameters = argument;
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&info))
        return false;
    *process = info.hProcess;
    return true;
}

// Closes a service control manager or service handle when it goes out of scope.
class ScHandle {
public:
    explicit ScHandle(SC_HANDLE handle = nullptr) : handle_(handle) {}
    ~ScHandle()
    {
        if (handle_)
            CloseServiceHandle(handle_);
    }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    explicit operator bool() const { return handle_ != nullptr; }
    void reset(SC_HANDLE handle)
    {
        if (handle_)
            CloseServiceHandle(handle_);
        handle_ = handle;
    }
    SC_HANDLE get() const { return handle_; }

private:
    SC_HANDLE handle_;
};

SC_HANDLE OpenManager(DWORD access)
{
    return ServicePlatformHooks().openManager(nullptr, nullptr, access);
}

SC_HANDLE OpenFullAccess(const ScHandle& manager, const GatewayService& service)
{
    return manager ? OpenServiceA(manager.get(), service.name, SERVICE_ALL_ACCESS) : nullptr;
}

// After OpenFullAccess failed: the manager answered that the service does not exist.
bool IsMissing(const ScHandle& manager)
{
    return manager && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
}

bool IsInstalled(const GatewayService& service)
{
    ScHandle manager(OpenManager(GENERIC_READ));
    if (!manager)
        return false;
    ScHandle handle(OpenServiceA(manager.get(), service.name, SERVICE_QUERY_STATUS));
    return static_cast<bool>(handle);
}

// Running, or on its way between running and stopped.
bool IsActiveState(SC_HANDLE service)
{
    SERVICE_STATUS status;
    if (!service || !QueryServiceStatus(service, &status))
        return false;
    return status.dwCurrentState == SERVICE_RUNNING || status.dwCurrentState == SERVICE_START_PENDING ||
           status.dwCurrentState == SERVICE_STOP_PENDING;
}

bool IsActive(const GatewayService& service)
{
    ScHandle manager(OpenManager(GENERIC_READ));
    if (!manager)
        return false;
    ScHandle handle(OpenServiceA(manager.get(), service.name, SERVICE_QUERY_STATUS));
    return IsActiveState(handle.get());
}

void SleepRound()
{
    Sleep(ServicePlatformHooks().roundMs);
}

// The platform's version; dwPlatformId is 0 when it cannot be read.
OSVERSIONINFOA PlatformVersion()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        version.dwPlatformId = 0;
    return version;
}

bool IsNtBased()
{
    return PlatformVersion().dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// Asks to re-launch the program elevated with one verb, and waits for it. True when the
// administrator consented, whether or not the platform then let the program run elevated.
bool OfferElevation(bool interactive, Verb verb)
{
    if (!interactive || !IsVistaOrLater())
        return false;
    if (!ConfirmElevation())
        return false;
    HANDLE process = nullptr;
    const ServicePlatform& platform = ServicePlatformHooks();
    if (platform.launchElevated(appPaths.modulePath, ElevationArgument(verb), &process) && process) {
        WaitForSingleObject(process, platform.elevatedWaitMs);
        CloseHandle(process);
    }
    return true;
}

void LaunchPlain(const char* executable, const char* argument, HANDLE* process)
{
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = executable;
    info.lpParameters = argument;
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExA(&info))
        *process = info.hProcess;
}

void RunFirewallHelper(const GatewayService& service)
{
    std::string helper = std::string(appPaths.moduleDirectory) + "FWRULES.EXE";
    if (!FileExists(helper.c_str()))
        return;
    std::string commandLine = FirewallHelperCommandLine(
        helper, std::string(appPaths.moduleDirectory) + service.firewallBinary, service.displayName);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(helper.c_str(), &commandLine[0], nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                       &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

std::string RegisteredBinaryPath(const GatewayService& service)
{
    std::string longPath = std::string(appPaths.moduleDirectory) + service.binary;
    char shortPath[MAX_PATH] = "";
    DWORD n = GetShortPathNameA(longPath.c_str(), shortPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        shortPath[0] = '\0';
    return ServiceBinaryPath(longPath, shortPath);
}

// Creates the service, or repairs the configuration of an existing one, and starts it.
bool InstallOne(const ScHandle& manager, const GatewayService& service)
{
    RunFirewallHelper(service);
    std::string binary = RegisteredBinaryPath(service);

    ScHandle handle(OpenServiceA(manager.get(), service.name, SERVICE_ALL_ACCESS));
    if (handle) {
        ChangeServiceConfigA(handle.get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                             binary.c_str(), "", nullptr, nullptr, nullptr, nullptr, service.displayName);
    } else {
        SC_HANDLE created = CreateServiceA(manager.get(), service.name, service.displayName, SERVICE_ALL_ACCESS,
                                           SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                           binary.c_str(), "", nullptr, nullptr, nullptr, nullptr);
        if (!created) {
            char message[200];
            snprintf(message, sizeof message,
                     "CreateService Failed, %lu\r\nAdministrator rights are required for service installation.",
                     GetLastError());
            ShowServiceMessage(message, MB_OK);
            return false;
        }
        handle.reset(created);
    }
    StartServiceA(handle.get(), 0, nullptr);
    return true;
}

// Stops and deletes one service; false when it could not be opened for that.
bool RemoveOne(const ScHandle& manager, const GatewayService& service, bool signalStopBlock, bool& missing)
{
    missing = false;
    ScHandle handle(OpenFullAccess(manager, service));
    if (!handle) {
        missing = IsMissing(manager);
        return false;
    }
    SERVICE_STATUS status;
    ControlService(handle.get(), SERVICE_CONTROL_STOP, &status);
    for (int round = 0; IsActive(service) && round < kMaxRounds; ++round) {
        if (signalStopBlock)
            RequestSmsServiceStop();
        SleepRound();
    }
    // A service that would not stop is deleted all the same: the platform completes the
    // deletion once it finally stops.
    DeleteService(handle.get());
    return true;
}

bool StartOne(const ScHandle& manager, const GatewayService& service)
{
    ScHandle handle(OpenFullAccess(manager, service));
    if (!handle)
        return false;
    if (!StartServiceA(handle.get(), 0, nullptr)) {
        DWORD error = GetLastError();
        if (error != ERROR_SERVICE_ALREADY_RUNNING) {
            char message[80];
            snprintf(message, sizeof message, "Error %lu starting service", error);
            ShowServiceMessage(message, MB_OK | MB_ICONERROR);
        }
    }
    return true;
}

enum class StopRequest { Sent, NotInstalled, Refused };

// Sends the stop control. A service that is not installed is nothing to stop; only one
// that exists and cannot be opened for it is a lack of rights.
StopRequest SendStop(const ScHandle& manager, const GatewayService& service)
{
    ScHandle handle(OpenFullAccess(manager, service));
    if (!handle)
        return IsMissing(manager) ? StopRequest::NotInstalled : StopRequest::Refused;
    SERVICE_STATUS status;
    ControlService(handle.get(), SERVICE_CONTROL_STOP, &status);
    return StopRequest::Sent;
}

void ShowControlRightsMessage()
{
    ShowServiceMessage(kControlRightsMessage, MB_OK | MB_TASKMODAL | MB_ICONERROR);
}

} // namespace

ServicePlatform& ServicePlatformHooks()
{
    static ServicePlatform platform = {OpenSCManagerA, LaunchElevated, 1000, 60000};
    return platform;
}

bool IsSmsServiceActive()
{
    return IsActive(kSmsService);
}
bool IsMmscServiceActive()
{
    return IsActive(kMmscService);
}
bool IsSmsServiceInstalled()
{
    return IsInstalled(kSmsService);
}
bool IsMmscServiceInstalled()
{
    return IsInstalled(kMmscService);
}

namespace {

// Opens one service to read its state; false for a manager that did not answer whether the
// service exists (a broken connection), which the caller then drops.
bool QueryOne(SC_HANDLE manager, const GatewayService& service, bool& installed, bool& active)
{
    ScHandle handle(OpenServiceA(manager, service.name, SERVICE_QUERY_STATUS));
    installed = static_cast<bool>(handle);
    active = IsActiveState(handle.get());
    return installed || GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
}

bool QueryBoth(SC_HANDLE manager, GatewayServiceStates& states)
{
    bool sms = QueryOne(manager, kSmsService, states.smsInstalled, states.smsActive);
    bool mmsc = QueryOne(manager, kMmscService, states.mmscInstalled, states.mmscActive);
    return sms && mmsc;
}

} // namespace

GatewayServiceStates GatewayServiceMonitor::Query()
{
    GatewayServiceStates states;
    if (!manager_)
        manager_ = OpenManager(GENERIC_READ);
    if (manager_ && !QueryBoth(manager_, states))
        Close();
    return states;
}

void GatewayServiceMonitor::Close()
{
    if (manager_)
        CloseServiceHandle(manager_);
    manager_ = nullptr;
}

bool HasServiceRights()
{
    ScHandle manager(OpenManager(SC_MANAGER_ALL_ACCESS));
    return static_cast<bool>(manager);
}

bool IsVistaOrLater()
{
    OSVERSIONINFOA version = PlatformVersion();
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 6;
}

namespace {

// Maps a service's status block for one access: the first name that opens. The program
// never creates a block; a block whose view cannot be mapped counts as unavailable.
template <typename Access>
bool WithStatusBlock(const char* const (&names)[2], Access access)
{
    for (const char* name : names) {
        HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
        if (!mapping)
            continue;
        void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
        if (view) {
            access(static_cast<volatile unsigned char*>(view));
            UnmapViewOfFile(view);
        }
        CloseHandle(mapping);
        return view != nullptr;
    }
    return false;
}

bool ReadPortFlags(const char* const (&names)[2], ServicePortFlags& flags)
{
    return WithStatusBlock(names, [&](volatile unsigned char* block) {
        flags.byte2 = block[2];
        flags.byte4 = block[4];
    });
}

} // namespace

void RequestSmsServiceStop()
{
    WithStatusBlock(kSmsStatusBlocks, [](volatile unsigned char* block) { block[0] = 1; });
}

bool ReadSmsServicePortFlags(ServicePortFlags& flags)
{
    return ReadPortFlags(kSmsStatusBlocks, flags);
}

bool ReadMmscServicePortFlags(ServicePortFlags& flags)
{
    return ReadPortFlags(kMmscStatusBlocks, flags);
}

bool InstallServices(bool interactive)
{
    ScHandle manager(OpenManager(SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        if (!IsNtBased()) {
            ShowServiceMessage(kNotNtMessage, MB_OK);
            return false;
        }
        if (OfferElevation(interactive, Verb::Install))
            return IsSmsServiceInstalled() && IsMmscServiceInstalled();
        ShowServiceMessage(kInstallRightsMessage, MB_OK);
        return false;
    }
    // A failure of the MMSC service leaves the SMS service installed.
    return InstallOne(manager, kSmsService) && InstallOne(manager, kMmscService);
}

bool RemoveServices(bool interactive)
{
    if (!IsSmsServiceInstalled())
        return true;

    ScHandle manager(OpenManager(SC_MANAGER_ALL_ACCESS));
    bool rightsMissing = !manager;
    bool result = false;
    bool missing = false;

    if (RemoveOne(manager, kSmsService, true, missing))
        result = true;
    else
        rightsMissing = true;

    // An MMSC service that is not installed is nothing to remove, not a lack of rights.
    if (RemoveOne(manager, kMmscService, false, missing))
        result = true;
    else if (!missing)
        rightsMissing = true;

    if (!rightsMissing)
        return result;
    if (OfferElevation(interactive, Verb::Remove))
        return !IsSmsServiceInstalled() && !IsMmscServiceInstalled();
    ShowServiceMessage(kRemoveRightsMessage, MB_OK);
    return result;
}

void StopServices(bool interactive)
{
    ScHandle manager(OpenManager(SC_MANAGER_ALL_ACCESS));
    StopRequest sms = SendStop(manager, kSmsService);
    if (sms == StopRequest::Sent)
        RequestSmsServiceStop();
    StopRequest mmsc = SendStop(manager, kMmscService);

    if (sms != StopRequest::Refused && mmsc != StopRequest::Refused) {
        for (int round = 0; (IsSmsServiceActive() || IsMmscServiceActive()) && round < kMaxRounds; ++round) {
            RequestSmsServiceStop();
            SleepRound();
        }
        return;
    }
    if (!OfferElevation(interactive, Verb::Stop))
        ShowControlRightsMessage();
}

void StartServices(bool interactive)
{
    ScHandle manager(OpenManager(SC_MANAGER_ALL_ACCESS));
    bool smsOpened = StartOne(manager, kSmsService);
    bool mmscOpened = StartOne(manager, kMmscService);

    if (smsOpened && mmscOpened) {
        // Only the SMS service is awaited; start-pending already counts as active.
        for (int round = 0; !IsSmsServiceActive() && round < kMaxRounds; ++round)
            SleepRound();
        return;
    }
    if (!OfferElevation(interactive, Verb::Start))
        ShowControlRightsMessage();
}

void RestartServices(bool interactive)
{
    bool permitted;
    {
        ScHandle manager(OpenManager(SC_MANAGER_ALL_ACCESS));
        ScHandle sms(OpenFullAccess(manager, kSmsService));
        permitted = static_cast<bool>(sms);
    }
    if (permitted) {
        WaitCursor busy;
        StopServices(interactive);
        Sleep(2 * ServicePlatformHooks().roundMs);
        StartServices(interactive);
        return;
    }
    if (!OfferElevation(interactive, Verb::Restart))
        ShowControlRightsMessage();
}

bool ConfirmElevation()
{
    return ShowMessage(nullptr, kElevationQuestion, MB_YESNOCANCEL | MB_SETFOREGROUND | MB_TASKMODAL) == IDYES;
}

HANDLE LaunchSelf(Verb verb)
{
    HANDLE process = nullptr;
    if (IsVistaOrLater())
        ServicePlatformHooks().launchElevated(appPaths.modulePath, ElevationArgument(verb), &process);
    else
        LaunchPlain(appPaths.modulePath, ElevationArgument(verb), &process);
    return process;
}
