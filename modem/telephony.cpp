#include "modem/telephony.h"

#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/message_box.h"
#include "base/text.h"
#include "modem/modem_discovery.h"
#include "modem/serial_port.h"

namespace {

constexpr size_t kFirstCapabilitiesSize = 1276;
constexpr size_t kCapabilitiesGrowth = 1024;
constexpr DWORD kDeviceIdSize = 2048;
constexpr DWORD kCallParamsSize = 176;
constexpr size_t kPortNameLimit = 99;
constexpr DWORD kReplyWaitMs = 30000;

// One attempt at opening a modem through telephony. Its failures are shown only when no
// COM port is left to fall back on, or on the second attempt.
struct Attempt {
    ModemHost& host;
    const std::string& modemName;
    bool retry;
    std::string portName;

    void Report(const std::string& text)
    {
        if (portName.empty() || retry)
            host.Show(text, MessageIcon::Error, false);
    }
    void ReportError(const char* function, LONG error)
    {
        char text[128];
        snprintf(text, sizeof text, "Unable to initialize modem:  Error %lX from %s", static_cast<unsigned long>(error),
                 function);
        Report(text);
    }
};

std::vector<char> DeviceIdBuffer()
{
    std::vector<char> buffer(kDeviceIdSize, 0);
    reinterpret_cast<VARSTRING*>(buffer.data())->dwTotalSize = kDeviceIdSize;
    return buffer;
}

// The string part of a device identifier, when it lies inside the buffer.
bool DeviceIdPart(const std::vector<char>& buffer, const char*& data, size_t& size)
{
    auto* id = reinterpret_cast<const VARSTRING*>(buffer.data());
    if (id->dwStringOffset > buffer.size() || id->dwStringSize > buffer.size() - id->dwStringOffset)
        return false;
    data = buffer.data() + id->dwStringOffset;
    size = id->dwStringSize;
    return true;
}

std::string LinePortName(HLINE line)
{
    std::vector<char> id = DeviceIdBuffer();
    const char* data = nullptr;
    size_t size = 0;
    if (lineGetIDA(line, 0, 0, LINECALLSELECT_LINE, reinterpret_cast<VARSTRING*>(id.data()),
                   "comm/datamodem/portname") != 0 ||
        !DeviceIdPart(id, data, size))
        return {};
    return std::string(data, strnlen(data, size)).substr(0, kPortNameLimit);
}

// The port handle of the call's data connection, or INVALID_HANDLE_VALUE.
HANDLE CallPortHandle(TelephonyCall& call, Attempt& attempt)
{
    std::vector<char> id = DeviceIdBuffer();
    LONG result =
        lineGetIDA(0, 0, call.call, LINECALLSELECT_CALL, reinterpret_cast<VARSTRING*>(id.data()), "comm/datamodem");
    const char* data = nullptr;
    size_t size = 0;
    if (result == 0 && DeviceIdPart(id, data, size) && size >= sizeof(HANDLE)) {
        HANDLE handle;
        memcpy(&handle, data, sizeof handle);
        return handle;
    }
    if (call.call == 0)
        attempt.Report("Unable to initialize modem:  lineMakeCall failed to init modem");
    else
        attempt.ReportError("lineGetID", result);
    return INVALID_HANDLE_VALUE;
}

void WaitForCallReply(HLINEAPP app)
{
    const DWORD start = GetTickCount();
    LINEMESSAGE message = {};
    while (GetTickCount() - start < kReplyWaitMs) {
        if (lineGetMessage(app, &message, 5000) == 0 && message.dwMessageID == LINE_REPLY)
            return;
    }
}

// Opens the line, learns its port name and makes a pass-through data call. The call's
// port handle; otherwise INVALID_HANDLE_VALUE with the line given back.
HANDLE CallThroughLine(TelephonyCall& call, DWORD device, DWORD version, Attempt& attempt)
{
    LONG result = lineOpenA(call.app, device, &call.line, version, 0, 0, LINECALLPRIVILEGE_NONE,
                            LINEMEDIAMODE_DATAMODEM, nullptr);
    if (result != 0) {
        call.line = 0;
        attempt.ReportError("lineOpen", result);
        return INVALID_HANDLE_VALUE;
    }
    std::string portName = LinePortName(call.line);
    if (!portName.empty())
        attempt.portName = portName;
    if (attempt.portName.empty())
        FindModemPort(attempt.modemName, attempt.portName);
    attempt.portName = attempt.portName.substr(0, kPortNameLimit);

    std::vector<char> paramsBuffer(kCallParamsSize, 0);
    auto* params = reinterpret_cast<LINECALLPARAMS*>(paramsBuffer.data());
    params->dwTotalSize = kCallParamsSize;
    params->dwBearerMode = LINEBEARERMODE_PASSTHROUGH;
    params->dwMediaMode = LINEMEDIAMODE_DATAMODEM;
    HANDLE port = INVALID_HANDLE_VALUE;
    result = lineMakeCallA(call.line, &call.call, nullptr, 0, params);
    if (result < 0) {
        call.call = 0;
        attempt.ReportError("lineMakeCall", result);
    } else {
        WaitForCallReply(call.app);
        port = CallPortHandle(call, attempt);
    }
    if (port == INVALID_HANDLE_VALUE)
        call.EndCall();
    return port;
}

bool InitializeTelephony(TelephonyCall& call, DWORD& devices, ModemHost& host)
{
    LINEINITIALIZEEXPARAMS params = {};
    params.dwTotalSize = sizeof params;
    params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
    DWORD version = kTapiVersion;
    devices = 0;
    LONG result = lineInitializeExA(&call.app, appInstance, nullptr, kAppCaption, &devices, &version, &params);
    if (result == 0)
        return true;
    call.app = 0;
    char text[128];
    snprintf(text, sizeof text, "Unable to initialize TAPI:  Error %lX from lineInitialize",
             static_cast<unsigned long>(result));
    host.Show(text, MessageIcon::Error, false);
    return false;
}

// One pass over the telephony lines: the port of the first line of that name that gives a
// data call, or null with everything given back.
std::unique_ptr<AtPort> OpenByTelephony(TelephonyCall& call, DWORD devices, Attempt& attempt)
{
    FindModemPort(attempt.modemName, attempt.portName);
    attempt.portName = attempt.portName.substr(0, kPortNameLimit);
    std::vector<char> capabilities;
    for (DWORD device = 0; device < devices; ++device) {
        DWORD version = 0;
        LINEEXTENSIONID extension = {};
        if (lineNegotiateAPIVersion(call.app, device, kTapiLowestVersion, kTapiVersion, &version, &extension) != 0 ||
            !ReadLineCapabilities(call.app, device, version, capabilities))
            continue;
        auto* caps = reinterpret_cast<const LINEDEVCAPS*>(capabilities.data());
        if (!(caps->dwMediaModes & LINEMEDIAMODE_DATAMODEM) || !EqualsNoCase(LineName(capabilities), attempt.modemName))
            continue;
        HANDLE port = CallThroughLine(call, device, version, attempt);
        if (port != INVALID_HANDLE_VALUE)
            return std::unique_ptr<AtPort>(new SerialAtPort(port, true));
    }
    call.Shutdown();
    return nullptr;
}

} // namespace

