// com_probe.exe: talks to a COM port the way the program's modem check does, so the tests
// can prove the modem simulator and Wine's serial port under it:
//
//   com_probe.exe PORT SPEED [--wait MS] COMMAND...
//
// Opens "PORT:" overlapped, reads the port's state with GetCommState, sets the speed with
// BuildCommDCB("baud=SPEED parity=N data=8 stop=1") + SetCommState, then for each COMMAND
// (escapes \r, \n, \xNN) writes it one character per WriteFile and reads until "\nOK",
// "\rOK", "ERROR" or "> " is in the answer or MS milliseconds (default 1000) pass. Prints
//   state: baud=<n> outx=<0|1>          (as read back after SetCommState)
//   answer: <escaped text>              (one line per command)
//   pending: <characters written>       (a write that did not end within MS; stops there)
// Exit code 0, 2 when a write stayed pending, 1 when the port cannot be opened, set or
// written.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Unescape(const char* text)
{
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (p[0] == '\\' && (p[1] == 'r' || p[1] == 'n')) {
            out += p[1] == 'r' ? '\r' : '\n';
            ++p;
        } else if (p[0] == '\\' && p[1] == 'x' && p[2] && p[3]) {
            const char hex[3] = {p[2], p[3], 0};
            out += static_cast<char>(std::strtol(hex, nullptr, 16));
            p += 3;
        } else {
            out += *p;
        }
    }
    return out;
}

std::string Escape(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        char hex[8];
        if (c == '\r' || c == '\n' || c == '\\') {
            out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : "\\\\";
        } else if (c < 0x20 || c > 0x7e) {
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

class Port {
public:
    explicit Port(HANDLE handle) : handle_(handle), event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Port()
    {
        CloseHandle(event_);
        CloseHandle(handle_);
    }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    // 0 when written; ERROR_IO_PENDING when still pending after waitMs (the write is then
    // cancelled); otherwise the error.
    DWORD WriteChar(char c, DWORD waitMs)
    {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = event_;
        DWORD done = 0;
        if (WriteFile(handle_, &c, 1, &done, &overlapped))
            return 0;
        if (GetLastError() != ERROR_IO_PENDING)
            return GetLastError();
        if (WaitForSingleObject(event_, waitMs) == WAIT_OBJECT_0)
            return GetOverlappedResult(handle_, &overlapped, &done, FALSE) ? 0 : GetLastError();
        CancelIo(handle_);
        GetOverlappedResult(handle_, &overlapped, &done, TRUE);
        return ERROR_IO_PENDING;
    }

    // Reads what is there within waitMs; a read left pending is cancelled and collected.
    std::string ReadSome(DWORD waitMs)
    {
        char buffer[512];
        OVERLAPPED overlapped = {};
        overlapped.hEvent = event_;
        DWORD done = 0;
        if (!ReadFile(handle_, buffer, sizeof buffer, &done, &overlapped)) {
            if (GetLastError() != ERROR_IO_PENDING)
                return std::string();
            if (WaitForSingleObject(event_, waitMs) != WAIT_OBJECT_0)
                CancelIo(handle_);
            if (!GetOverlappedResult(handle_, &overlapped, &done, TRUE))
                done = 0;
        }
        return std::string(buffer, done);
    }

private:
    HANDLE handle_;
    HANDLE event_;
};

bool Finished(const std::string& answer)
{
    return answer.find("\nOK") != std::string::npos || answer.find("\rOK") != std::string::npos ||
           answer.find("ERROR") != std::string::npos || answer.find("> ") != std::string::npos;
}

std::string Answer(Port& port, DWORD waitMs)
{
    std::string answer;
    const DWORD started = GetTickCount();
    while (!Finished(answer) && GetTickCount() - started < waitMs)
        answer += port.ReadSome(50);
    return answer;
}

bool SetSpeed(HANDLE handle, const char* speed)
{
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    char mode[80];
    std::snprintf(mode, sizeof mode, "baud=%s parity=N data=8 stop=1", speed);
    if (!GetCommState(handle, &dcb) || !BuildCommDCBA(mode, &dcb) || !SetCommState(handle, &dcb))
        return false;
    COMMTIMEOUTS timeouts = {MAXDWORD, 0, 0, 0, 0};
    SetCommTimeouts(handle, &timeouts);
    if (!GetCommState(handle, &dcb))
        return false;
    std::printf("state: baud=%lu outx=%u\n", static_cast<unsigned long>(dcb.BaudRate), dcb.fOutX ? 1u : 0u);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: com_probe PORT SPEED [--wait MS] COMMAND...\n");
        return 1;
    }
    const std::string name = std::string(argv[1]) + ":";
    HANDLE handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        std::printf("open failed: %lu\n", GetLastError());
        return 1;
    }
    Port port(handle);
    if (!SetSpeed(handle, argv[2])) {
        std::printf("setting the speed failed: %lu\n", GetLastError());
        return 1;
    }
    DWORD waitMs = 1000;
    int first = 3;
    if (argc > 4 && std::strcmp(argv[3], "--wait") == 0) {
        waitMs = std::strtoul(argv[4], nullptr, 10);
        first = 5;
    }
    for (int i = first; i < argc; ++i) {
        const std::string command = Unescape(argv[i]);
        for (size_t sent = 0; sent < command.size(); ++sent) {
            const DWORD error = port.WriteChar(command[sent], waitMs);
            if (error == ERROR_IO_PENDING) {
                std::printf("pending: %u\n", static_cast<unsigned>(sent));
                return 2;
            }
            if (error != 0) {
                std::printf("write failed: %lu\n", error);
                return 1;
            }
        }
        std::printf("answer: %s\n", Escape(Answer(port, waitMs)).c_str());
        std::fflush(stdout);
    }
    return 0;
}
