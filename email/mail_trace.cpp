#include "email/mail_trace.h"

#include <cstdio>

#include "email/mail_text.h"

namespace {
// Received text beyond this is left out of the transcript.
constexpr size_t kTracedReply = 8192;
} // namespace

MailTrace::MailTrace(MailClock clock) : clock_(std::move(clock)), start_(clock_()) {}

void MailTrace::Line(char mark, const std::string& text)
{
    char stamp[32];
    snprintf(stamp, sizeof stamp, "%8lu ms  %c ", clock_() - start_, mark);
    text_ += stamp + text + "\r\n";
}

void MailTrace::Sent(const std::string& shown, bool sent)
{
    Line('>', VisibleMailText(shown) + (sent ? "" : "   (send failed)"));
}

void MailTrace::Received(const MailReply& reply)
{
    std::string text = reply.text.substr(0, kTracedReply);
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find('\n', from);
        end = end == std::string::npos ? text.size() : end + 1;
        Line('<', VisibleMailText(text.substr(from, end - from)));
        from = end;
    }
    if (reply.text.size() > kTracedReply)
        Note("(" + std::to_string(reply.text.size()) + " bytes received, the rest left out)");
    if (!reply.complete)
        Note("read ended: " + (reply.stop.empty() ? std::string("no complete reply") : reply.stop));
}

void MailTrace::Note(const std::string& text)
{
    Line('#', VisibleMailText(text));
}

void MailTrace::Cause(const std::string& text)
{
    if (text.empty())
        return;
    cause_ = text;
    Line('!', "failed: " + VisibleMailText(text));
}

void MailTrace::Hint(const std::string& text)
{
    if (hint_.empty())
        hint_ = text;
    Line('!', "hint: " + VisibleMailText(text));
}

std::string MailTrace::Text() const
{
    if (CauseText().empty())
        return text_;
    return text_ + "likely cause: " + VisibleMailText(CauseText()) + "\r\n";
}
