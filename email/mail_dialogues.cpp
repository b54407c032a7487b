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
const char kWaitEnded[] = "Waiting for the %s from the %s server %s ended: %s.";
const char kStartTlsRefused[] = "the server refused %s: %s";
const char kStartTlsNotAgreed[] = "%s was not agreed";
// The test's clock and the TLS library's tick apart by up to this when both time a wait.
const unsigned long kClockSlack = 100;

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

// What the box adds when a wait for the server ended at its limit: which wait, which
// server, which limit.
std::string WaitEnded(const MailLogin& login, const Protocol& protocol, const std::string& what, const MailReply& reply)
{
    if (!reply.timedOut)
        return std::string();
    std::vector<char> text(sizeof kWaitEnded + what.size() + login.server.size() + reply.stop.size() + 16);
    snprintf(text.data(), text.size(), kWaitEnded, what.c_str(), protocol.name, login.server.c_str(),
             reply.stop.c_str());
    return std::string("\r\n\r\n") + text.data();
}

// The cause of a reply that did not come whole: "no answer to what: why".
std::string NoAnswer(const std::string& what, const MailReply& reply)
{
    return "no answer to " + what + ": " + reply.stop;
}

// The last line of a reply (the final or tagged one), without its line end.
std::string LastLine(const std::string& text)
{
    size_t end = text.find_last_not_of("\r\n");
    if (end == std::string::npos)
        return std::string();
    size_t start = text.rfind('\n', end);
    start = start == std::string::npos ? 0 : start + 1;
    return text.substr(start, end + 1 - start);
}

