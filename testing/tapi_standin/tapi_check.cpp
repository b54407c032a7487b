// Walks through what the configuration program does with Windows telephony and prints what it
// got, one "name: value" line per step, for check_standin.py to compare:
//   tapi_check.exe [REPLY_WAIT_MS]
// It lists every line (version, capabilities with the growing buffer, open, port name), then
// calls on the first data line with a port, waits for the LINE_REPLY, takes the port handle
// ("comm/datamodem"), writes 'A' through it overlapped and reads one byte back, and gives every
// handle back. Exit code 0 when it got to the end, whatever the answers were.

#include <windows.h>
#include <tapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr DWORD kLowVersion = 0x00010003;
constexpr DWORD kHighVersion = 0x00020001;
constexpr DWORD kFirstCapsSize = 1276;

struct LineInfo {
    DWORD version = 0;
    DWORD media = 0;
    bool hasPort = false;
};

void CALLBACK IgnoreMessages(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

// LINEDEVCAPS as the program reads it: 1276 bytes first, more while TAPI asks for more.
void PrintCaps(HLINEAPP app, DWORD device, DWORD version, LineInfo& info)
{
    std::vector<char> buffer(kFirstCapsSize);
    LONG rc = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        auto* caps = reinterpret_cast<LINEDEVCAPS*>(buffer.data());
        caps->dwTotalSize = static_cast<DWORD>(buffer.size());
        rc = lineGetDevCapsA(app, device, version, 0, caps);
        DWORD needed = caps->dwNeededSize;
        if (rc == static_cast<LONG>(LINEERR_STRUCTURETOOSMALL) || (rc == 0 && needed > caps->dwTotalSize)) {
            buffer.assign(needed > buffer.size() ? needed : buffer.size() * 2, 0);
            continue;
        }
        break;
    }
    const auto* caps = reinterpret_cast<const LINEDEVCAPS*>(buffer.data());
    printf("caps %lu: %lX size=%u", device, rc, static_cast<unsigned>(buffer.size()));
    if (rc == 0) {
        const char* name = buffer.data() + caps->dwLineNameOffset;
        bool terminated = caps->dwLineNameSize > 0 && name[caps->dwLineNameSize - 1] == '\0';
        printf(" used=%lu format=%lu media=%lX name=%s", caps->dwUsedSize, caps->dwStringFormat, caps->dwMediaModes,
               terminated ? name : "(not terminated)");
        info.media = caps->dwMediaModes;
    }
    printf("\n");
}

void PrintPortName(HLINEAPP app, DWORD device, DWORD version, LineInfo& info)
{
    HLINE line = 0;
    LONG rc = lineOpenA(app, device, &line, version, 0, 0, LINECALLPRIVILEGE_NONE, LINEMEDIAMODE_DATAMODEM, nullptr);
    printf("open %lu: %lX\n", device, rc);
    if (rc != 0)
        return;
    std::vector<char> buffer(256);
    auto* id = reinterpret_cast<VARSTRING*>(buffer.data());
    id->dwTotalSize = static_cast<DWORD>(buffer.size());
    rc = lineGetIDA(line, 0, 0, LINECALLSELECT_LINE, id, "comm/datamodem/portname");
    printf("port %lu: %lX", device, rc);
    if (rc == 0 && id->dwStringSize > 0) {
        printf(" format=%lu name=%s", id->dwStringFormat, buffer.data() + id->dwStringOffset);
        info.hasPort = true;
    }
    printf("\n");
    lineClose(line);
}

// Waits for the LINE_REPLY of request; other messages are passed over. Returns its result,
// or 1 when none came in time.
LONG WaitForReply(HLINEAPP app, LONG request, DWORD wait)
{
    LINEMESSAGE message;
    while (lineGetMessage(app, &message, wait) == 0) {
        if (message.dwMessageID == LINE_REPLY && static_cast<LONG>(message.dwParam1) == request)
            return static_cast<LONG>(message.dwParam2);
        printf("message: %lu %lX\n", message.dwMessageID, static_cast<DWORD>(message.dwParam1));
    }
    return 1;
}

// One overlapped transfer of a byte, given 5 s at most; the bytes moved, or -1 when it failed.
long Transfer(HANDLE port, bool write, char* byte)
{
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD done = 0;
    BOOL ok = write ? WriteFile(port, byte, 1, nullptr, &ov) : ReadFile(port, byte, 1, nullptr, &ov);
    if (ok || GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(ov.hEvent, 5000) != WAIT_OBJECT_0)
            CancelIo(port);
        ok = GetOverlappedResult(port, &ov, &done, TRUE);
    }
    CloseHandle(ov.hEvent);
    return ok ? static_cast<long>(done) : -1;
}

// One byte out and one back through the handle TAPI gave, overlapped as the modem test does.
void ExchangeByte(HANDLE port)
{
    char out = 'A', in = '-';
    printf("write: %ld\n", Transfer(port, true, &out));
    long read = Transfer(port, false, &in);
    printf("read: %ld %c\n", read, read == 1 ? in : '-');
}

