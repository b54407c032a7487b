// The SMTP reply reader alone over a scripted stream, for tools/bench_mail.py: a reply of
// each size, read whole and one byte per read. Prints "PIECE SIZE MS".
#include <chrono>
#include <cstdio>
#include <string>

#include "email/mail_replies.h"

namespace {

class MemoryStream final : public MailStream {
public:
    MemoryStream(std::string data, size_t piece) : data_(std::move(data)), piece_(piece) {}
    bool Open() override { return true; }
    bool Connect(const std::string&, unsigned) override { return true; }
    bool TlsUsable() override { return false; }
    void LimitWaits(unsigned long) override {}
    bool StartTls(const std::string&, std::string&) override { return false; }
    std::string TlsDetails() override { return std::string(); }
    bool Send(const std::string&) override { return true; }
    Wait WaitReadable(unsigned long) override { return Wait::kReadable; }
    size_t Available() override
    {
        size_t left = data_.size() - offset_;
        return piece_ && left > piece_ ? piece_ : left;
    }
    long Receive(char* buffer, size_t length) override
    {
        size_t count = data_.copy(buffer, length, offset_);
        offset_ += count;
        return static_cast<long>(count);
    }

private:
    std::string data_;
    size_t piece_;
    size_t offset_ = 0;
};

} // namespace

int main()
{
    const std::string line = "220-" + std::string(994, 'x') + "\r\n";
    for (size_t piece : {0, 1}) {
        for (size_t size : {500000, 1000000}) {
            std::string reply;
            while (reply.size() + line.size() + 8 < size)
                reply += line;
            reply += "220 ok\r\n";
            MemoryStream stream(reply, piece);
            auto started = std::chrono::steady_clock::now();
            MailReply read = ReadSmtpReply(
                stream, [] { return 0UL; }, 120);
            double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
            printf("%s %zu %.1f%s\n", piece ? "1-byte" : "whole", size, ms, read.good ? "" : " (not read)");
        }
    }
}
