// The mail login tests' portable side: the reply readers, Base64 and IMAP strings, and the
// three login dialogues over a scripted server, with the messages they produce.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "email/mail_dialogues.h"
#include "email/mail_replies.h"
#include "email/mail_text.h"

namespace {

// A server played from a script: a greeting, then one answer to each line the client sends.
// The clock moves only when the client waits for bytes that do not come. A line or a
// handshake that starts while bytes are still unread is logged as such: a client that
// skips a read cannot pass the next one's answer off as the one it waited for.
class ScriptedStream final : public MailStream {
public:
    std::string greeting;             // ready at connect ("" none)
    std::vector<std::string> answers; // the answer to each line sent, in turn
    bool greetsAfterTls = false;      // TLS from the first byte: the greeting comes after the handshake
    bool closesAtEnd = false;         // the peer closes once everything is read
    bool endless = false;             // the peer sends 'x' for ever
    size_t chunk = 0;                 // at most this many bytes per read (0: all)
    unsigned long trickleMs = 0;      // one byte (of incoming, or 'x' when endless) per this long
    bool silentTls = false;           // the handshake waits for as long as it may, then fails
    bool stallsInRecord = false;      // each read waits inside a TLS record as long as it may
    long receiveGives = 1;            // 0 (closed) or -1 (failed): what each read gives
    bool greetingMayWait = false;     // IMAP: the greeting is read with the first tagged reply
    bool openFails = false, connectFails = false, tlsUsable = true;
    std::string tlsError; // StartTls fails with this
    int sendFailsAt = -1; // the send of this line (0 = first) fails

    unsigned long now = 0;
    unsigned long limit = 0; // the last LimitWaits
    std::string log;         // what the client did, one item per line
    std::string incoming;

