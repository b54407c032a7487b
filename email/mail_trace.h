// The transcript of the last mail login test (MAILTRACE.LOG): every line sent and
// received with the milliseconds since the test began, where TLS started and what it
// negotiated, and the likely cause of a failure. Passwords and the AUTH LOGIN lines are
// masked by the callers before they reach it. Portable: no windows.h.
#pragma once

#include <string>

#include "email/mail_replies.h"
#include "email/mail_stream.h"

class MailTrace {
public:
    explicit MailTrace(MailClock clock);

    void Sent(const std::string& shown, bool sent);
    // One trace line per received line; a long reply is cut.
    void Received(const MailReply& reply);
    void Note(const std::string& text);
    // The likely cause of the failure, in one line; the first one given counts.
    void Cause(const std::string& text);
    const std::string& Text() const { return text_; }
    const std::string& CauseText() const { return cause_; }

private:
    void Line(char mark, const std::string& text);

    MailClock clock_;
    unsigned long start_;
    std::string text_;
    std::string cause_;
};
