// Stand-in tapi32.dll for tests. Wine's own telephony DLL lists no lines, so a test copies this
// one beside the program (loaded through the override "tapi32=n,b") together with
// TAPISTANDIN.INI, which describes the lines it offers:
//
//   [Lines]
//   Count=2                 ; line devices 0 .. Count-1
//   Initialize=80000048     ; lineInitializeExA fails with this code (hex; missing = succeeds)
//   [Line0]
//   Name=Standard Modem     ; the line name in LINEDEVCAPS (default "Line N")
//   Media=data              ; data, voice or both ("data voice"); default data
//   PortName=COM7           ; what "comm/datamodem/portname" gives; missing = no port
//   Negotiate= DevCaps= Open= MakeCall= GetId=
//                           ; a LINEERR_ code in hex makes that call fail (GetId: both classes)
//   MakeCallFailures=1      ; only the first N calls of the process fail with MakeCall=
//   DevCapsSize=2000        ; a smaller LINEDEVCAPS buffer gets LINEERR_STRUCTURETOOSMALL
//   Reply=yes               ; the LINE_REPLY of lineMakeCallA: yes, no (never comes), or a
//                           ; LINEERR_ code in hex that the reply carries
//
// The file is read again at every lineInitializeExA (the lines only while no other application
// is initialized). Every call appends one line to TAPISTANDIN.LOG beside the DLL:
// "<function> <arguments> -> <result in hex> <outputs>", handles in decimal (hLineApp=, hLine=,
// hCall=), so a test can check that each handle was given back; lineMakeCallA also says what
// its reply will be (reply=success, failure or none).
//
// Calls behave as a modem line under TAPI: lineMakeCallA answers a request id, then its call
// goes connected (LINE_CALLSTATE) and the LINE_REPLY follows; lineDrop does the same with the
// idle state; lineDeallocateCall wants the call dropped first. "comm/datamodem" on a connected
// call opens "\\.\<PortName>" overlapped and hands the handle to the caller, who closes it.
// Messages reach only applications that chose LINEINITIALIZEEXOPTION_USEEVENT, through
// lineGetMessage; with the hidden-window option the callback is never called.

#include <windows.h>
#include <tapi.h>

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr DWORD kTapiVersion = 0x00030001;   // what lineInitializeExA reports
constexpr DWORD kLowestVersion = 0x00010003; // the range every line negotiates in
constexpr DWORD kHighestVersion = 0x00020002;

// The fixed parts of the structures grow with the API version; TAPI fills and asks for the
// part of the version negotiated.
DWORD FixedCapsSize(DWORD version)
{
    if (version >= 0x00020002)
        return offsetof(LINEDEVCAPS, dwAddressTypes);
    return version >= 0x00020000 ? offsetof(LINEDEVCAPS, PermanentLineGuid) : offsetof(LINEDEVCAPS, dwLineFeatures);
}

DWORD FixedCallParamsSize(DWORD version)
{
    return version >= 0x00020000 ? offsetof(LINECALLPARAMS, dwAddressType)
                                 : offsetof(LINECALLPARAMS, dwPredictiveAutoTransferStates);
}

struct LineConfig {
    std::string name;
    DWORD media = LINEMEDIAMODE_DATAMODEM;
    std::string portName;
    LONG negotiate = 0, devCaps = 0, open = 0, makeCall = 0, getId = 0;
    int makeCallFailures = -1; // how many calls fail with makeCall; -1: every one
    DWORD devCapsSize = 0;
    bool reply = true;
    LONG replyResult = 0;
};

struct App {
    HANDLE event = nullptr; // null: hidden-window mode, no messages
    std::deque<LINEMESSAGE> messages;
};
struct Line {
    DWORD app, device, version;
    DWORD_PTR callbackInstance;
};
enum class CallState { Dialing, Connected, Idle };
struct Call {
    DWORD line;
    CallState state;
};

HMODULE g_module;
CRITICAL_SECTION g_lock;
std::vector<LineConfig> g_config;
std::map<DWORD, App> g_apps;
std::map<DWORD, Line> g_lines;
std::map<DWORD, Call> g_calls;
std::map<DWORD, int> g_failedCalls; // per device, for the whole process
DWORD g_nextHandle = 1;
LONG g_nextRequest = 1;

struct Locked {
    Locked() { EnterCriticalSection(&g_lock); }
    ~Locked() { LeaveCriticalSection(&g_lock); }
};

