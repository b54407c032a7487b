#include "email/mail_replies.h"

#include <cstring>
#include <new>
#include <vector>

#include "base/text.h"

namespace {

// The bytes of one read, grown as they come (the container grows geometrically, so a
// reply that trickles in byte by byte costs no more than one that comes whole). NUL bytes
// received become spaces, so that the bytes read as one text.
class ReplyBuffer {
public:
    // Room for coming more bytes; false when memory ran out.
    bool Reserve(size_t coming)
    {
        try {
            bytes_.resize(held_ + coming);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
    char* Free() { return bytes_.data() + held_; }
    void Commit(size_t count)
    {
        for (size_t i = held_; i < held_ + count; ++i)
            if (bytes_[i] == '\0')
                bytes_[i] = ' ';
        held_ += count;
    }
    std::string Text() const { return std::string(bytes_.data(), held_); }
    const char* Data() const { return bytes_.data(); }
    size_t Held() const { return held_; }

private:
    std::vector<char> bytes_;
    size_t held_ = 0;
};

struct ReadRules {
    unsigned waitSeconds;  // one readiness wait at most
    unsigned idleSeconds;  // without data
    unsigned totalSeconds; // in all
};

// The two limits of one read: time without data and time in all, both ending exactly at
// their figure (a wait never runs past them).
class ReadLimits {
public:
    ReadLimits(const ReadRules& rules, unsigned long start) : rules_(rules), start_(start), lastData_(start) {}
    void DataAt(unsigned long now) { lastData_ = now; }
    // Milliseconds left at now before the sooner limit.
    unsigned long Left(unsigned long now) const
    {
        unsigned long idle = Rest(now - lastData_, rules_.idleSeconds);
        unsigned long total = Rest(now - start_, rules_.totalSeconds);
        return idle < total ? idle : total;
    }
    // Why the read ends at now: the limit that was reached.
    std::string Reached(unsigned long now) const
    {
        if (Rest(now - lastData_, rules_.idleSeconds) == 0)
            return "no data for " + std::to_string(rules_.idleSeconds) + " s";
        return "no complete reply in " + std::to_string(rules_.totalSeconds) + " s";
    }

private:
    static unsigned long Rest(unsigned long passed, unsigned seconds)
    {
        return passed < seconds * 1000UL ? seconds * 1000UL - passed : 0;
    }
    const ReadRules& rules_;
    unsigned long start_;
    unsigned long lastData_;
};

// Scanners look at the bytes that arrived since their last call (from scanned_ on) and
// say whether the reply is complete; each keeps its place, so a reply that arrives one
// byte at a time costs no more than one that arrives whole.
class SmtpScanner {
public:
    bool Scan(const char* text, size_t held, MailReply& reply)
    {
        for (; scanned_ < held; ++scanned_) {
            if (text[scanned_] != '\n')
                continue;
            const char* line = text + lineStart_;
            size_t length = scanned_ - lineStart_;
            lineStart_ = scanned_ + 1;
            if (length >= 4 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]) && line[3] == ' ') {
                reply.good = line[0] == '2' || line[0] == '3' || line[0] == '0';
                return true;
            }
        }
        return false;
    }

private:
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    size_t scanned_ = 0;
    size_t lineStart_ = 0;
};

bool BeginsAfterSpaces(const char* text, size_t length, const char* word)
{
    size_t skip = 0;
    while (skip < length && text[skip] == ' ')
        ++skip;
    return StartsWithNoCase(text + skip, length - skip, word);
}

class Pop3Scanner {
public:
    bool Scan(const char* text, size_t held, MailReply& reply)
    {
        const void* end = memchr(text + scanned_, '\n', held - scanned_);
        scanned_ = held;
        if (!end)
            return false;
        reply.good = BeginsAfterSpaces(text, static_cast<const char*>(end) - text, "+OK");
        return true;
    }

private:
    size_t scanned_ = 0;
};

// The tag counts at the start of the text or right after a byte below 32; the tagged line
// is complete at the next LF.
class ImapScanner {
public:
    ImapScanner(const std::string& tag, bool continuation) : tag_(tag), continuation_(continuation) {}