    MailClock Clock()
    {
        return [this] { return now; };
    }
    bool Open() override
    {
        log += "open\n";
        return !openFails;
    }
    bool Connect(const std::string& host, unsigned port) override
    {
        log += "connect " + host + " " + std::to_string(port) + "\n";
        if (!greetsAfterTls) {
            incoming += greeting;
            greetingLeft_ = greeting.size();
        }
        return !connectFails;
    }
    bool TlsUsable() override { return tlsUsable; }
    void LimitWaits(unsigned long milliseconds) override { limit = milliseconds; }
    bool StartTls(const std::string& host, std::string& error) override
    {
        log += Unread() + "tls " + host + "\n";
        error = tlsError;
        if (silentTls) {
            now += limit;
            error = "the handshake timed out";
        }
        if (greetsAfterTls) {
            incoming += greeting;
            greetingLeft_ = greeting.size();
        }
        return error.empty();
    }
    std::string TlsDetails() override { return "scripted"; }
    bool Send(const std::string& data) override
    {
        log += Unread() + data;
        if (limit != MailTiming().send * 1000UL)
            log += "[sent under a limit of " + std::to_string(limit) + " ms]\n";
        if (sent_++ == sendFailsAt)
            return false;
        if (data.size() >= 2 && data.compare(data.size() - 2, 2, "\r\n") == 0 && next_ < answers.size())
            incoming += answers[next_++];
        return true;
    }
    Wait WaitReadable(unsigned long milliseconds) override
    {
        bool coming = !incoming.empty() || endless;
        if (coming && trickleMs && lastByteAt_ + trickleMs <= now + milliseconds) {
            lastByteAt_ += trickleMs;
            now = lastByteAt_ > now ? lastByteAt_ : now;
            return Wait::kReadable;
        }
        if ((coming && !trickleMs) || closesAtEnd)
            return Wait::kReadable;
        now += milliseconds;
        return Wait::kTimedOut;
    }
    size_t Available() override
    {
        size_t count = endless ? 4096 : incoming.size();
        if (trickleMs && count)
            count = 1;
        return chunk && count > chunk ? chunk : count;
    }
    long Receive(char* buffer, size_t length) override
    {
        if (stallsInRecord)
            now += limit;
        if (receiveGives < 1)
            return receiveGives;
        if (endless) {
            std::string(length, 'x').copy(buffer, length);
            return static_cast<long>(length);
        }
        size_t count = incoming.copy(buffer, length);
        incoming.erase(0, count);
        greetingLeft_ -= count < greetingLeft_ ? count : greetingLeft_;
        return static_cast<long>(count);
    }

private:
    std::string Unread()
    {
        if (incoming.size() <= (greetingMayWait ? greetingLeft_ : 0))
            return std::string();
        return "[unread " + incoming + "]\n";
    }
    size_t greetingLeft_ = 0;
    unsigned long lastByteAt_ = 0;
    size_t next_ = 0;
    int sent_ = 0;
};

enum class Reader { kSmtp, kPop3, kImap, kImapContinuation };

MailReply Read(Reader reader, ScriptedStream& stream)
{
    MailTiming timing;
    MailClock clock = stream.Clock();
    switch (reader) {
    case Reader::kSmtp:
        return ReadSmtpReply(stream, clock, 120);
    case Reader::kPop3:
        return ReadPop3Line(stream, clock, 60);
    case Reader::kImap:
        return ReadImapReply(stream, clock, timing, "A0007 ");
    default:
        return ReadImapReply(stream, clock, timing, "A0007 ", true);
    }
}

struct ReaderCase {
    Reader reader;
    const char* bytes;
    bool closes; // the peer closes after the bytes
    bool complete;
    bool good;
};

const ReaderCase kReaderCases[] = {
    {Reader::kSmtp, "220 mail ready\r\n", false, true, true},
    {Reader::kSmtp, "250-mail\r\n250-AUTH LOGIN\r\n250 STARTTLS\r\n", false, true, true},
    {Reader::kSmtp, "250-mail\r\n535 5.7.8 no\r\n", false, true, false},
    {Reader::kSmtp, "354 go on\n", false, true, true},
    {Reader::kSmtp, "050 odd but good\r\n", false, true, true},
    {Reader::kSmtp, "421 busy\r\n", false, true, false},
    {Reader::kSmtp, "banner text\r\n220\r\n220 ready\r\n", false, true, true},        // other lines ignored
    {Reader::kSmtp, "x20 a\r\nab0 b\r\nabc c\r\n55x d\r\n250 \n", false, true, true}, // a code is three digits
    {Reader::kSmtp, "250-mail\r\n250-more", true, false, false},                      // closed in mid-reply
    {Reader::kSmtp, "220 no line end", false, false, false},                          // times out
    {Reader::kPop3, "+OK ready\r\n", false, true, true},
    {Reader::kPop3, "  +ok ready\n", false, true, true},
    {Reader::kPop3, "-ERR no\r\n+OK\r\n", false, true, false},
    {Reader::kPop3, "+OK but cut", true, false, false},
    {Reader::kPop3, "\n", false, true, false},
    {Reader::kImap, "* OK ready\r\nA0007 OK done\r\n", false, true, true},
    {Reader::kImap, "* 2 EXISTS\r\n* CAPABILITY x\r\nA0007   ok\n", false, true, true},
    {Reader::kImap, "A0007 NO [AUTHENTICATIONFAILED] no\r\n", false, true, false},
    {Reader::kImap, "* OK A0007 OK inside a line\r\nA0007 BAD x\r\n", false, true, false},
    {Reader::kImap, "A0007 OK no line end", false, false, false},
    {Reader::kImap, "\nA0007 OK\r\n", false, true, true},
    {Reader::kImap, "A0006 OK another tag\r\n", true, false, false},
    {Reader::kImap, "+ go ahead\r\n", false, false, false},
    {Reader::kImapContinuation, "+ go ahead\r\n", false, true, true},
    {Reader::kImapContinuation, "A0007 NO too long\r\n", false, true, false},
};

TEST(MailReplies, ReadersEndOnTheirReplyWholeOrByteByByte)
{
    for (const ReaderCase& c : kReaderCases) {
        for (size_t chunk : {0, 1, 3}) {
            ScriptedStream stream;
            stream.incoming = c.bytes;
            stream.closesAtEnd = c.closes;
            stream.chunk = chunk;
            MailReply reply = Read(c.reader, stream);
            EXPECT_EQ(reply.complete, c.complete) << c.bytes << " chunk " << chunk;
            EXPECT_EQ(reply.good, c.good) << c.bytes << " chunk " << chunk;
        }
    }
}

TEST(MailReplies, NulBytesBecomeSpaces)
{
    ScriptedStream stream;
    stream.incoming = std::string("220 a\0b\r\n", 9);
    MailReply reply = Read(Reader::kSmtp, stream);
    EXPECT_TRUE(reply.good);
    EXPECT_EQ(reply.text, "220 a b\r\n");
}

// An endless reply stops at 1 MiB; silence, a trickle and a read stalled inside a TLS
// record each stop a reader exactly at its limit, never a wait later.
struct StopCase {
    Reader reader;
    bool endless;
    unsigned long trickleMs;
    bool stalls;
    long receiveGives;
    unsigned long stoppedAfterMs; // 0: at 1 MiB or at once
    const char* stop;
    bool timedOut;
};

const StopCase kStopCases[] = {
    {Reader::kSmtp, true, 0, false, 1, 0, "1 MiB without a complete reply", false},
    {Reader::kPop3, true, 0, false, 1, 0, "1 MiB without a complete reply", false},
    {Reader::kImap, true, 0, false, 1, 0, "1 MiB without a complete reply", false},
    {Reader::kSmtp, false, 0, false, 1, 120000, "no data for 120 s", true},
    {Reader::kPop3, false, 0, false, 1, 60000, "no data for 60 s", true},
    {Reader::kImap, false, 0, false, 1, 180000, "no data for 180 s", true},
    {Reader::kSmtp, true, 3000, false, 1, 120000, "no complete reply in 120 s", true},
    {Reader::kPop3, true, 7000, false, 1, 60000, "no complete reply in 60 s", true},
    {Reader::kImap, true, 20000, false, 1, 1800000, "no complete reply in 1800 s", true},
    {Reader::kSmtp, true, 0, true, -1, 120000, "no data for 120 s", true},
    {Reader::kImap, true, 0, true, -1, 180000, "no data for 180 s", true},
    {Reader::kSmtp, true, 0, true, 0, 120000, "connection closed", false},
    {Reader::kPop3, true, 0, false, 0, 0, "connection closed", false},
    {Reader::kImap, true, 0, false, -1, 0, "read failed", false},
};

TEST(MailReplies, ReadersStopAtOneMebibyteOrExactlyAtTheirLimits)
{
    for (const StopCase& c : kStopCases) {
        ScriptedStream stream;
        stream.endless = c.endless;
        stream.trickleMs = c.trickleMs;
        stream.stallsInRecord = c.stalls;
        stream.receiveGives = c.receiveGives;
        MailReply reply = Read(c.reader, stream);
        EXPECT_FALSE(reply.complete);
        EXPECT_EQ(reply.stop, c.stop);
        EXPECT_EQ(reply.timedOut, c.timedOut) << c.stop;
        EXPECT_EQ(stream.now, c.stoppedAfterMs) << static_cast<int>(c.reader) << " " << c.stop;
        if (c.receiveGives == 1 && !c.stoppedAfterMs)
            EXPECT_EQ(reply.text.size(), kMailReplyLimit); // 4096-byte pieces fill it exactly
    }
}

TEST(MailText, Base64AndImapStrings)
{
    const std::pair<const char*, const char*> base64[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}, {"\xff\xfe", "//4="},
    };
    for (const auto& c : base64)
        EXPECT_EQ(Base64Encode(c.first), c.second) << c.first;
    const struct {
        const char* user;
        const char* password;
        std::vector<std::string> pieces;
    } logins[] = {
        {"anna", "pw", {"LOGIN \"anna\" \"pw\""}},
        {"anna", "a\"b\\c", {"LOGIN \"anna\" \"a\\\"b\\\\c\""}},
        {"anna", "p\xc3\xa4ss", {"LOGIN \"anna\" {5}", "p\xc3\xa4ss"}},
        {"\xc3\xa4nna", "pw", {"LOGIN {5}", "\xc3\xa4nna \"pw\""}},
    };
    for (const auto& c : logins)
        EXPECT_EQ(ImapLoginPieces(c.user, c.password), c.pieces) << c.password;
}

