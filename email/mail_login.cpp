// The mail login tests on Win32: the dialogues of mail_dialogues over a socket from
// GWCORE.DLL and a TLS session from TLSLINK.DLL, the message box and MAILTRACE.LOG.
#include <winsock2.h>
#include <windows.h>

#include "email/mail_login.h"

#include <cstdio>
#include <string>

#include "app/addon_libraries.h"
#include "app/config_files.h"
#include "app/message_box.h"
#include "email/mail_dialogues.h"
#include "gateway/gwcore/gwcore.h"

namespace {

// A client session that checks the certificate's names against host (TLSLINK.DLL's own
// export beside the table of app/addon_libraries).

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
    Wait WaitReadable(unsigned seconds) override
    {
        if (session_ && tls_->sslDataPending(session_) > 0)
            return Wait::kReadable;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket_, &readable);
        timeval limit = {static_cast<long>(seconds), 0};
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
    fwrite(trace.Text().data(), 1, trace.Text().size(), file);
    fclose(file);
}

template <class Dialogue>
bool RunLoginTest(const char* test, HWND owner, const char* server, bool useTls, const char* userName,
                  const char* password, Dialogue dialogue)
{
    MailLogin login{server ? server : "", useTls, userName ? userName : "", password ? password : ""};
    MailTrace trace([] { return static_cast<unsigned long>(GetTickCount()); });
    MailLoginResult result;
    {
        SocketStream stream;
        MailSession session{stream, [] { return static_cast<unsigned long>(GetTickCount()); }, MailLoginTiming(),
                            trace};
        result = dialogue(session, login);
    }
    WriteTrace(test, login, trace);
    if (!result.ok && owner)
        ShowMessage(owner, result.message.c_str(), MB_OK | MB_ICONERROR);
    return result.ok;
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
    return RunLoginTest(
        "IMAP", owner, server, useTls, userName, password,
        [](MailSession& session, const MailLogin& login) { return ImapLogin(session, login, imapTag); });
}

bool Pop3LoginTest(HWND owner, const char* server, bool useTls, const char* userName, const char* password)
{
    return RunLoginTest("POP3", owner, server, useTls, userName, password, Pop3Login);
}
