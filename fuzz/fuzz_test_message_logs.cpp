// The day logs are written by the gateway's services and read by the Send Test Message page.
// The first byte picks the reader's buffer size and the test id's low byte; the rest is the
// log, read line by line and scanned as both logs, and for the ids it names.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "modem/test_message.h"

namespace {

class FuzzSource : public ByteSource {
public:
    FuzzSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t Read(char* buffer, size_t size) override
    {
        size_t count = position_ < size_ ? std::min(size, size_ - position_) : 0;
        memcpy(buffer, data_ + position_, count);
        position_ += count;
        return count;
    }
    uint64_t Position() override { return position_; }
    void SetPosition(uint64_t position) override { position_ = static_cast<size_t>(position); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    size_t bufferSize = 1 + data[0] % 64;
    unsigned id = 0x1A00u | data[0];
    ++data;
    --size;

    FuzzSource lines(data, size);
    std::vector<char> buffer(bufferSize);
    size_t consumedLines = 0;
    while (ReadLine(lines, buffer.data(), buffer.size())) {
        if (strlen(buffer.data()) >= bufferSize)
            __builtin_trap();
        if (++consumedLines > size + 1) // every line but the last consumes at least a byte
            __builtin_trap();
    }

    std::vector<bool> seen;
    for (TestKind kind : {TestKind::Sms, TestKind::Mms}) {
        FuzzSource log(data, size);
        TestOutcome outcome = ScanOutcomeLog(kind, log, id);
        if (outcome.found != !outcome.status.empty())
            __builtin_trap();
        FuzzSource ids(data, size);
        CollectLoggedIds(kind, ids, seen);
    }
    return 0;
}