// One login dialogue against a scripted server: what was typed, the server's behaviour, and
// what the client did, the box text and the likely cause in the transcript.
struct DialogueCase {
    const char* name;
    const char* server;
    bool useTls;
    const char* user;
    const char* password;
    void (*script)(ScriptedStream&);
    const char* log;          // what the client did
    const char* message;      // "" on success
    const char* cause;        // the transcript's likely cause, "" none
    unsigned long endsAt = 0; // the scripted clock at the end, when not 0
    const char* note = "";    // a line the transcript holds
};

std::string RunLogin(const char* protocol, const DialogueCase& c, ScriptedStream& stream, MailTrace& trace,
                     unsigned& imapTag)
{
    MailTiming timing;
    MailSession session{stream, stream.Clock(), timing, trace};
    MailLogin login{c.server, c.useTls, c.user, c.password};
    MailLoginResult result = protocol == std::string("SMTP")   ? SmtpLogin(session, login)
                             : protocol == std::string("POP3") ? Pop3Login(session, login)
                                                               : ImapLogin(session, login, imapTag);
    EXPECT_EQ(result.ok, result.message.empty()) << c.name;
    return result.message;
}

void CheckDialogues(const char* protocol, const DialogueCase* cases, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const DialogueCase& c = cases[i];
        ScriptedStream stream;
        stream.greetingMayWait = protocol == std::string("IMAP");
        c.script(stream);
        MailTrace trace(stream.Clock());
        unsigned imapTag = 0;
        EXPECT_EQ(RunLogin(protocol, c, stream, trace, imapTag), c.message) << c.name;
        EXPECT_EQ(stream.log, c.log) << c.name;
        EXPECT_EQ(trace.CauseText(), c.cause) << c.name;
        if (c.endsAt)
            EXPECT_EQ(stream.now, c.endsAt) << c.name;
        std::string transcript = trace.Text();
        EXPECT_NE(transcript.find(c.note), std::string::npos) << c.name << "\n" << transcript;
        if (*c.message) {
            EXPECT_NE(transcript.find("# message: " + VisibleMailText(c.message)), std::string::npos) << c.name;
        } else {
            EXPECT_NE(transcript.find("# login test passed"), std::string::npos) << c.name;
            EXPECT_EQ(stream.incoming, "") << c.name << ": the last answer was not read";
        }
        if (*c.password) {
            EXPECT_EQ(trace.Text().find(c.password), std::string::npos) << c.name << "\n" << trace.Text();
            EXPECT_EQ(trace.Text().find(Base64Encode(c.password)), std::string::npos) << c.name;
        }
    }
}