void TakePort(HCALL call)
{
    std::vector<char> buffer(sizeof(VARSTRING));
    auto* id = reinterpret_cast<VARSTRING*>(buffer.data());
    id->dwTotalSize = static_cast<DWORD>(buffer.size());
    LONG rc = lineGetIDA(0, 0, call, LINECALLSELECT_CALL, id, "comm/datamodem");
    DWORD needed = id->dwNeededSize;
    printf("datamodem needs: %lX %lu\n", rc, needed);
    if (rc != 0)
        return;
    buffer.assign(needed, 0);
    id = reinterpret_cast<VARSTRING*>(buffer.data());
    id->dwTotalSize = needed;
    rc = lineGetIDA(0, 0, call, LINECALLSELECT_CALL, id, "comm/datamodem");
    printf("datamodem: %lX", rc);
    if (rc != 0 || id->dwStringSize < sizeof(HANDLE)) {
        printf("\n");
        return;
    }
    HANDLE port;
    memcpy(&port, buffer.data() + id->dwStringOffset, sizeof(HANDLE));
    printf(" format=%lu name=%s\n", id->dwStringFormat, buffer.data() + id->dwStringOffset + sizeof(HANDLE));
    ExchangeByte(port);
    CloseHandle(port);
}

void Call(HLINEAPP app, HANDLE event, DWORD device, DWORD version, DWORD wait)
{
    HLINE line = 0;
    LONG rc = lineOpenA(app, device, &line, version, 0, 0, LINECALLPRIVILEGE_NONE, LINEMEDIAMODE_DATAMODEM, nullptr);
    if (rc != 0)
        return;
    std::vector<char> paramsBuffer(176);
    auto* params = reinterpret_cast<LINECALLPARAMS*>(paramsBuffer.data());
    params->dwTotalSize = static_cast<DWORD>(paramsBuffer.size());
    params->dwBearerMode = LINEBEARERMODE_PASSTHROUGH;
    params->dwMediaMode = LINEMEDIAMODE_DATAMODEM;
    HCALL call = 0;
    printf("event before call: %s\n", WaitForSingleObject(event, 0) == WAIT_OBJECT_0 ? "set" : "clear");
    LONG request = lineMakeCallA(line, &call, nullptr, 0, params);
    printf("make call %lu: %s\n", device, request > 0 ? "request" : "failed");
    if (request > 0) {
        printf("event after call: %s\n", WaitForSingleObject(event, 0) == WAIT_OBJECT_0 ? "set" : "clear");
        LONG reply = WaitForReply(app, request, wait);
        printf("reply: %lX\n", reply);
        printf("event after reply: %s\n", WaitForSingleObject(event, 0) == WAIT_OBJECT_0 ? "set" : "clear");
        if (reply == 0)
            TakePort(call);
        if (reply >= 0) { // a failed request leaves no call; one without an answer is dropped
            LONG drop = lineDrop(call, nullptr, 0);
            printf("drop: %s %lX\n", drop > 0 ? "request" : "failed", drop > 0 ? WaitForReply(app, drop, wait) : drop);
            printf("deallocate: %lX\n", lineDeallocateCall(call));
        }
    }
    printf("close: %lX\n", lineClose(line));
}

} // namespace

int main(int argc, char** argv)
{
    DWORD wait = argc > 1 ? strtoul(argv[1], nullptr, 10) : 2000;
    HLINEAPP app = 0;
    DWORD devices = 0, version = 0x00020001;
    LINEINITIALIZEEXPARAMS params = {sizeof(params), 0, 0, 0, {nullptr}, 0};
    LONG rc =
        lineInitializeExA(&app, GetModuleHandleA(nullptr), IgnoreMessages, "tapi_check", &devices, &version, &params);
    printf("callback init: %lX %lu\n", rc, devices);
    if (rc == 0)
        printf("callback shutdown: %lX\n", lineShutdown(app));

    params = {sizeof(params), 0, 0, LINEINITIALIZEEXOPTION_USEEVENT, {nullptr}, 0};
    devices = 0;
    version = 0x00020001;
    rc = lineInitializeExA(&app, GetModuleHandleA(nullptr), nullptr, "tapi_check", &devices, &version, &params);
    printf("init: %lX devices=%lu version=%lX event=%s\n", rc, devices, version, params.Handles.hEvent ? "yes" : "no");
    if (rc != 0)
        return 0;
    std::vector<LineInfo> lines(devices);
    for (DWORD device = 0; device < devices; ++device) {
        LINEEXTENSIONID extension;
        rc = lineNegotiateAPIVersion(app, device, kLowVersion, kHighVersion, &lines[device].version, &extension);
        printf("negotiate %lu: %lX %lX\n", device, rc, lines[device].version);
        if (rc != 0)
            continue;
        PrintCaps(app, device, lines[device].version, lines[device]);
        PrintPortName(app, device, lines[device].version, lines[device]);
    }
    for (DWORD device = 0; device < devices; ++device) {
        if ((lines[device].media & LINEMEDIAMODE_DATAMODEM) && lines[device].hasPort) {
            Call(app, params.Handles.hEvent, device, lines[device].version, wait);
            break;
        }
    }
    printf("shutdown: %lX\n", lineShutdown(app));
    return 0;
}