std::string BesideModule(const char* name)
{
    char path[MAX_PATH] = {};
    std::string dir(path, GetModuleFileNameA(g_module, path, MAX_PATH));
    return dir.substr(0, dir.find_last_of("\\/") + 1) + name;
}

void Log(const char* format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(line, sizeof(line) - 2, format, args);
    va_end(args);
    if (length < 0 || length > static_cast<int>(sizeof(line) - 3))
        length = sizeof(line) - 3;
    memcpy(line + length, "\r\n", 2);
    std::string path = BesideModule("TAPISTANDIN.LOG");
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line, length + 2, &written, nullptr);
    CloseHandle(file);
}

std::string Profile(const std::string& ini, const std::string& section, const char* key)
{
    char value[2048] = {};
    GetPrivateProfileStringA(section.c_str(), key, "", value, sizeof(value), ini.c_str());
    return value;
}

// A LINEERR_ code written in hex, with or without "0x"; empty is 0 (success).
LONG ProfileCode(const std::string& ini, const std::string& section, const char* key)
{
    return static_cast<LONG>(strtoul(Profile(ini, section, key).c_str(), nullptr, 16));
}

LineConfig ReadLine(const std::string& ini, int index)
{
    std::string section = "Line" + std::to_string(index);
    LineConfig line;
    line.name = Profile(ini, section, "Name");
    if (line.name.empty())
        line.name = "Line " + std::to_string(index);
    std::string media = Profile(ini, section, "Media");
    if (!media.empty()) {
        line.media = (media.find("data") != std::string::npos ? LINEMEDIAMODE_DATAMODEM : 0) |
                     (media.find("voice") != std::string::npos ? LINEMEDIAMODE_INTERACTIVEVOICE : 0);
    }
    line.portName = Profile(ini, section, "PortName");
    line.negotiate = ProfileCode(ini, section, "Negotiate");
    line.devCaps = ProfileCode(ini, section, "DevCaps");
    line.open = ProfileCode(ini, section, "Open");
    line.makeCall = ProfileCode(ini, section, "MakeCall");
    line.makeCallFailures = GetPrivateProfileIntA(section.c_str(), "MakeCallFailures", -1, ini.c_str());
    line.getId = ProfileCode(ini, section, "GetId");
    line.devCapsSize = GetPrivateProfileIntA(section.c_str(), "DevCapsSize", 0, ini.c_str());
    std::string reply = Profile(ini, section, "Reply");
    line.reply = lstrcmpiA(reply.c_str(), "no") != 0;
    if (line.reply && !reply.empty() && lstrcmpiA(reply.c_str(), "yes") != 0)
        line.replyResult = ProfileCode(ini, section, "Reply");
    return line;
}

// Reads TAPISTANDIN.INI; returns the code lineInitializeExA is to fail with (0: none).
LONG LoadConfig()
{
    std::string ini = BesideModule("TAPISTANDIN.INI");
    if (g_apps.empty()) { // the lines of an application still initialized stay as they are
        g_config.clear();
        int count = GetPrivateProfileIntA("Lines", "Count", 0, ini.c_str());
        for (int i = 0; i < count && i < 64; ++i)
            g_config.push_back(ReadLine(ini, i));
    }
    return ProfileCode(ini, "Lines", "Initialize");
}

bool VersionInRange(DWORD version)
{
    return version >= kLowestVersion && version <= kHighestVersion;
}

LONG DeviceError(HLINEAPP app, DWORD device)
{
    if (!g_apps.count(app))
        return LINEERR_INVALAPPHANDLE;
    return device < g_config.size() ? 0 : LINEERR_BADDEVICEID;
}

void Post(DWORD app, DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3)
{
    auto found = g_apps.find(app);
    if (found == g_apps.end() || !found->second.event)
        return;
    found->second.messages.push_back(LINEMESSAGE{device, message, instance, p1, p2, p3});
    SetEvent(found->second.event); // stays signalled while messages wait
}

void PostCallState(DWORD call, CallState state)
{
    const Line& line = g_lines[g_calls[call].line];
    DWORD tapiState = state == CallState::Connected ? LINECALLSTATE_CONNECTED : LINECALLSTATE_IDLE;
    Post(line.app, call, LINE_CALLSTATE, line.callbackInstance, tapiState, 0, LINECALLPRIVILEGE_OWNER);
}

