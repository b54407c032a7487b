#include "modem/modem_test.h"

#include <mmsystem.h>

#include <memory>
#include <string>

#include "app/config_files.h"
#include "app/message_box.h"
#include "app/wait_cursor.h"
#include "modem/modem_trace.h"
#include "modem/serial_port.h"
#include "modem/telephony.h"

namespace {

const char kTraceFile[] = "MODEMTRACE.LOG";

// The test's surroundings on the window thread: real sleeps, message boxes with the
// cursor restored while they show, and every message noted in the trace.
class WindowHost final : public ModemHost {
public:
    WindowHost(HWND owner, ModemTrace& trace) : owner_(owner), trace_(trace) {}

    void Sleep(unsigned milliseconds) override
    {
        trace_.Note("sleep " + std::to_string(milliseconds) + " ms");
        ::Sleep(milliseconds);
    }

    void Show(const std::string& text, MessageIcon icon, bool owned) override
    {
        trace_.Note("message: " + text);
        UINT flags = MB_OK;
        if (icon == MessageIcon::Information)
            flags |= MB_ICONINFORMATION;
        else if (icon == MessageIcon::Error)
            flags |= MB_ICONERROR;
        HCURSOR busy = SetCursor(LoadCursor(nullptr, IDC_ARROW));
        // Every box of the test belongs to the window that started it, so that window stays
        // disabled while the box shows; the boxes of opening the modem also come to the front.
        if (owner_)
            ShowMessage(owner_, text.c_str(), owned ? flags : flags | MB_SETFOREGROUND);
        else
            ShowServiceMessage(text.c_str(), flags);
        SetCursor(busy);
    }

private:
    HWND owner_;
    ModemTrace& trace_;
};

void SaveTrace(const ModemTrace& trace)
{
    char path[MAX_PATH];
    ProgramDataDirectory(path);
    std::string file = std::string(path) + kTraceFile;
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(handle, trace.Text().data(), static_cast<DWORD>(trace.Text().size()), &written, nullptr);
    CloseHandle(handle);
}

} // namespace

int TestModem(HWND owner, const char* modemName, const char* pin)
{
    ModemTrace trace([] { return static_cast<unsigned long>(timeGetTime()); });
    trace.Note(std::string("modem test of ") + modemName);
    WindowHost host(owner, trace);
    ComPorts comPorts;
    TracedPorts ports(comPorts, trace);
    TelephonyCall call;

    std::unique_ptr<AtPort> port;
    {
        WaitCursor busy;
        port = OpenModem(ports, host, modemName, pin, call);
    }
    int result = 0;
    if (!port) {
        host.Show(kModemNotAccessible, MessageIcon::Error, true);
    } else {
        if (call.app)
            port.reset(new TracedPort(std::move(port), trace)); // telephony ports are not opened by name
        WaitCursor busy;
        result = RunSmsCapabilityTest(*port, host, pin);
    }
    // The call is ended before its port is closed, and telephony is shut down last.
    call.EndCall();
    port.reset();
    call.Shutdown();
    trace.Note(result ? "passed" : "failed");
    SaveTrace(trace);
    return result;
}
