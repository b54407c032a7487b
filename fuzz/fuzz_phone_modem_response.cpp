// Phone modem answers: the response reader fed any bytes in packets of any size, then the
// header extractor over what it read.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "modem/phone_modem_http.h"

namespace {

// Plays the input: its first byte sets the packet size, the rest are the peer's bytes;
// after them the peer closes. Every wake-up moves the clock on by a second.
class FuzzStream : public ResponseStream {
public:
    FuzzStream(const uint8_t* data, size_t size) : data_(data), size_(size)
    {
        if (size_ > 0) {
            packet_ = data_[0] + 1;
            ++data_;
            --size_;
        }
    }
    Wait WaitReadable(int) override
    {
        ++now_;
        return Wait::Readable;
    }
    bool BytesWaiting(size_t& count) override
    {
        count = size_ < packet_ ? size_ : packet_;
        return true;
    }
    long Receive(char* buffer, size_t length) override
    {
        size_t n = length < size_ ? length : size_;
        memcpy(buffer, data_, n);
        data_ += n;
        size_ -= n;
        return static_cast<long>(n);
    }
    uint64_t NowSeconds() override { return now_; }
    void SleepMs(unsigned) override {}

private:
    const uint8_t* data_;
    size_t size_;
    size_t packet_ = 1;
    uint64_t now_ = 0;
};

const char* const kNames[] = {"X-QelSMS-DeviceName:", "X-QelSMS-DeviceID:", "Content-length:", ""};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzStream stream(data, size);
    PhoneModemResponse response;
    if (!ReadPhoneModemResponse(stream, response))
        return 0;
    if (response.received > kResponseLimit || response.buffer.size() < response.received + kResponseSlack)
        __builtin_trap();
    for (size_t i = response.received; i < response.buffer.size(); ++i) {
        if (response.buffer[i] != 0)
            __builtin_trap();
    }
    for (const char* name : kNames) {
        for (size_t outputSize : {size_t(1), size_t(5), size_t(150)}) {
            char value[150];
            ExtractPhoneModemHeader(response.text(), name, value, outputSize);
            if (strlen(value) >= outputSize)
                __builtin_trap();
            for (const char* p = value; *p; ++p) {
                if (static_cast<unsigned char>(*p) < 0x20)
                    __builtin_trap();
            }
        }
    }
    return 0;
}