// Fills a VARSTRING as TAPI does: when the buffer is too small only the sizes are set.
LONG FillVarString(VARSTRING* out, DWORD format, const void* data, DWORD size)
{
    if (out->dwTotalSize < sizeof(VARSTRING))
        return LINEERR_STRUCTURETOOSMALL;
    out->dwNeededSize = sizeof(VARSTRING) + size;
    out->dwUsedSize = sizeof(VARSTRING);
    out->dwStringFormat = format;
    out->dwStringSize = out->dwStringOffset = 0;
    if (data && out->dwTotalSize >= out->dwNeededSize) {
        memcpy(reinterpret_cast<char*>(out) + sizeof(VARSTRING), data, size);
        out->dwStringSize = size;
        out->dwStringOffset = sizeof(VARSTRING);
        out->dwUsedSize = out->dwNeededSize;
    }
    return 0;
}

// "comm/datamodem": a new overlapped handle on the line's port, followed by the device name.
LONG GetPortHandle(const LineConfig& config, VARSTRING* out, std::string& detail)
{
    std::string data(sizeof(HANDLE), '\0');
    data += config.name;
    data += '\0';
    DWORD size = static_cast<DWORD>(data.size());
    if (out->dwTotalSize < sizeof(VARSTRING) + size)
        return FillVarString(out, STRINGFORMAT_BINARY, nullptr, size);
    std::string device = "\\\\.\\" + config.portName;
    HANDLE port = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        detail = "error=" + std::to_string(GetLastError());
        return LINEERR_OPERATIONFAILED;
    }
    memcpy(&data[0], &port, sizeof(HANDLE));
    detail = device;
    return FillVarString(out, STRINGFORMAT_BINARY, data.data(), size);
}

LONG GetId(HLINE hLine, HCALL hCall, DWORD select, VARSTRING* out, const char* cls, std::string& detail)
{
    if (!out || !cls)
        return LINEERR_INVALPOINTER;
    const Call* call = nullptr;
    if (select == LINECALLSELECT_CALL) {
        auto found = g_calls.find(hCall);
        if (found == g_calls.end())
            return LINEERR_INVALCALLHANDLE;
        call = &found->second;
        hLine = call->line;
    } else if (select != LINECALLSELECT_LINE && select != LINECALLSELECT_ADDRESS) {
        return LINEERR_INVALCALLSELECT;
    }
    auto line = g_lines.find(hLine);
    if (line == g_lines.end())
        return LINEERR_INVALLINEHANDLE;
    const LineConfig& config = g_config[line->second.device];
    if (config.getId)
        return config.getId;
    bool portName = lstrcmpiA(cls, "comm/datamodem/portname") == 0;
    if ((!portName && lstrcmpiA(cls, "comm/datamodem") != 0) || config.portName.empty())
        return LINEERR_INVALDEVICECLASS;
    if (portName) {
        detail = config.portName;
        return FillVarString(out, STRINGFORMAT_ASCII, config.portName.c_str(),
                             static_cast<DWORD>(config.portName.size() + 1));
    }
    if (!call)
        return LINEERR_INVALCALLSELECT;
    if (call->state != CallState::Connected)
        return LINEERR_INVALCALLSTATE;
    return GetPortHandle(config, out, detail);
}

LONG GetDevCaps(DWORD device, DWORD version, LINEDEVCAPS* caps)
{
    if (!caps)
        return LINEERR_INVALPOINTER;
    const LineConfig& config = g_config[device];
    if (config.devCaps)
        return config.devCaps;
    if (!VersionInRange(version))
        return LINEERR_INCOMPATIBLEAPIVERSION;
    DWORD total = caps->dwTotalSize;
    DWORD fixed = FixedCapsSize(version);
    if (total < fixed || total < config.devCapsSize) {
        if (total >= 2 * sizeof(DWORD))
            caps->dwNeededSize = fixed > config.devCapsSize ? fixed : config.devCapsSize;
        return LINEERR_STRUCTURETOOSMALL;
    }
    memset(caps, 0, fixed);
    caps->dwTotalSize = total;
    DWORD nameSize = static_cast<DWORD>(config.name.size() + 1);
    caps->dwNeededSize = fixed + nameSize;
    caps->dwUsedSize = fixed;
    caps->dwPermanentLineID = device;
    caps->dwStringFormat = STRINGFORMAT_ASCII;
    caps->dwAddressModes = LINEADDRESSMODE_ADDRESSID;
    caps->dwNumAddresses = 1;
    caps->dwBearerModes = LINEBEARERMODE_VOICE | LINEBEARERMODE_PASSTHROUGH;
    caps->dwMaxRate = 115200;
    caps->dwMediaModes = config.media;
    caps->dwMaxNumActiveCalls = 1;
    caps->dwLineFeatures = LINEFEATURE_MAKECALL;
    if (total >= caps->dwNeededSize) {
        memcpy(reinterpret_cast<char*>(caps) + fixed, config.name.c_str(), nameSize);
        caps->dwLineNameSize = nameSize;
        caps->dwLineNameOffset = fixed;
        caps->dwUsedSize = caps->dwNeededSize;
    }
    return 0;
}

