// Runs the program's modem test on its own, for tests and the modem benchmark:
//   modem_host.exe [--pin PIN] [--answer-boxes] MODEM          TestModem with no owner window
//   modem_host.exe --exchanges N PORT                           N times "AT" on a COM port
// The exit code is TestModem's result. --answer-boxes clicks OK on every message box at
// once and prints the time the test took and its processor time; --exchanges prints the
// wall and processor time of one AT exchange.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_state.h"
#include "app/config_files.h"
#include "app/message_box.h"
#include "modem/modem_test.h"
#include "modem/serial_port.h"

namespace {

volatile LONG boxesAnswered = 0;

double Now()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return now.QuadPart * 1000.0 / frequency.QuadPart;
}

double ProcessorMs()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& t) { return ((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000.0; };
    return ms(kernel) + ms(user);
}

BOOL CALLBACK AnswerBox(HWND window, LPARAM)
{
    char title[128] = "";
    GetWindowTextA(window, title, sizeof title);
    char cls[16] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (!strcmp(cls, "#32770") && !strcmp(title, kAppCaption) && IsWindowVisible(window)) {
        char text[600] = "";
        GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
        printf("box: %s\n", text);
        fflush(stdout);
        PostMessageA(window, WM_COMMAND, IDOK, 0);
        InterlockedIncrement(&boxesAnswered);
    }
    return TRUE;
}

DWORD WINAPI AnswerBoxes(void* thread)
{
    for (;;) {
        EnumThreadWindows(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(thread)), AnswerBox, 0);
        Sleep(5);
    }
}

int Exchanges(int count, const char* portName)
{
    ComPorts ports;
    OpenedPort opened = ports.Open(portName);
    if (opened.stage != OpenedPort::Ready) {
        fprintf(stderr, "cannot open %s\n", portName);
        return 2;
    }
    opened.port->SetSpeed(115200);
    opened.port->ApplyTimeouts(kOpeningTimeouts);
    opened.port->Send("ATE0V1\r");
    opened.port->Read(1);
    double wall = Now(), cpu = ProcessorMs();
    int ok = 0;
    for (int i = 0; i < count; ++i) {
        opened.port->Send("AT\r");
        ok += ResponseIsOK(opened.port->Read(5).text);
    }
    printf("exchanges %d\nok %d\nexchange-wall-ms %.3f\nexchange-cpu-ms %.3f\n", count, ok, (Now() - wall) / count,
           (ProcessorMs() - cpu) / count);
    return ok == count ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const char* pin = "";
    const char* modem = nullptr;
    bool answer = false;
    int exchanges = 0;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--pin") && i + 1 < argc)
            pin = argv[++i];
        else if (!strcmp(argv[i], "--answer-boxes"))
            answer = true;
        else if (!strcmp(argv[i], "--exchanges") && i + 1 < argc)
            exchanges = atoi(argv[++i]);
        else
            modem = argv[i];
    }
    if (!modem) {
        fprintf(stderr, "usage: modem_host [--pin PIN] [--answer-boxes] MODEM | --exchanges N PORT\n");
        return 2;
    }
    appInstance = GetModuleHandleA(nullptr);
    InitModulePaths();
    PrepareConfiguration();
    if (exchanges > 0)
        return Exchanges(exchanges, modem);
    if (answer) {
        void* self = reinterpret_cast<void*>(static_cast<UINT_PTR>(GetCurrentThreadId()));
        CloseHandle(CreateThread(nullptr, 0, AnswerBoxes, self, 0, nullptr));
    }
    double wall = Now(), cpu = ProcessorMs();
    int result = TestModem(nullptr, modem, pin);
    printf("result %d\ntest-ms %.0f\ntest-cpu-ms %.0f\nboxes %ld\n", result, Now() - wall, ProcessorMs() - cpu,
           static_cast<long>(boxesAnswered));
    return result;
}