const char kEhlo[] = "250-mail.example.org\r\n250-AUTH PLAIN LOGIN\r\n250 STARTTLS\r\n";
#define SMTP_LOGIN "EHLO clienttest\r\nAUTH LOGIN\r\nYW5uYQ==\r\nc2VjcmV0\r\nQUIT\r\n"

const DialogueCase kSmtpCases[] = {
    {"plain login", "mail.example.org", false, "anna", "secret",
     [](ScriptedStream& s) {
         s.greeting = "220 hi\r\n";
         s.answers = {kEhlo, "334 VXNlcm5hbWU6\r\n", "334 UGFzc3dvcmQ6\r\n", "235 ok\r\n", "221 bye\r\n"};
     },
     "open\nconnect mail.example.org 25\n" SMTP_LOGIN, "", ""},
    {"no user: HELO only", "[::1]", false, "", "",
     [](ScriptedStream& s) {
         s.greeting = "220 hi\r\n";
         s.answers = {"250 hello\r\n", "221 bye\r\n"};
     },
     "open\nconnect [::1] 25\nHELO clienttest\r\nQUIT\r\n", "", ""},
    {"535 after the password", "mail.example.org:2525", false, "anna", "secret",
     [](ScriptedStream& s) {
         s.greeting = "220 hi\r\n";
         s.answers = {kEhlo, "334 VXNlcm5hbWU6\r\n", "334 UGFzc3dvcmQ6\r\n", "535 5.7.8 no\r\n"};
     },
     "open\nconnect mail.example.org 2525\nEHLO clienttest\r\nAUTH LOGIN\r\nYW5uYQ==\r\nc2VjcmV0\r\n",
     "SMTP login failed - Invalid username and/or password?", "server refused the user name or password"},
    {"AUTH LOGIN not offered", "mail.example.org", false, "anna", "secret",
     [](ScriptedStream& s) {
         s.greeting = "220 hi\r\n";
         s.answers = {"250-mail\r\n250 AUTH PLAIN\r\n", "504 no\r\n"};
     },
     "open\nconnect mail.example.org 25\nEHLO clienttest\r\nAUTH LOGIN\r\n",
     "SMTP login failed - Invalid username and/or password?", "server refused AUTH LOGIN"},
    {"AUTH LOGIN not offered, nothing refused yet", "mail.example.org", false, "anna", "secret",
     [](ScriptedStream& s) {
         s.greeting = "220 hi\r\n";
         s.answers = {"250-mail\r\n250 AUTH PLAIN\r\n"};
         s.sendFailsAt = 1;
     },
     "open\nconnect mail.example.org 25\nEHLO clienttest\r\nAUTH LOGIN\r\n",
     "SMTP login failed - Invalid username and/or password?", "the connection broke"},
    {"silence after the user name", "mail.example.org", false, "anna", "secret",
     [](ScriptedStream& s) {
         s.greeting = "220 hi\r\n";
         s.answers = {kEhlo, "334 VXNlcm5hbWU6\r\n"};
     },
     "open\nconnect mail.example.org 25\nEHLO clienttest\r\nAUTH LOGIN\r\nYW5uYQ==\r\n",
     "SMTP login failed - Invalid username and/or password?\r\n\r\nWaiting for the answer to the user name from the "
     "SMTP "
     "server mail.example.org ended: no data for 120 s.",
     "no answer to the user name: no data for 120 s", 120000},
    {"AUTH LOGIN accepted though not offered", "mail.example.org", false, "anna", "secret",
     [](ScriptedStream& s) {
         s.greeting = "220 hi\r\n";
         s.answers = {"250-AUTH PLAIN\r\n250 X-LOGIN\r\n", "334 x\r\n", "334 y\r\n", "235 ok\r\n", "221 bye\r\n"};
     },
     "open\nconnect mail.example.org 25\n" SMTP_LOGIN, "", "AUTH LOGIN not offered"},
    {"silence after EHLO", "mail.example.org", false, "anna", "secret",
     [](ScriptedStream& s) { s.greeting = "220 hi\r\n"; }, "open\nconnect mail.example.org 25\nEHLO clienttest\r\n",
     "Timeout Waiting for SMTP EHLO response - \r\n\r\nWaiting for the answer to EHLO from the SMTP server "
     "mail.example.org ended: no data for 120 s.",
     "no answer to EHLO: no data for 120 s", 120000},
    {"greeting 554", "mail.example.org", false, "anna", "secret", [](ScriptedStream& s) { s.greeting = "554 go\r\n"; },
     "open\nconnect mail.example.org 25\n", "Timeout Waiting for SMTP - 554 go\r\n", "the server refused the session"},
    {"greeting 554 with TLS asked: no handshake", "mail.example.org", true, "anna", "secret",
     [](ScriptedStream& s) { s.greeting = "554 go\r\n"; }, "open\nconnect mail.example.org 587\n",
     "Timeout Waiting for SMTP - 554 go\r\n", "the server refused the session"},
    {"trickling greeting", "mail.example.org", false, "anna", "secret",
     [](ScriptedStream& s) {
         s.endless = true;
         s.trickleMs = 3000;
     },
     "open\nconnect mail.example.org 25\n",
     "Timeout Waiting for SMTP - xxxxxxxxxx\r\n\r\nWaiting for the greeting from the SMTP server mail.example.org "
     "ended: no complete reply in 30 s.",
     "no greeting: no complete reply in 30 s", 30000},
    {"EHLO refused", "mail.example.org", false, "anna", "secret",
     [](ScriptedStream& s) {
         s.greeting = "220 hi\r\n";
         s.answers = {"500 what\r\n"};
     },
     "open\nconnect mail.example.org 25\nEHLO clienttest\r\n", "Timeout Waiting for SMTP EHLO response - 500 what\r\n",
     "the server did not accept EHLO"},
    {"EHLO not sent", "mail.example.org", false, "anna", "secret",
     [](ScriptedStream& s) {
         s.greeting = "220 hi\r\n";
         s.sendFailsAt = 0;
     },
     "open\nconnect mail.example.org 25\nEHLO clienttest\r\n", "Error sending SMTP EHLO command",
     "the connection broke"},
    {"no socket", "mail.example.org", false, "anna", "secret", [](ScriptedStream& s) { s.openFails = true; }, "open\n",
     "Connection failed for SMTP server - mail.example.org", "no socket could be opened"},
    {"not reached", "mail.example.org:26", false, "anna", "secret", [](ScriptedStream& s) { s.connectFails = true; },
     "open\nconnect mail.example.org 26\n", "Connection failed for SMTP server (mail.example.org:26)",
     "the server could not be reached"},
    {"STARTTLS on 587: no second greeting", "localhost", true, "anna", "secret",
     [](ScriptedStream& s) {
         s.greeting = "220 hi\r\n";
         s.answers = {kEhlo, "220 go ahead\r\n", kEhlo, "334 x\r\n", "334 y\r\n", "235 ok\r\n", "221 bye\r\n"};
     },
     "open\nconnect localhost 587\nEHLO clienttest\r\nSTARTTLS\r\ntls localhost\n" SMTP_LOGIN, "", ""},
    {"TLS from the first byte on 465", "[::1]:465", true, "anna", "secret",
     [](ScriptedStream& s) {
         s.greeting = "220 hi\r\n";
         s.greetsAfterTls = true;
         s.answers = {kEhlo, "334 x\r\n", "334 y\r\n", "235 ok\r\n", "221 bye\r\n"};
     },
     "open\nconnect [::1] 465\ntls ::1\n" SMTP_LOGIN, "", "", 3000,
     "no greeting in plain text: TLS from the first byte"},
    {"STARTTLS refused: no handshake", "localhost", true, "anna", "secret",
     [](ScriptedStream& s) {
         s.greeting = "220 hi\r\n";
         s.answers = {"250 mail\r\n", "502 no\r\n"};
     },
     "open\nconnect localhost 587\nEHLO clienttest\r\nSTARTTLS\r\n",
     "SSL Connection failed for SMTP server - localhost the server refused STARTTLS: 502 no)",
     "the server refused STARTTLS"},
    {"STARTTLS not answered", "localhost", true, "anna", "secret",
     [](ScriptedStream& s) {
         s.greeting = "220 hi\r\n";
         s.answers = {"250 mail\r\n"};
     },
     "open\nconnect localhost 587\nEHLO clienttest\r\nSTARTTLS\r\n",
     "SSL Connection failed for SMTP server - localhost STARTTLS was not agreed)\r\n\r\nWaiting for the answer to "
     "STARTTLS from the SMTP server localhost ended: no data for 5 s.",
     "no answer to STARTTLS: no data for 5 s", 5000},
    {"STARTTLS agreed though not offered, password refused", "localhost", true, "anna", "secret",
     [](ScriptedStream& s) {
         s.greeting = "220 hi\r\n";
         s.answers = {"250 mail\r\n", "220 go ahead\r\n", kEhlo, "334 x\r\n", "334 y\r\n", "535 no\r\n"};
     },
     "open\nconnect localhost 587\nEHLO clienttest\r\nSTARTTLS\r\ntls localhost\nEHLO clienttest\r\nAUTH "
     "LOGIN\r\nYW5uYQ==\r\nc2VjcmV0\r\n",
     "SMTP login failed - Invalid username and/or password?", "server refused the user name or password"},
    {"silent TLS server", "localhost:465", true, "anna", "secret", [](ScriptedStream& s) { s.silentTls = true; },
     "open\nconnect localhost 465\ntls localhost\n",
     "SSL Connection failed for SMTP server - localhost:465 the handshake timed out)\r\n\r\nWaiting for the TLS "
     "handshake from the SMTP server localhost:465 ended: no handshake in 30 s.",
     "no answer to the TLS handshake: no handshake in 30 s", 33000},
    {"certificate not trusted", "localhost:465", true, "anna", "secret",
     [](ScriptedStream& s) {
         s.greetsAfterTls = true;
         s.tlsError = "server certificate not trusted: the certificate is self-signed (0x800B0109)";
     },
     "open\nconnect localhost 465\ntls localhost\n",
     "SSL Connection failed for SMTP server - localhost:465 server certificate not trusted: the certificate is "
     "self-signed (0x800B0109))",
     "certificate not trusted"},
    {"TLS asked, none usable: nothing sent", "localhost", true, "anna", "secret",
     [](ScriptedStream& s) {
         s.greeting = "220 hi\r\n";
         s.tlsUsable = false;
     },
     "open\nconnect localhost 587\n",
     "SSL/TLS is not available (TLSLINK.DLL is missing or cannot start): the login to the SMTP server localhost "
     "was not tried, so that no password goes out unprotected.",
     "TLSLINK.DLL is missing or cannot start"},
    {"line break in the password", "localhost", false, "anna", "x\r\nRCPT", [](ScriptedStream&) {}, "",
     "The user name or password for the SMTP server contains a line break or NUL character: the login was not tried.",
     "the user name or password holds a line break"},
};