bool ReadLineCapabilities(HLINEAPP app, DWORD device, DWORD version, std::vector<char>& buffer)
{
    buffer.assign(kFirstCapabilitiesSize, 0);
    for (int round = 0; round < 8; ++round) {
        auto* caps = reinterpret_cast<LINEDEVCAPS*>(buffer.data());
        caps->dwTotalSize = static_cast<DWORD>(buffer.size());
        LONG result = lineGetDevCapsA(app, device, version, 0, caps);
        size_t wanted;
        if (result == static_cast<LONG>(LINEERR_STRUCTURETOOSMALL))
            wanted = buffer.size() + kCapabilitiesGrowth;
        else if (result != 0)
            return false;
        else if (caps->dwNeededSize > caps->dwTotalSize)
            wanted = caps->dwNeededSize;
        else
            return true;
        buffer.assign(wanted, 0);
    }
    return false;
}

std::string LineName(const std::vector<char>& capabilities)
{
    auto* caps = reinterpret_cast<const LINEDEVCAPS*>(capabilities.data());
    size_t offset = caps->dwLineNameOffset, size = caps->dwLineNameSize;
    if (size == 0 || offset > capabilities.size() || size > capabilities.size() - offset)
        return {};
    const char* name = capabilities.data() + offset;
    return std::string(name, strnlen(name, size));
}

void TelephonyCall::EndCall()
{
    if (call) {
        lineDrop(call, nullptr, 0);
        WaitForLineReply(app, 5);
        lineDeallocateCall(call);
        call = 0;
    }
    if (line) {
        lineClose(line);
        line = 0;
    }
}

void TelephonyCall::Shutdown()
{
    if (app) {
        lineShutdown(app);
        app = 0;
    }
}

void WaitForLineReply(HLINEAPP app, unsigned seconds)
{
    const DWORD start = GetTickCount();
    LINEMESSAGE message = {};
    do {
        if (lineGetMessage(app, &message, seconds == 0 ? 0 : 1000) == 0 && message.dwMessageID == LINE_REPLY)
            return;
    } while (GetTickCount() - start < seconds * 1000);
}

std::unique_ptr<AtPort> OpenModem(SerialPorts& ports, ModemHost& host, const std::string& name, const std::string& pin,
                                  TelephonyCall& call)
{
    if (IsDirectPortName(name))
        return OpenDirectModem(ports, host, name, pin);
    Attempt attempt{host, name, false, {}};
    for (;;) {
        call = TelephonyCall();
        DWORD devices = 0;
        if (!InitializeTelephony(call, devices, host))
            return nullptr;
        std::unique_ptr<AtPort> port = OpenByTelephony(call, devices, attempt);
        if (port)
            return port;
        if (attempt.portName.empty() || attempt.retry || !ResetModemThroughPort(ports, host, attempt.portName, pin))
            return nullptr;
        attempt.retry = true;
    }
}
