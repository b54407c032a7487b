#include "email/mail_dialogues.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/server_address.h"
#include "base/text.h"
#include "email/mail_replies.h"
#include "email/mail_text.h"

namespace {

const char kConnectFailed[] = "Connection failed for %s server - %s";
const char kConnectFailedTo[] = "Connection failed for %s server (%s)";
const char kLoginFailed[] = "%s login failed - Invalid username and/or password?";
const char kSmtpTlsFailed[] = "SSL Connection failed for SMTP server - %s %s)";
const char kTlsFailed[] = "SSL Connection failed for %s server - %s";
const char kSmtpNoGreeting[] = "Timeout Waiting for SMTP - %s";
const char kSmtpEhloNotSent[] = "Error sending SMTP EHLO command";
const char kSmtpEhloFailed[] = "Timeout Waiting for SMTP EHLO response - %s";
const char kTlsUnavailable[] = "SSL/TLS is not available (TLSLINK.DLL is missing or cannot start): the login to the %s "
                               "server %s was not tried, so that no password goes out unprotected.";
const char kBadCredentials[] = "The user name or password for the %s server contains a line break or NUL character: "
                               "the login was not tried.";
const char kClientName[] = "clienttest";

struct Protocol {
    const char* name;
    unsigned plainPort;
    unsigned tlsPort;
};

const Protocol kSmtp = {"SMTP", 25, 587};
const Protocol kPop3 = {"POP3", 110, 995};
const Protocol kImap = {"IMAP", 143, 993};

std::string Format(const char* pattern, const std::string& first, const std::string& second = std::string())
{
    std::vector<char> text(strlen(pattern) + first.size() + second.size() + 1);
    snprintf(text.data(), text.size(), pattern, first.c_str(), second.c_str());
    return text.data();
}

MailLoginResult Fail(MailSession& session, const std::string& message, const std::string& cause)
{
    session.trace.Cause(cause);
    session.trace.Note("message: " + message);
    return {false, message};
}

bool SendLine(MailSession& session, const std::string& line, const std::string& shown)
{
    bool sent = session.stream.Send(line + "\r\n");
    session.trace.Sent(shown, sent);
    return sent;
}

bool SendLine(MailSession& session, const std::string& line)
{
    return SendLine(session, line, line);
}

MailReply Traced(MailSession& session, MailReply reply)
{
    session.trace.Received(reply);
    return reply;
}

std::string WithoutBrackets(const std::string& host)
{
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        return host.substr(1, host.size() - 2);
    return host;
}

// The cause of a TLS failure from the library's text.
std::string TlsCause(const std::string& error)
{
    if (FindNoCase(error.data(), error.size(), "not trusted") < error.size())
        return "certificate not trusted";
    if (FindNoCase(error.data(), error.size(), "host name") < error.size())
        return "certificate does not name the server";
    return "TLS handshake failed";
}

// Checks what was typed, opens the socket and connects. Empty when connected (host then
// holds the name the certificate must carry), else the message for the box.
std::string Connect(MailSession& session, const MailLogin& login, const Protocol& protocol, std::string& host)
{
    if (HasLineBreakOrNul(login.user) || HasLineBreakOrNul(login.password)) {
        session.trace.Cause("the user name or password holds a line break");
        return Format(kBadCredentials, protocol.name);
    }
    if (!session.stream.Open()) {
        session.trace.Cause("no socket could be opened");
        return Format(kConnectFailed, protocol.name, login.server);
    }
    ServerAddress address;
    unsigned port = login.useTls ? protocol.tlsPort : protocol.plainPort;
    if (!ParseServerAddress(login.server, port, address)) {
        session.trace.Cause("the server address is not a host with an optional port");
        return Format(kConnectFailedTo, protocol.name, login.server);
    }
    session.trace.Note("connecting to " + address.host + " port " + std::to_string(address.port));
    if (!session.stream.Connect(address.host, address.port)) {
        session.trace.Cause("the server could not be reached");
        return Format(kConnectFailedTo, protocol.name, login.server);
    }
    session.trace.Note("connected");
    if (login.useTls && !session.stream.TlsUsable()) {
        session.trace.Cause("TLSLINK.DLL is missing or cannot start");
        return Format(kTlsUnavailable, protocol.name, login.server);
    }
    host = WithoutBrackets(address.host);
    return std::string();
}

bool StartTls(MailSession& session, const std::string& host, std::string& error)
{
    session.trace.Note("starting TLS");
    if (!session.stream.StartTls(host, error)) {
        session.trace.Note("TLS failed: " + error);
        session.trace.Cause(TlsCause(error));
        return false;
    }
    session.trace.Note("TLS started: " + session.stream.TlsDetails());
    return true;
}

// True when a line of an EHLO reply names the extension, with word among its parameters
// when word is given.
bool Offers(const std::string& ehloReply, const char* extension, const char* word = nullptr)
{
    size_t from = 0;
    while (from < ehloReply.size()) {
        size_t end = ehloReply.find('\n', from);
        if (end == std::string::npos)
            end = ehloReply.size();
        if (end - from > 4) {
            std::string line = AsciiUpper(ehloReply.substr(from + 4, end - from - 4));
            if (line.compare(0, strlen(extension), extension) == 0 &&
                (!word || line.find(word, strlen(extension)) != std::string::npos))
                return true;
        }
        from = end + 1;
    }
    return false;
}

std::string Hello(const MailLogin& login)
{
    return (login.user.empty() ? "HELO " : "EHLO ") + std::string(kClientName);
}

// The plain-text part before TLS: true when the server greeted, answered EHLO and agreed
// to STARTTLS, so that no second greeting comes after the handshake.
bool SmtpStartTlsDialogue(MailSession& session, const MailLogin& login)
{
    MailReply greeting = Traced(session, ReadSmtpReply(session.stream, session.clock, session.timing.greetingProbe));
    if (!greeting.good) {
        session.trace.Note("no greeting in plain text: TLS from the first byte");
        return false;
    }
    if (!SendLine(session, Hello(login)))
        return false;
    MailReply hello = Traced(session, ReadSmtpReply(session.stream, session.clock, session.timing.startTlsReply));
    if (!hello.good)
        return false;
    if (!Offers(hello.text, "STARTTLS"))
        session.trace.Cause("server offers no STARTTLS");
    if (!SendLine(session, "STARTTLS"))
        return false;
    MailReply agreed = Traced(session, ReadSmtpReply(session.stream, session.clock, session.timing.startTlsReply));
    if (!agreed.good)
        session.trace.Cause("server offers no STARTTLS");
    return agreed.good;
}

bool SmtpAuthLogin(MailSession& session, const MailLogin& login)
{
    const std::string steps[3] = {"AUTH LOGIN", Base64Encode(login.user), Base64Encode(login.password)};
    const char* causes[3] = {"server refused AUTH LOGIN", "server refused the user name",
                             "server refused the user name or password"};
    for (int i = 0; i < 3; ++i) {
        if (!SendLine(session, steps[i], i ? "****" : steps[i]))
            return false;
        MailReply reply = Traced(session, ReadSmtpReply(session.stream, session.clock, session.timing.smtpCommand));
        if (!reply.good) {
            session.trace.Cause(reply.complete ? causes[i] : "no answer from the server: " + reply.stop);
            return false;
        }
    }
    return true;
}

bool Pop3Command(MailSession& session, const std::string& line, const std::string& shown)
{
    if (!SendLine(session, line, shown))
        return false;
    return Traced(session, ReadPop3Line(session.stream, session.clock, session.timing.pop3Command)).good;
}

std::string NextTag(unsigned& imapTag)
{
    char tag[24];
    snprintf(tag, sizeof tag, "A%04u ", ++imapTag);
    return tag;
}

// Sends "LOGIN user password" under tag, waiting for the server's continuation before each
// literal; the tagged reply then says whether the login was accepted.
bool ImapSendLogin(MailSession& session, const MailLogin& login, const std::string& tag)
{
    std::vector<std::string> pieces = ImapLoginPieces(login.user, login.password);
    ImapArgument user = ImapString(login.user);
    session.trace.Sent(tag + "LOGIN " + (user.literal ? "{literal} " : user.text + " ") + "****", true);
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i) {
            MailReply go = Traced(session, ReadImapReply(session.stream, session.clock, session.timing, tag, true));
            if (!go.continued)
                return false;
        }
        if (!session.stream.Send((i ? "" : tag) + pieces[i] + "\r\n")) {
            session.trace.Note("send failed");
            return false;
        }
    }
    return true;
}

} // namespace