    bool Scan(const char* text, size_t held, MailReply& reply)
    {
        for (; scanned_ < held; ++scanned_) {
            unsigned char c = static_cast<unsigned char>(text[scanned_]);
            if (c >= 32)
                continue;
            size_t length = scanned_ - pieceStart_;
            if (tagged_ == kNone && !continued_) {
                if (length >= tag_.size() && !memcmp(text + pieceStart_, tag_.data(), tag_.size()))
                    tagged_ = pieceStart_;
                else if (continuation_ && atLineStart_ && length && text[pieceStart_] == '+')
                    continued_ = true;
            }
            if (c == '\n' && (tagged_ != kNone || continued_)) {
                if (continued_) {
                    reply.good = reply.continued = true;
                } else {
                    size_t after = tagged_ + tag_.size();
                    reply.good = BeginsAfterSpaces(text + after, scanned_ - after, "OK");
                }
                return true;
            }
            atLineStart_ = c == '\n';
            pieceStart_ = scanned_ + 1;
        }
        return false;
    }

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);
    const std::string& tag_;
    bool continuation_;
    size_t scanned_ = 0;
    size_t pieceStart_ = 0;
    bool atLineStart_ = true;
    size_t tagged_ = kNone;
    bool continued_ = false;
};

template <class Scanner>
MailReply ReadUntil(MailStream& stream, const MailClock& clock, const ReadRules& rules, Scanner& scanner)
{
    MailReply reply;
    ReplyBuffer buffer;
    ReadLimits limits(rules, clock());
    for (;;) {
        unsigned long now = clock();
        unsigned long left = limits.Left(now);
        if (left == 0) {
            reply.stop = limits.Reached(now);
            reply.timedOut = true;
            break;
        }
        if (buffer.Held() >= kMailReplyLimit) {
            reply.stop = "1 MiB without a complete reply";
            break;
        }
        unsigned long wait = rules.waitSeconds * 1000UL;
        MailStream::Wait ready = stream.WaitReadable(wait < left ? wait : left);
        if (ready == MailStream::Wait::kFailed) {
            reply.stop = "waiting for data failed";
            break;
        }
        if (ready == MailStream::Wait::kTimedOut)
            continue;
        size_t available = stream.Available();
        if (!available) {
            reply.stop = "connection closed";
            break;
        }
        if (!buffer.Reserve(available)) {
            reply.stop = "out of memory";
            break;
        }
        // Through TLS a read may wait for the rest of a record: no longer than the read may.
        stream.LimitWaits(limits.Left(clock()));
        long got = stream.Receive(buffer.Free(), available);
        if (got <= 0) {
            now = clock();
            reply.timedOut = got < 0 && limits.Left(now) == 0;
            reply.stop = reply.timedOut ? limits.Reached(now) : got ? "read failed" : "connection closed";
            break;
        }
        buffer.Commit(static_cast<size_t>(got));
        limits.DataAt(clock());
        if (scanner.Scan(buffer.Data(), buffer.Held(), reply)) {
            reply.complete = true;
            break;
        }
    }
    reply.text = buffer.Text();
    return reply;
}

} // namespace

MailReply ReadSmtpReply(MailStream& stream, const MailClock& clock, unsigned seconds)
{
    SmtpScanner scanner;
    return ReadUntil(stream, clock, {seconds, seconds, seconds}, scanner);
}

MailReply ReadPop3Line(MailStream& stream, const MailClock& clock, unsigned seconds)
{
    Pop3Scanner scanner;
    return ReadUntil(stream, clock, {seconds, seconds, seconds}, scanner);
}

MailReply ReadImapReply(MailStream& stream, const MailClock& clock, const MailTiming& timing, const std::string& tag,
                        bool continuation)
{
    ImapScanner scanner(tag, continuation);
    return ReadUntil(stream, clock, {timing.imapSelect, timing.imapIdle, timing.imapTotal}, scanner);
}
