// A mail server's bytes for the reply reader fuzz targets: the first input byte chooses the
// size of the pieces the rest arrives in; the peer closes at the end, and the clock moves
// by a millisecond at each wait, so that the pieces arrive well within every limit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "email/mail_stream.h"

class FuzzMailStream final : public MailStream {
public:
    FuzzMailStream(const uint8_t* data, size_t size)
        : piece_(size ? data[0] % 17 : 0),
          bytes_(reinterpret_cast<const char*>(data) + (size ? 1 : 0), size ? size - 1 : 0)
    {
    }
    MailClock Clock()
    {
        return [this] { return now_; };
    }
    bool Open() override { return true; }
    bool Connect(const std::string&, unsigned) override { return true; }
    bool TlsUsable() override { return false; }
    void LimitWaits(unsigned long) override {}
    bool StartTls(const std::string&, std::string&) override { return false; }
    std::string TlsDetails() override { return std::string(); }
    bool Send(const std::string&) override { return true; }
    Wait WaitReadable(unsigned long) override
    {
        ++now_;
        return Wait::kReadable;
    }
    size_t Available() override
    {
        size_t left = bytes_.size() - offset_;
        return piece_ && left > piece_ ? piece_ : left;
    }
    long Receive(char* buffer, size_t length) override
    {
        size_t count = bytes_.copy(buffer, length, offset_);
        offset_ += count;
        return static_cast<long>(count);
    }

private:
    size_t piece_;
    std::string bytes_;
    size_t offset_ = 0;
    unsigned long now_ = 0;
};

// What every reply must be: the bytes read, NULs turned into spaces; good only when complete.
inline void CheckMailReply(const MailReply& reply)
{
    if (reply.good && !reply.complete)
        __builtin_trap();
    if (reply.text.find('\0') != std::string::npos || reply.text.size() > kMailReplyLimit + 4096)
        __builtin_trap();
}
