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
    // The likely cause of the failure, in one line: the last one given counts, as each
    // later step that fails decides more than the one before.
    void Cause(const std::string& text);
    // Something amiss that may explain a failure (an extension not offered): the likely
    // cause only while no step has failed for a cause of its own.
    void Hint(const std::string& text);
    // The transcript, ending with the likely cause when there is one.
    std::string Text() const;
    const std::string& CauseText() const { return cause_.empty() ? hint_ : cause_; }

private:
    void Line(char mark, const std::string& text);

    MailClock clock_;
    unsigned long start_;
    std::string text_;
    std::string cause_;
    std::string hint_;
};