bool SendLine(MailSession& session, const std::string& line, const std::string& shown)
{
    session.stream.LimitWaits(session.timing.send * 1000UL);
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

// Starts TLS within the handshake's time: empty when it started, else the box text made
// by the caller's message from the library's reason.
std::string StartTls(MailSession& session, const MailLogin& login, const Protocol& protocol, const std::string& host,
                     std::string (*message)(const MailLogin&, const std::string&))
{
    session.trace.Note("starting TLS");
    const unsigned long limit = session.timing.handshake * 1000UL;
    const unsigned long started = session.clock();
    session.stream.LimitWaits(limit);
    std::string error;
    if (session.stream.StartTls(host, error)) {
        session.trace.Note("TLS started: " + session.stream.TlsDetails());
        return std::string();
    }
    session.trace.Note("TLS failed: " + error);
    MailReply handshake;
    handshake.timedOut = session.clock() - started + kClockSlack >= limit;
    handshake.stop = "no handshake in " + std::to_string(session.timing.handshake) + " s";
    session.trace.Cause(handshake.timedOut ? NoAnswer("the TLS handshake", handshake) : TlsCause(error));
    return message(login, error) + WaitEnded(login, protocol, "TLS handshake", handshake);
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

std::string SmtpTlsMessage(const MailLogin& login, const std::string& error)
{
    return Format(kSmtpTlsFailed, login.server, error);
}

std::string Pop3TlsMessage(const MailLogin&, const std::string& error)
{
    return Format(kTlsFailed, kPop3.name, error);
}

std::string ImapTlsMessage(const MailLogin&, const std::string& error)
{
    return Format(kTlsFailed, kImap.name, error);
}

using TlsMessage = std::string (*)(const MailLogin&, const std::string&);
const MailLoginResult kGoOn = {true, std::string()};

// The answer to STARTTLS (or STLS) before TLS: a server that refuses it, or does not answer
// in time, speaks no TLS on this connection, so the test ends here rather than start a
// handshake that cannot succeed.
MailLoginResult Agreed(MailSession& session, const MailLogin& login, const Protocol& protocol, const char* command,
                       const MailReply& reply, TlsMessage message)
{
    if (reply.good)
        return kGoOn;
    if (reply.complete)
        return Fail(session, message(login, Format(kStartTlsRefused, command, LastLine(reply.text))),
                    std::string("the server refused ") + command);
    return Fail(session,
                message(login, Format(kStartTlsNotAgreed, command)) +
                    WaitEnded(login, protocol, std::string("answer to ") + command, reply),
                NoAnswer(command, reply));
}

MailLoginResult SmtpNoGreeting(MailSession& session, const MailLogin& login, const MailReply& greeting)
{
    return Fail(session,
                Format(kSmtpNoGreeting, CutForMessage(greeting.text)) + WaitEnded(login, kSmtp, "greeting", greeting),
                greeting.complete ? "the server refused the session" : "no greeting: " + greeting.stop);
}

// The plain-text part before TLS. A server that sends nothing in plain text is taken to
// speak TLS from the first byte; one that greets must answer EHLO and agree to STARTTLS,
// and then sends no second greeting after the handshake (startTlsMode).
MailLoginResult SmtpBeforeTls(MailSession& session, const MailLogin& login, bool& startTlsMode)
{
    MailReply greeting = Traced(session, ReadSmtpReply(session.stream, session.clock, session.timing.greetingProbe));
    if (greeting.text.empty()) {
        session.trace.Note("no greeting in plain text: TLS from the first byte");
        return kGoOn;
    }
    if (!greeting.good)
        return SmtpNoGreeting(session, login, greeting);
    std::string hello = Hello(login);
    if (!SendLine(session, hello))
        return Fail(session, SmtpTlsMessage(login, Format(kStartTlsNotAgreed, "STARTTLS")), "the connection broke");
    MailReply helloReply = Traced(session, ReadSmtpReply(session.stream, session.clock, session.timing.startTlsReply));
    MailLoginResult result = Agreed(session, login, kSmtp, hello.substr(0, 4).c_str(), helloReply, SmtpTlsMessage);
    if (!result.ok)
        return result;
    if (!Offers(helloReply.text, "STARTTLS"))
        session.trace.Hint("server offers no STARTTLS");
    if (!SendLine(session, "STARTTLS"))
        return Fail(session, SmtpTlsMessage(login, Format(kStartTlsNotAgreed, "STARTTLS")), "the connection broke");
    MailReply agreed = Traced(session, ReadSmtpReply(session.stream, session.clock, session.timing.startTlsReply));
    result = Agreed(session, login, kSmtp, "STARTTLS", agreed, SmtpTlsMessage);
    startTlsMode = result.ok;
    return result;
}

// AUTH LOGIN, the user name and the password, each answered before the next goes out;
// false with the step's wait added to message when one failed.
bool SmtpAuthLogin(MailSession& session, const MailLogin& login, std::string& message)
{
    const std::string steps[3] = {"AUTH LOGIN", Base64Encode(login.user), Base64Encode(login.password)};
    const char* names[3] = {"AUTH LOGIN", "the user name", "the password"};
    const char* causes[3] = {"server refused AUTH LOGIN", "server refused the user name",
                             "server refused the user name or password"};
    for (int i = 0; i < 3; ++i) {
        if (!SendLine(session, steps[i], i ? "****" : steps[i])) {
            session.trace.Cause("the connection broke");
            return false;
        }
        MailReply reply = Traced(session, ReadSmtpReply(session.stream, session.clock, session.timing.smtpCommand));
        if (!reply.good) {
            session.trace.Cause(reply.complete ? causes[i] : NoAnswer(names[i], reply));
            message += WaitEnded(login, kSmtp, std::string("answer to ") + names[i], reply);
            return false;
        }
    }
    return true;
}

std::string NextTag(unsigned& imapTag)
{
    char tag[24];
    snprintf(tag, sizeof tag, "A%04u ", ++imapTag);
    return tag;
}

// Sends "LOGIN user password" under tag, waiting for the server's continuation before each
// literal; the tagged reply then says whether the login was accepted. False when a piece
// could not go out (refused: the answer that came instead of a continuation).
bool ImapSendLogin(MailSession& session, const MailLogin& login, const std::string& tag, MailReply& refused)
{
    std::vector<std::string> pieces = ImapLoginPieces(login.user, login.password);
    ImapArgument user = ImapString(login.user);
    session.trace.Sent(tag + "LOGIN " + (user.literal ? "{literal} " : user.text + " ") + "****", true);
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i) {
            refused = Traced(session, ReadImapReply(session.stream, session.clock, session.timing, tag, true));
            if (!refused.continued)
                return false;
        }
        session.stream.LimitWaits(session.timing.send * 1000UL);
        if (!session.stream.Send((i ? "" : tag) + pieces[i] + "\r\n")) {
            session.trace.Note("send failed");
            refused = MailReply();
            return false;
        }
    }
    return true;
}