TEST(MailDialogues, Smtp)
{
    CheckDialogues("SMTP", kSmtpCases, sizeof kSmtpCases / sizeof *kSmtpCases);
}

TEST(MailDialogues, SmtpMessageQuotesAReadableLengthOfTheServerText)
{
    ScriptedStream stream;
    stream.greeting = "554 " + std::string(100000, 'x') + "\r\n";
    MailTrace trace(stream.Clock());
    MailTiming timing;
    MailSession session{stream, stream.Clock(), timing, trace};
    MailLoginResult result = SmtpLogin(session, {"mail.example.org", false, "anna", "secret"});
    std::string line(64, 'x');
    EXPECT_EQ(result.message, "Timeout Waiting for SMTP - 554 " + line + "\r\n" + line + "\r\n" + line + "\r\n" + line +
                                  "\r\n" + line.substr(24) + "...");
    EXPECT_LT(trace.Text().size(), 10000u);

    // An endless greeting before TLS is a plain-text server: no handshake is tried.
    ScriptedStream endless;
    endless.endless = true;
    MailTrace endlessTrace(endless.Clock());
    MailSession tlsSession{endless, endless.Clock(), timing, endlessTrace};
    EXPECT_FALSE(SmtpLogin(tlsSession, {"mail.example.org", true, "anna", "secret"}).ok);
    EXPECT_EQ(endless.log, "open\nconnect mail.example.org 587\n");
    EXPECT_EQ(endlessTrace.CauseText(), "no greeting: 1 MiB without a complete reply");
}