LONG MakeCall(HLINE hLine, HCALL* hCall, const LINECALLPARAMS* params)
{
    auto line = g_lines.find(hLine);
    if (line == g_lines.end())
        return LINEERR_INVALLINEHANDLE;
    if (!hCall)
        return LINEERR_INVALPOINTER;
    if (params && params->dwTotalSize < FixedCallParamsSize(line->second.version))
        return LINEERR_STRUCTURETOOSMALL;
    const LineConfig& config = g_config[line->second.device];
    int& failed = g_failedCalls[line->second.device];
    if (config.makeCall && (config.makeCallFailures < 0 || failed < config.makeCallFailures)) {
        ++failed;
        return config.makeCall;
    }
    DWORD media = params ? params->dwMediaMode : LINEMEDIAMODE_INTERACTIVEVOICE;
    if (!(media & config.media))
        return LINEERR_INVALMEDIAMODE;
    for (const auto& call : g_calls) {
        if (call.second.line == hLine && call.second.state != CallState::Idle)
            return LINEERR_CALLUNAVAIL;
    }
    DWORD handle = g_nextHandle++;
    g_calls[handle] = Call{hLine, CallState::Dialing};
    // TAPI fills the caller's handle when the request succeeds, with its reply: a failed or
    // missing reply leaves it as the caller set it.
    if (config.reply && config.replyResult == 0)
        *hCall = handle;
    LONG request = g_nextRequest++;
    if (config.reply && config.replyResult == 0) {
        g_calls[handle].state = CallState::Connected;
        PostCallState(handle, CallState::Connected); // a call state may come before the reply
    }
    if (config.reply)
        Post(line->second.app, 0, LINE_REPLY, 0, request, config.replyResult, 0);
    if (config.reply && config.replyResult != 0)
        g_calls.erase(handle); // a failed request leaves no call behind
    return request;
}

// Closing a line ends its calls, as TAPI does; returns the next line.
std::map<DWORD, Line>::iterator CloseLine(std::map<DWORD, Line>::iterator line)
{
    for (auto call = g_calls.begin(); call != g_calls.end();)
        call = call->second.line == line->first ? g_calls.erase(call) : std::next(call);
    return g_lines.erase(line);
}

} // namespace