MailLoginResult SmtpLogin(MailSession& session, const MailLogin& login)
{
    std::string host;
    std::string message = Connect(session, login, kSmtp, host);
    if (!message.empty())
        return Fail(session, message, "");
    bool startTlsMode = false;
    if (login.useTls) {
        startTlsMode = SmtpStartTlsDialogue(session, login);
        std::string error;
        if (!StartTls(session, host, error))
            return Fail(session, Format(kSmtpTlsFailed, login.server, error), "");
    }
    if (!startTlsMode) {
        MailReply greeting = Traced(session, ReadSmtpReply(session.stream, session.clock, session.timing.greeting));
        if (!greeting.good)
            return Fail(session, Format(kSmtpNoGreeting, CutForMessage(greeting.text)), "the server sent no greeting");
    }
    if (!SendLine(session, Hello(login)))
        return Fail(session, kSmtpEhloNotSent, "the connection broke");
    MailReply hello = Traced(session, ReadSmtpReply(session.stream, session.clock, session.timing.smtpCommand));
    if (!hello.good)
        return Fail(session, Format(kSmtpEhloFailed, CutForMessage(hello.text)), "the server did not accept EHLO");
    if (!login.user.empty()) {
        if (!Offers(hello.text, "AUTH", "LOGIN"))
            session.trace.Cause("AUTH LOGIN not offered");
        if (!SmtpAuthLogin(session, login))
            return Fail(session, Format(kLoginFailed, kSmtp.name), "");
    }
    SendLine(session, "QUIT");
    Traced(session, ReadSmtpReply(session.stream, session.clock, session.timing.smtpQuit));
    session.trace.Note("login test passed");
    return {true, std::string()};
}