#define POP3_LOGIN "USER anna\r\nPASS se\"c\\ret\r\nQUIT\r\n"

const DialogueCase kPop3Cases[] = {
    {"plain login", "mail.example.org", false, "anna", "se\"c\\ret",
     [](ScriptedStream& s) {
         s.greeting = "+OK hi\r\n";
         s.answers = {"+OK\r\n", "+OK in\r\n", "+OK bye\r\n"};
     },
     "open\nconnect mail.example.org 110\n" POP3_LOGIN, "", ""},
    {"-ERR after PASS", "mail.example.org", false, "anna", "se\"c\\ret",
     [](ScriptedStream& s) {
         s.greeting = "+OK hi\r\n";
         s.answers = {"+OK\r\n", "-ERR [AUTH] no\r\n"};
     },
     "open\nconnect mail.example.org 110\nUSER anna\r\nPASS se\"c\\ret\r\n",
     "POP3 login failed - Invalid username and/or password?", "server refused the user name or password"},
    {"no greeting: nothing sent", "mail.example.org", false, "anna", "pw", [](ScriptedStream&) {},
     "open\nconnect mail.example.org 110\n",
     "POP3 login failed - Invalid username and/or password?\r\n\r\nWaiting for the greeting from the POP3 server "
     "mail.example.org ended: no data for 30 s.",
     "no greeting: no data for 30 s", 30000},
    {"trickling answer to USER", "mail.example.org", false, "anna", "pw",
     [](ScriptedStream& s) {
         s.greeting = "+OK\r\n";
         s.answers = {"+OK " + std::string(100, 'x')};
         s.trickleMs = 1000;
     },
     "open\nconnect mail.example.org 110\nUSER anna\r\n",
     "POP3 login failed - Invalid username and/or password?\r\n\r\nWaiting for the answer to USER from the POP3 "
     "server mail.example.org ended: no complete reply in 60 s.",
     "no answer to USER: no complete reply in 60 s", 65000},
    {"USER not sent", "mail.example.org", false, "anna", "pw",
     [](ScriptedStream& s) {
         s.greeting = "+OK\r\n";
         s.sendFailsAt = 0;
     },
     "open\nconnect mail.example.org 110\nUSER anna\r\n", "POP3 login failed - Invalid username and/or password?",
     "the connection broke"},
    {"STLS refused: no handshake", "localhost", true, "anna", "pw",
     [](ScriptedStream& s) {
         s.greeting = "+OK hi\r\n";
         s.answers = {"-ERR not here\r\n"};
     },
     "open\nconnect localhost 995\nSTLS\r\n",
     "SSL Connection failed for POP3 server - the server refused STLS: -ERR not here", "the server refused STLS"},
    {"silent TLS server", "localhost", true, "anna", "pw", [](ScriptedStream& s) { s.silentTls = true; },
     "open\nconnect localhost 995\ntls localhost\n",
     "SSL Connection failed for POP3 server - the handshake timed out\r\n\r\nWaiting for the TLS handshake from the "
     "POP3 server localhost ended: no handshake in 30 s.",
     "no answer to the TLS handshake: no handshake in 30 s", 33000},
    {"STLS", "localhost", true, "anna", "se\"c\\ret",
     [](ScriptedStream& s) {
         s.greeting = "+OK hi\r\n";
         s.answers = {"+OK begin TLS\r\n", "+OK\r\n", "+OK in\r\n", "+OK bye\r\n"};
     },
     "open\nconnect localhost 995\nSTLS\r\ntls localhost\n" POP3_LOGIN, "", ""},
    {"TLS from the first byte", "localhost:1995", true, "anna", "se\"c\\ret",
     [](ScriptedStream& s) {
         s.greeting = "+OK hi\r\n";
         s.greetsAfterTls = true;
         s.answers = {"+OK\r\n", "+OK in\r\n", "+OK bye\r\n"};
     },
     "open\nconnect localhost 1995\ntls localhost\n" POP3_LOGIN, "", ""},
    {"host name does not match", "127.0.0.1", true, "anna", "pw",
     [](ScriptedStream& s) { s.tlsError = "host name does not match the certificate"; },
     "open\nconnect 127.0.0.1 995\ntls 127.0.0.1\n",
     "SSL Connection failed for POP3 server - host name does not match the certificate",
     "certificate does not name the server"},
    {"no socket", "pop.example.org", false, "anna", "pw", [](ScriptedStream& s) { s.openFails = true; }, "open\n",
     "Connection failed for POP3 server - pop.example.org", "no socket could be opened"},
    {"not reached", "pop.example.org", false, "anna", "pw", [](ScriptedStream& s) { s.connectFails = true; },
     "open\nconnect pop.example.org 110\n", "Connection failed for POP3 server (pop.example.org)",
     "the server could not be reached"},
    {"TLS asked, none usable", "pop.example.org", true, "anna", "pw", [](ScriptedStream& s) { s.tlsUsable = false; },
     "open\nconnect pop.example.org 995\n",
     "SSL/TLS is not available (TLSLINK.DLL is missing or cannot start): the login to the POP3 server "
     "pop.example.org was not tried, so that no password goes out unprotected.",
     "TLSLINK.DLL is missing or cannot start"},
    {"line feed in the user name", "pop.example.org", false, "anna\nDELE 1", "pw", [](ScriptedStream&) {}, "",
     "The user name or password for the POP3 server contains a line break or NUL character: the login was not tried.",
     "the user name or password holds a line break"},
};