extern "C" {

LONG WINAPI lineInitializeExA(LPHLINEAPP lphLineApp, HINSTANCE, LINECALLBACK lpfnCallback, LPCSTR, LPDWORD lpdwNumDevs,
                              LPDWORD lpdwAPIVersion, LPLINEINITIALIZEEXPARAMS params)
{
    Locked locked;
    bool useEvent = params && (params->dwOptions & 0xF) == LINEINITIALIZEEXOPTION_USEEVENT;
    const char* mode = useEvent ? "event" : "callback";
    LONG result = LoadConfig();
    if (!result && (!lphLineApp || !lpdwNumDevs || !lpdwAPIVersion || (!useEvent && !lpfnCallback)))
        result = LINEERR_INVALPOINTER;
    if (!result && params && params->dwTotalSize < sizeof(LINEINITIALIZEEXPARAMS))
        result = LINEERR_STRUCTURETOOSMALL;
    if (!result && params && (params->dwOptions & 0xF) == LINEINITIALIZEEXOPTION_USECOMPLETIONPORT)
        result = LINEERR_INVALPARAM; // not offered by the stand-in
    if (result) {
        Log("lineInitializeExA %s -> %lX", mode, result);
        return result;
    }
    DWORD handle = g_nextHandle++;
    // Manual reset: signalled while messages wait, reset when lineGetMessage takes the last.
    g_apps[handle].event = useEvent ? CreateEventA(nullptr, TRUE, FALSE, nullptr) : nullptr;
    *lphLineApp = handle;
    *lpdwNumDevs = static_cast<DWORD>(g_config.size());
    *lpdwAPIVersion = kTapiVersion;
    if (params) {
        params->dwNeededSize = params->dwUsedSize = sizeof(LINEINITIALIZEEXPARAMS);
        if (useEvent)
            params->Handles.hEvent = g_apps[handle].event;
    }
    Log("lineInitializeExA %s -> 0 hLineApp=%lu devices=%lu", mode, handle, *lpdwNumDevs);
    return 0;
}

LONG WINAPI lineShutdown(HLINEAPP hLineApp)
{
    Locked locked;
    auto app = g_apps.find(hLineApp);
    LONG result = app == g_apps.end() ? LINEERR_INVALAPPHANDLE : 0;
    if (!result) {
        for (auto line = g_lines.begin(); line != g_lines.end();)
            line = line->second.app == hLineApp ? CloseLine(line) : std::next(line);
        // The event stays open: a thread waiting in lineGetMessage wakes on it and finds no app.
        if (app->second.event)
            SetEvent(app->second.event);
        g_apps.erase(app);
    }
    Log("lineShutdown %lu -> %lX", hLineApp, result);
    return result;
}

LONG WINAPI lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion, DWORD dwAPIHighVersion,
                                    LPDWORD lpdwAPIVersion, LPLINEEXTENSIONID lpExtensionID)
{
    Locked locked;
    LONG result = DeviceError(hLineApp, dwDeviceID);
    if (!result && (!lpdwAPIVersion || !lpExtensionID))
        result = LINEERR_INVALPOINTER;
    else if (!result && g_config[dwDeviceID].negotiate)
        result = g_config[dwDeviceID].negotiate;
    else if (!result && (dwAPILowVersion > kHighestVersion || dwAPIHighVersion < kLowestVersion))
        result = LINEERR_INCOMPATIBLEAPIVERSION;
    char outputs[32] = "";
    if (!result) {
        *lpdwAPIVersion = dwAPIHighVersion < kHighestVersion ? dwAPIHighVersion : kHighestVersion;
        memset(lpExtensionID, 0, sizeof(*lpExtensionID));
        snprintf(outputs, sizeof(outputs), " version=%lX", *lpdwAPIVersion);
    }
    Log("lineNegotiateAPIVersion %lu -> %lX%s", dwDeviceID, result, outputs);
    return result;
}

LONG WINAPI lineGetDevCapsA(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD, LPLINEDEVCAPS lpLineDevCaps)
{
    Locked locked;
    LONG result = DeviceError(hLineApp, dwDeviceID);
    if (!result)
        result = GetDevCaps(dwDeviceID, dwAPIVersion, lpLineDevCaps);
    DWORD size = lpLineDevCaps ? lpLineDevCaps->dwTotalSize : 0;
    DWORD needed = lpLineDevCaps && size >= 2 * sizeof(DWORD) ? lpLineDevCaps->dwNeededSize : 0;
    Log("lineGetDevCapsA %lu size=%lu -> %lX needed=%lu", dwDeviceID, size, result, needed);
    return result;
}

LONG WINAPI lineOpenA(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion, DWORD,
                      DWORD_PTR dwCallbackInstance, DWORD dwPrivileges, DWORD dwMediaModes, LPLINECALLPARAMS const)
{
    Locked locked;
    LONG result = DeviceError(hLineApp, dwDeviceID);
    if (!result && !lphLine)
        result = LINEERR_INVALPOINTER;
    else if (!result && g_config[dwDeviceID].open)
        result = g_config[dwDeviceID].open;
    else if (!result && !VersionInRange(dwAPIVersion))
        result = LINEERR_INCOMPATIBLEAPIVERSION;
    else if (!result && (dwPrivileges & LINECALLPRIVILEGE_OWNER) && (dwMediaModes & ~g_config[dwDeviceID].media))
        result = LINEERR_INVALMEDIAMODE; // media modes only count for an owner
    char outputs[32] = "";
    if (!result) {
        *lphLine = g_nextHandle++;
        g_lines[*lphLine] = Line{hLineApp, dwDeviceID, dwAPIVersion, dwCallbackInstance};
        snprintf(outputs, sizeof(outputs), " hLine=%lu", *lphLine);
    }
    Log("lineOpenA %lu -> %lX%s", dwDeviceID, result, outputs);
    return result;
}

LONG WINAPI lineClose(HLINE hLine)
{
    Locked locked;
    auto line = g_lines.find(hLine);
    LONG result = line == g_lines.end() ? LINEERR_INVALLINEHANDLE : 0;
    if (!result)
        CloseLine(line);
    Log("lineClose %lu -> %lX", hLine, result);
    return result;
}