MailLoginResult Pop3Login(MailSession& session, const MailLogin& login)
{
    std::string host;
    std::string message = Connect(session, login, kPop3, host);
    if (!message.empty())
        return Fail(session, message, "");
    bool greeted = false;
    if (login.useTls) {
        MailReply greeting = Traced(session, ReadPop3Line(session.stream, session.clock, session.timing.greetingProbe));
        if (greeting.complete && SendLine(session, "STLS")) {
            MailReply agreed =
                Traced(session, ReadPop3Line(session.stream, session.clock, session.timing.startTlsReply));
            greeted = agreed.complete;
            if (!agreed.good)
                session.trace.Cause("server offers no STARTTLS");
        } else if (!greeting.complete) {
            session.trace.Note("no greeting in plain text: TLS from the first byte");
        }
        std::string error;
        if (!StartTls(session, host, error))
            return Fail(session, Format(kTlsFailed, kPop3.name, error), "");
    }
    if (!greeted) {
        MailReply greeting = Traced(session, ReadPop3Line(session.stream, session.clock, session.timing.greeting));
        greeted = greeting.complete;
        if (!greeted)
            return Fail(session, Format(kLoginFailed, kPop3.name), "the server sent no greeting");
    }
    if (!Pop3Command(session, "USER " + login.user, "USER " + login.user))
        return Fail(session, Format(kLoginFailed, kPop3.name), "server refused the user name");
    if (!Pop3Command(session, "PASS " + login.password, "PASS ****"))
        return Fail(session, Format(kLoginFailed, kPop3.name), "server refused the user name or password");
    SendLine(session, "QUIT");
    Traced(session, ReadPop3Line(session.stream, session.clock, session.timing.pop3Command));
    session.trace.Note("login test passed");
    return {true, std::string()};
}

MailLoginResult ImapLogin(MailSession& session, const MailLogin& login, unsigned& imapTag)
{
    std::string host;
    std::string message = Connect(session, login, kImap, host);
    if (!message.empty())
        return Fail(session, message, "");
    if (login.useTls) {
        if (session.stream.WaitReadable(session.timing.greetingProbe) == MailStream::Wait::kReadable) {
            std::string tag = NextTag(imapTag);
            if (SendLine(session, tag + "STARTTLS")) {
                MailReply agreed = Traced(session, ReadImapReply(session.stream, session.clock, session.timing, tag));
                if (!agreed.good)
                    session.trace.Cause("server offers no STARTTLS");
            }
        } else {
            session.trace.Note("no greeting in plain text: TLS from the first byte");
        }
        std::string error;
        if (!StartTls(session, host, error))
            return Fail(session, Format(kTlsFailed, kImap.name, error), "");
    }
    std::string tag = NextTag(imapTag);
    if (!ImapSendLogin(session, login, tag))
        return Fail(session, Format(kLoginFailed, kImap.name), "the login command could not be sent");
    MailReply reply = Traced(session, ReadImapReply(session.stream, session.clock, session.timing, tag));
    if (!reply.good)
        return Fail(session, Format(kLoginFailed, kImap.name),
                    reply.complete ? "server refused the user name or password" : "no answer: " + reply.stop);
    tag = NextTag(imapTag);
    SendLine(session, tag + "LOGOUT");
    Traced(session, ReadImapReply(session.stream, session.clock, session.timing, tag));
    session.trace.Note("login test passed");
    return {true, std::string()};
}