TEST(MailDialogues, Pop3)
{
    CheckDialogues("POP3", kPop3Cases, sizeof kPop3Cases / sizeof *kPop3Cases);
}

const DialogueCase kImapCases[] = {
    {"plain login, untagged lines skipped", "imap.example.org", false, "anna", "a\"b\\c",
     [](ScriptedStream& s) {
         s.greeting = "* OK ready\r\n";
         s.answers = {"* CAPABILITY IMAP4rev1\r\nA0001 OK in\r\n", "* BYE\r\nA0002 OK out\r\n"};
     },
     "open\nconnect imap.example.org 143\nA0001 LOGIN \"anna\" \"a\\\"b\\\\c\"\r\nA0002 LOGOUT\r\n", "", ""},
    {"8-bit password as a literal", "imap.example.org", false, "anna", "p\xc3\xa4ss",
     [](ScriptedStream& s) {
         s.greeting = "* OK ready\r\n";
         s.answers = {"+ go ahead\r\n", "A0001 OK in\r\n", "A0002 OK out\r\n"};
     },
     "open\nconnect imap.example.org 143\nA0001 LOGIN \"anna\" {5}\r\np\xc3\xa4ss\r\nA0002 LOGOUT\r\n", "", ""},
    {"NO", "imap.example.org", false, "anna", "pw",
     [](ScriptedStream& s) {
         s.greeting = "* OK ready\r\n";
         s.answers = {"A0001 NO [AUTHENTICATIONFAILED] no\r\n"};
     },
     "open\nconnect imap.example.org 143\nA0001 LOGIN \"anna\" \"pw\"\r\n",
     "IMAP login failed - Invalid username and/or password?", "server refused the user name or password"},
    {"STARTTLS", "localhost:143", true, "anna", "pw",
     [](ScriptedStream& s) {
         s.greeting = "* OK ready\r\n";
         s.answers = {"A0001 OK begin TLS\r\n", "A0002 OK in\r\n", "A0003 OK out\r\n"};
     },
     "open\nconnect localhost 143\nA0001 STARTTLS\r\ntls localhost\nA0002 LOGIN \"anna\" \"pw\"\r\nA0003 LOGOUT\r\n",
     "", ""},
    {"TLS from the first byte on 993", "[::1]", true, "anna", "pw",
     [](ScriptedStream& s) {
         s.greeting = "* OK ready\r\n";
         s.greetsAfterTls = true;
         s.answers = {"A0001 OK in\r\n", "A0002 OK out\r\n"};
     },
     "open\nconnect [::1] 993\ntls ::1\nA0001 LOGIN \"anna\" \"pw\"\r\nA0002 LOGOUT\r\n", "", ""},
    {"STARTTLS refused: no handshake", "localhost:143", true, "anna", "pw",
     [](ScriptedStream& s) {
         s.greeting = "* OK ready\r\n";
         s.answers = {"A0001 BAD unknown\r\n"};
     },
     "open\nconnect localhost 143\nA0001 STARTTLS\r\n",
     "SSL Connection failed for IMAP server - the server refused STARTTLS: A0001 BAD unknown",
     "the server refused STARTTLS"},
    {"silent TLS server", "localhost", true, "anna", "pw", [](ScriptedStream& s) { s.silentTls = true; },
     "open\nconnect localhost 993\ntls localhost\n",
     "SSL Connection failed for IMAP server - the handshake timed out\r\n\r\nWaiting for the TLS handshake from the "
     "IMAP server localhost ended: no handshake in 30 s.",
     "no answer to the TLS handshake: no handshake in 30 s", 33000},
    {"literal refused", "imap.example.org", false, "anna", "p\xc3\xa4ss",
     [](ScriptedStream& s) {
         s.greeting = "* OK ready\r\n";
         s.answers = {"A0001 NO too long\r\n"};
     },
     "open\nconnect imap.example.org 143\nA0001 LOGIN \"anna\" {5}\r\n",
     "IMAP login failed - Invalid username and/or password?", "server refused the LOGIN command"},
    {"LOGIN not sent", "imap.example.org", false, "anna", "pw",
     [](ScriptedStream& s) {
         s.greeting = "* OK ready\r\n";
         s.sendFailsAt = 0;
     },
     "open\nconnect imap.example.org 143\nA0001 LOGIN \"anna\" \"pw\"\r\n",
     "IMAP login failed - Invalid username and/or password?", "the connection broke", 0, "# send failed"},
    {"silence after LOGIN", "imap.example.org", false, "anna", "pw",
     [](ScriptedStream& s) { s.greeting = "* OK ready\r\n"; },
     "open\nconnect imap.example.org 143\nA0001 LOGIN \"anna\" \"pw\"\r\n",
     "IMAP login failed - Invalid username and/or password?\r\n\r\nWaiting for the answer to LOGIN from the IMAP "
     "server imap.example.org ended: no data for 180 s.",
     "no answer to LOGIN: no data for 180 s", 180000},
    {"no socket", "imap.example.org", false, "anna", "pw", [](ScriptedStream& s) { s.openFails = true; }, "open\n",
     "Connection failed for IMAP server - imap.example.org", "no socket could be opened"},
    {"not reached", "imap.example.org", false, "anna", "pw", [](ScriptedStream& s) { s.connectFails = true; },
     "open\nconnect imap.example.org 143\n", "Connection failed for IMAP server (imap.example.org)",
     "the server could not be reached"},
    {"TLS asked, none usable", "imap.example.org", true, "anna", "pw", [](ScriptedStream& s) { s.tlsUsable = false; },
     "open\nconnect imap.example.org 993\n",
     "SSL/TLS is not available (TLSLINK.DLL is missing or cannot start): the login to the IMAP server "
     "imap.example.org was not tried, so that no password goes out unprotected.",
     "TLSLINK.DLL is missing or cannot start"},
    {"carriage return in the password", "imap.example.org", false, "anna", "pw\rA1 DELETE INBOX",
     [](ScriptedStream&) {}, "",
     "The user name or password for the IMAP server contains a line break or NUL character: the login was not tried.",
     "the user name or password holds a line break"},
};

TEST(MailDialogues, Imap)
{
    CheckDialogues("IMAP", kImapCases, sizeof kImapCases / sizeof *kImapCases);
}

TEST(MailDialogues, ImapTagsKeepCounting)
{
    ScriptedStream stream;
    stream.greeting = "* OK ready\r\n";
    stream.answers = {"A0042 OK in\r\n", "A0043 OK out\r\n"};
    MailTrace trace(stream.Clock());
    unsigned tag = 41;
    EXPECT_EQ(RunLogin("IMAP", kImapCases[0], stream, trace, tag), "");
    EXPECT_EQ(tag, 43u);
    EXPECT_NE(stream.log.find("A0042 LOGIN"), std::string::npos);
}

} // namespace