LONG WINAPI lineGetIDA(HLINE hLine, DWORD, HCALL hCall, DWORD dwSelect, LPVARSTRING lpDeviceID, LPCSTR lpszDeviceClass)
{
    Locked locked;
    std::string detail;
    LONG result = GetId(hLine, hCall, dwSelect, lpDeviceID, lpszDeviceClass, detail);
    bool onCall = dwSelect == LINECALLSELECT_CALL;
    Log("lineGetIDA %s %lu %s -> %lX%s%s", onCall ? "call" : "line", onCall ? hCall : hLine,
        lpszDeviceClass ? lpszDeviceClass : "(null)", result, detail.empty() ? "" : " ", detail.c_str());
    return result;
}

LONG WINAPI lineMakeCallA(HLINE hLine, LPHCALL lphCall, LPCSTR lpszDestAddress, DWORD, LPLINECALLPARAMS const params)
{
    Locked locked;
    LONG result = MakeCall(hLine, lphCall, params);
    char outcome[64] = "";
    if (result > 0) {
        const LineConfig& config = g_config[g_lines[hLine].device];
        snprintf(outcome, sizeof(outcome), " hCall=%lu reply=%s", *lphCall,
                 config.reply ? (config.replyResult ? "failure" : "success") : "none");
    }
    Log("lineMakeCallA %lu to=%s bearer=%lX media=%lX -> %lX%s", hLine, lpszDestAddress ? lpszDestAddress : "none",
        params ? params->dwBearerMode : 0, params ? params->dwMediaMode : 0, result, outcome);
    return result;
}

LONG WINAPI lineDrop(HCALL hCall, LPCSTR, DWORD)
{
    Locked locked;
    auto call = g_calls.find(hCall);
    LONG result = call == g_calls.end() ? LINEERR_INVALCALLHANDLE : 0;
    if (!result && call->second.state == CallState::Idle)
        result = LINEERR_INVALCALLSTATE;
    if (!result) {
        result = g_nextRequest++;
        call->second.state = CallState::Idle;
        PostCallState(hCall, CallState::Idle);
        Post(g_lines[call->second.line].app, 0, LINE_REPLY, 0, result, 0, 0);
    }
    Log("lineDrop %lu -> %lX", hCall, result);
    return result;
}

LONG WINAPI lineDeallocateCall(HCALL hCall)
{
    Locked locked;
    auto call = g_calls.find(hCall);
    LONG result = call == g_calls.end() ? LINEERR_INVALCALLHANDLE : 0;
    if (!result && call->second.state != CallState::Idle)
        result = LINEERR_INVALCALLSTATE; // the sole owner must drop the call first
    if (!result)
        g_calls.erase(call);
    Log("lineDeallocateCall %lu -> %lX", hCall, result);
    return result;
}

LONG WINAPI lineGetMessage(HLINEAPP hLineApp, LPLINEMESSAGE lpMessage, DWORD dwTimeout)
{
    HANDLE event = nullptr;
    {
        Locked locked;
        auto app = g_apps.find(hLineApp);
        if (app != g_apps.end())
            event = app->second.event;
    }
    if (event && lpMessage)
        WaitForSingleObject(event, dwTimeout);
    Locked locked;
    auto app = g_apps.find(hLineApp);
    LONG result = 0;
    if (app == g_apps.end() || !app->second.event)
        result = LINEERR_INVALAPPHANDLE;
    else if (!lpMessage)
        result = LINEERR_INVALPOINTER;
    else if (app->second.messages.empty())
        result = LINEERR_OPERATIONFAILED;
    char text[128] = "";
    if (!result) {
        *lpMessage = app->second.messages.front();
        app->second.messages.pop_front();
        if (app->second.messages.empty())
            ResetEvent(app->second.event);
        const LINEMESSAGE& m = *lpMessage;
        if (m.dwMessageID == LINE_REPLY)
            snprintf(text, sizeof(text), " LINE_REPLY request=%lu result=%lX", DWORD(m.dwParam1), DWORD(m.dwParam2));
        else
            snprintf(text, sizeof(text), " LINE_CALLSTATE hCall=%lu state=%lX", m.hDevice, DWORD(m.dwParam1));
    }
    Log("lineGetMessage %lu %lu -> %lX%s", hLineApp, dwTimeout, result, text);
    return result;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        InitializeCriticalSection(&g_lock);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

} // extern "C"
