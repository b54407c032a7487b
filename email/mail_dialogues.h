// The login exchanges of the three mail login tests over a MailStream: connect, secure the
// connection (STARTTLS or TLS from the first byte), log in, log out. Each gives the text of
// the message box to show on failure. Credentials never go out in clear text when TLS was
// asked for, never with a line break in them, and never before the server's certificate
// passed. Portable: no windows.h.
#pragma once

#include <string>

#include "email/mail_stream.h"
#include "email/mail_trace.h"

struct MailLogin {
    std::string server; // "host", "host:port", "[v6]:port"
    bool useTls = false;
    std::string user;
    std::string password;
};

struct MailLoginResult {
    bool ok = false;
    std::string message; // the box text on failure
};

// What a login exchange works with.
struct MailSession {
    MailStream& stream;
    MailClock clock;
    const MailTiming& timing;
    MailTrace& trace;
};

MailLoginResult SmtpLogin(MailSession& session, const MailLogin& login);
MailLoginResult Pop3Login(MailSession& session, const MailLogin& login);
// imapTag is the number of the last IMAP tag used; it grows by one for every command.
MailLoginResult ImapLogin(MailSession& session, const MailLogin& login, unsigned& imapTag);
