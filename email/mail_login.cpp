// The mail login tests on Win32: the dialogues of mail_dialogues over a socket from
// GWCORE.DLL and a TLS session from TLSLINK.DLL, the message box and MAILTRACE.LOG.
#include <winsock2.h>
#include <windows.h>

#include "email/mail_login.h"

#include <cstdio>
#include <functional>
#include <string>

#include "app/addon_libraries.h"
#include "app/config_files.h"
#include "app/message_box.h"
#include "app/wait_window.h"
#include "email/mail_dialogues.h"
#include "gateway/gwcore/gwcore.h"

namespace {

// Every IMAP command of the program's life has its own tag: A0001, A0002, ...
unsigned imapTag = 0;

class SocketStream final : public MailStream {
public:
    ~SocketStream() override
    {
        if (session_)
            tls_->sslFreeSession(session_);
        if (socket_ != INVALID_SOCKET)
            closesocket(socket_);
    }

    bool Open() override
    {
        socket_ = IPV6OpenSocket(0, 0);
        return socket_ != INVALID_SOCKET;
    }
    bool Connect(const std::string& host, unsigned port) override
    {
        return IPV6ConnectToINetServer(socket_, host.c_str(), static_cast<int>(port)) == 0;
    }
    bool TlsUsable() override
    {
        // Only a library that verifies the server certificate is used.
        tls_ = LoadTlsLink();
        return tls_ && tls_->sslInitSessionHost && tls_->sslInitLib();
    }
    void LimitWaits(unsigned long milliseconds) override
    {
        // The socket's own limits hold every blocking call the TLS library makes on it, and
        // the library bounds a whole handshake or record when it can be told.
        DWORD limit = milliseconds ? static_cast<DWORD>(milliseconds) : 1;
        setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
        setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
        if (tls_ && tls_->sslSetTimeout)
            tls_->sslSetTimeout(static_cast<unsigned>(limit));
    }
    bool StartTls(const std::string& host, std::string& error) override
    {
        char text[kTlsErrorTextSize] = "";
        session_ = tls_->sslInitSessionHost(socket_, host.c_str(), text);
        if (session_)
            return true;
        error = *text ? text : "the TLS session could not be started";
        return false;
    }
    std::string TlsDetails() override
    {
        return "certificate chain and host name verified by TLSLINK.DLL; the library does not report the "
               "protocol version, cipher or certificate subject";
    }

    bool Send(const std::string& data) override
    {
        int length = static_cast<int>(data.size());
        int sent = session_ ? tls_->sslSend(session_, data.data(), length) : send(socket_, data.data(), length, 0);
        return sent >= length;
    }
    Wait WaitReadable(unsigned long milliseconds) override
    {
        if (session_ && tls_->sslDataPending(session_) > 0)
            return Wait::kReadable;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket_, &readable);
        timeval limit = {static_cast<long>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000};
        int ready = select(0, &readable, nullptr, nullptr, &limit);
        return ready > 0 ? Wait::kReadable : ready == 0 ? Wait::kTimedOut : Wait::kFailed;
    }
    size_t Available() override
    {
        u_long count = 0;
        if (ioctlsocket(socket_, FIONREAD, &count) != 0)
            count = 0;
        if (session_) {
            if (!count) {
                int pending = tls_->sslDataPending(session_);
                count = pending > 0 ? static_cast<u_long>(pending) : 0;
            }
            if (count && count < 1024)
                count = 1024;
        }
        return count;
    }
    long Receive(char* buffer, size_t length) override
    {
        int wanted = static_cast<int>(length);
        return session_ ? tls_->sslRecv(session_, buffer, wanted) : recv(socket_, buffer, wanted, 0);
    }

private:
    SOCKET socket_ = INVALID_SOCKET;
    const TlsLink* tls_ = nullptr;
    TlsSession session_ = nullptr;
};

void WriteTrace(const char* test, const MailLogin& login, const MailTrace& trace)
{
    char path[MAX_PATH + 32];
    ProgramDataDirectory(path);
    strcat(path, "MAILTRACE.LOG");
    FILE* file = fopen(path, "wb");
    if (!file)
        return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    fprintf(file, "%s login test of %s, SSL/TLS %s, user %s, %04u-%02u-%02u %02u:%02u:%02u\r\n", test,
            login.server.c_str(), login.useTls ? "on" : "off", login.user.c_str(), now.wYear, now.wMonth, now.wDay,
            now.wHour, now.wMinute, now.wSecond);
    std::string text = trace.Text();
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
}

unsigned long TickNow()
{
    return static_cast<unsigned long>(GetTickCount());
}

// One login test as a job for a thread of its own.
struct LoginJob {
    std::function<MailLoginResult(MailSession&, const MailLogin&)> dialogue;
    const MailLogin& login;
    MailTrace& trace;
    MailLoginResult result;
};

DWORD WINAPI RunLoginJob(void* argument)
{
    LoginJob& job = *static_cast<LoginJob*>(argument);
    SocketStream stream;
    MailSession session{stream, TickNow, MailLoginTiming(), job.trace};
    job.result = job.dialogue(session, job.login);
    return 0;
}

// Runs the job on a thread of its own and keeps this thread's windows painted until it
// ends. The owner's window is disabled meanwhile, so that no second test can start, and
// the wait window says what runs.
void RunKeepingWindowsPainted(HWND owner, const char* test, LoginJob& job)
{
    HANDLE thread = CreateThread(nullptr, 0, RunLoginJob, &job, 0, nullptr);
    if (!thread) {
        RunLoginJob(&job);
        return;
    }
    HWND top = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
    bool reenable = top && !EnableWindow(top, FALSE);
    std::string text = std::string(test) + " login test in progress.\r\n\r\nPlease be patient...";
    HWND wait = owner ? OpenWaitWindow("Test in Progress", text.c_str()) : nullptr;
    int quit = -1;
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = static_cast<int>(message.wParam);
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    CloseHandle(thread);
    CloseWaitWindow(wait);
    if (reenable) {
        EnableWindow(top, TRUE);
        SetForegroundWindow(top);
    }
    if (quit >= 0)
        PostQuitMessage(quit);
}

template <class Dialogue>
bool RunLoginTest(const char* test, HWND owner, const char* server, bool useTls, const char* userName,
                  const char* password, Dialogue dialogue)
{
    MailLogin login{server ? server : "", useTls, userName ? userName : "", password ? password : ""};
    MailTrace trace(TickNow);
    LoginJob job{dialogue, login, trace, MailLoginResult()};
    RunKeepingWindowsPainted(owner, test, job);
    WriteTrace(test, login, trace);
    if (!job.result.ok && owner)
        ShowMessage(owner, job.result.message.c_str(), MB_OK | MB_ICONERROR);
    return job.result.ok;
}

} // namespace

MailTiming& MailLoginTiming()
{
    static MailTiming timing;
    return timing;
}

bool SmtpLoginTest(HWND owner, const char* server, bool useTls, const char* userName, const char* password)
{
    return RunLoginTest("SMTP", owner, server, useTls, userName, password, SmtpLogin);
}

bool ImapLoginTest(HWND owner, const char* server, bool useTls, const char* userName, const char* password)
{
    // The tag counter is only touched by the one test that runs at a time.
    return RunLoginTest(
        "IMAP", owner, server, useTls, userName, password,
        [](MailSession& session, const MailLogin& login) { return ImapLogin(session, login, imapTag); });
}

bool Pop3LoginTest(HWND owner, const char* server, bool useTls, const char* userName, const char* password)
{
    return RunLoginTest("POP3", owner, server, useTls, userName, password, Pop3Login);
}
