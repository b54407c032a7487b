// Runs the program's mail login tests on their own, for the end-to-end tests:
//   mail_login_host.exe [--owner] [--fast] TEST SERVER tls|plain USER PASSWORD [TEST ...]
// TEST is smtp, imap or pop3; each test runs in turn in one process (IMAP tags keep
// counting) and prints "result 1 MS KIB" or "result 0 MS KIB": the result, the time the
// test took and how much the process's peak working set grew during it. --owner gives the tests a visible owner
// window, so that failures show their message box; --fast shortens the waits (1 s for the
// plain-text greeting before TLS, 5 s for a handshake and most replies). The exit code is
// the number of failed tests.
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>

#include "email/mail_login.h"
#include "email/mail_stream.h"

namespace {

void Shorten(MailTiming& timing)
{
    timing.greetingProbe = 1;
    timing.startTlsReply = 5;
    timing.handshake = 5;
    timing.send = 5;
    timing.greeting = 5;
    timing.smtpCommand = 5;
    timing.smtpQuit = 2;
    timing.pop3Command = 5;
    timing.imapSelect = 1;
    timing.imapIdle = 5;
    timing.imapTotal = 30;
}

bool RunOne(HWND owner, const char* test, const char* server, bool useTls, const char* user, const char* password)
{
    if (!strcmp(test, "smtp"))
        return SmtpLoginTest(owner, server, useTls, user, password);
    if (!strcmp(test, "imap"))
        return ImapLoginTest(owner, server, useTls, user, password);
    if (!strcmp(test, "pop3"))
        return Pop3LoginTest(owner, server, useTls, user, password);
    fprintf(stderr, "unknown test %s\n", test);
    return false;
}

size_t PeakKiB()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize / 1024;
}

} // namespace

int main(int argc, char** argv)
{
    int next = 1;
    bool withOwner = false;
    for (; next < argc && !strncmp(argv[next], "--", 2); ++next) {
        if (!strcmp(argv[next], "--owner"))
            withOwner = true;
        else if (!strcmp(argv[next], "--fast"))
            Shorten(MailLoginTiming());
    }
    if (next >= argc || (argc - next) % 5) {
        fprintf(stderr, "usage: mail_login_host [--owner] [--fast] TEST SERVER tls|plain USER PASSWORD ...\n");
        return 100;
    }
    WSADATA winsock;
    WSAStartup(MAKEWORD(1, 1), &winsock);
    HWND owner = withOwner ? CreateWindowA("STATIC", "mail login host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300,
                                           100, nullptr, nullptr, nullptr, nullptr)
                           : nullptr;
    int failed = 0;
    for (; next + 5 <= argc; next += 5) {
        size_t peak = PeakKiB();
        DWORD started = GetTickCount();
        bool ok =
            RunOne(owner, argv[next], argv[next + 1], !strcmp(argv[next + 2], "tls"), argv[next + 3], argv[next + 4]);
        printf("result %d %lu %lu\n", ok ? 1 : 0, static_cast<unsigned long>(GetTickCount() - started),
               static_cast<unsigned long>(PeakKiB() - peak));
        fflush(stdout);
        failed += ok ? 0 : 1;
    }
    if (owner)
        DestroyWindow(owner);
    WSACleanup();
    return failed;
}