// The POP3 command's answer must begin with "+OK".
MailLoginResult Pop3Command(MailSession& session, const MailLogin& login, const std::string& line,
                            const std::string& shown, const char* refusedCause)
{
    if (!SendLine(session, line, shown))
        return Fail(session, Format(kLoginFailed, kPop3.name), "the connection broke");
    MailReply reply = Traced(session, ReadPop3Line(session.stream, session.clock, session.timing.pop3Command));
    if (reply.good)
        return kGoOn;
    std::string command = line.substr(0, 4);
    return Fail(session, Format(kLoginFailed, kPop3.name) + WaitEnded(login, kPop3, "answer to " + command, reply),
                reply.complete ? refusedCause : NoAnswer(command, reply));
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
        MailLoginResult before = SmtpBeforeTls(session, login, startTlsMode);
        if (!before.ok)
            return before;
        message = StartTls(session, login, kSmtp, host, SmtpTlsMessage);
        if (!message.empty())
            return Fail(session, message, "");
    }
    if (!startTlsMode) {
        MailReply greeting = Traced(session, ReadSmtpReply(session.stream, session.clock, session.timing.greeting));
        if (!greeting.good)
            return SmtpNoGreeting(session, login, greeting);
    }
    std::string hello = Hello(login);
    if (!SendLine(session, hello))
        return Fail(session, kSmtpEhloNotSent, "the connection broke");
    MailReply helloReply = Traced(session, ReadSmtpReply(session.stream, session.clock, session.timing.smtpCommand));
    if (!helloReply.good)
        return Fail(session,
                    Format(kSmtpEhloFailed, CutForMessage(helloReply.text)) +
                        WaitEnded(login, kSmtp, "answer to " + hello.substr(0, 4), helloReply),
                    helloReply.complete ? "the server did not accept EHLO" : NoAnswer(hello.substr(0, 4), helloReply));
    if (!login.user.empty()) {
        if (!Offers(helloReply.text, "AUTH", "LOGIN"))
            session.trace.Hint("AUTH LOGIN not offered");
        message = Format(kLoginFailed, kSmtp.name);
        if (!SmtpAuthLogin(session, login, message))
            return Fail(session, message, "");
    }
    SendLine(session, "QUIT");
    Traced(session, ReadSmtpReply(session.stream, session.clock, session.timing.smtpQuit));
    session.trace.Note("login test passed");
    return kGoOn;
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
        if (greeting.complete) {
            if (!SendLine(session, "STLS"))
                return Fail(session, Pop3TlsMessage(login, Format(kStartTlsNotAgreed, "STLS")), "the connection broke");
            MailReply agreed =
                Traced(session, ReadPop3Line(session.stream, session.clock, session.timing.startTlsReply));
            MailLoginResult result = Agreed(session, login, kPop3, "STLS", agreed, Pop3TlsMessage);
            if (!result.ok)
                return result;
            greeted = true;
        } else if (!greeting.text.empty()) {
            return Fail(session, Format(kLoginFailed, kPop3.name) + WaitEnded(login, kPop3, "greeting", greeting),
                        "no greeting: " + greeting.stop);
        } else {
            session.trace.Note("no greeting in plain text: TLS from the first byte");
        }
        message = StartTls(session, login, kPop3, host, Pop3TlsMessage);
        if (!message.empty())
            return Fail(session, message, "");
    }
    if (!greeted) {
        MailReply greeting = Traced(session, ReadPop3Line(session.stream, session.clock, session.timing.greeting));
        if (!greeting.complete)
            return Fail(session, Format(kLoginFailed, kPop3.name) + WaitEnded(login, kPop3, "greeting", greeting),
                        "no greeting: " + greeting.stop);
    }
    MailLoginResult result =
        Pop3Command(session, login, "USER " + login.user, "USER " + login.user, "server refused the user name");
    if (result.ok)
        result = Pop3Command(session, login, "PASS " + login.password, "PASS ****",
                             "server refused the user name or password");
    if (!result.ok)
        return result;
    SendLine(session, "QUIT");
    Traced(session, ReadPop3Line(session.stream, session.clock, session.timing.pop3Command));
    session.trace.Note("login test passed");
    return kGoOn;
}

MailLoginResult ImapLogin(MailSession& session, const MailLogin& login, unsigned& imapTag)
{
    std::string host;
    std::string message = Connect(session, login, kImap, host);
    if (!message.empty())
        return Fail(session, message, "");
    if (login.useTls) {
        if (session.stream.WaitReadable(session.timing.greetingProbe * 1000UL) == MailStream::Wait::kReadable) {
            std::string tag = NextTag(imapTag);
            if (!SendLine(session, tag + "STARTTLS"))
                return Fail(session, ImapTlsMessage(login, Format(kStartTlsNotAgreed, "STARTTLS")),
                            "the connection broke");
            MailReply agreed = Traced(session, ReadImapReply(session.stream, session.clock, session.timing, tag));
            MailLoginResult result = Agreed(session, login, kImap, "STARTTLS", agreed, ImapTlsMessage);
            if (!result.ok)
                return result;
        } else {
            session.trace.Note("no greeting in plain text: TLS from the first byte");
        }
        message = StartTls(session, login, kImap, host, ImapTlsMessage);
        if (!message.empty())
            return Fail(session, message, "");
    }
    std::string tag = NextTag(imapTag);
    MailReply refused;
    if (!ImapSendLogin(session, login, tag, refused))
        return Fail(session, Format(kLoginFailed, kImap.name) + WaitEnded(login, kImap, "answer to LOGIN", refused),
                    refused.complete   ? "server refused the LOGIN command"
                    : refused.timedOut ? NoAnswer("LOGIN", refused)
                                       : "the connection broke");
    MailReply reply = Traced(session, ReadImapReply(session.stream, session.clock, session.timing, tag));
    if (!reply.good)
        return Fail(session, Format(kLoginFailed, kImap.name) + WaitEnded(login, kImap, "answer to LOGIN", reply),
                    reply.complete ? "server refused the user name or password" : NoAnswer("LOGIN", reply));
    tag = NextTag(imapTag);
    SendLine(session, tag + "LOGOUT");
    Traced(session, ReadImapReply(session.stream, session.clock, session.timing, tag));
    session.trace.Note("login test passed");
    return kGoOn;
}
