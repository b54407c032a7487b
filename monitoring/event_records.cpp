#include "monitoring/event_records.h"

#include <cstdio>
#include <cstring>

#include "base/text.h"

namespace {

uint32_t Dword(const unsigned char* at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

uint16_t Word(const unsigned char* at)
{
    return uint16_t(at[0] | at[1] << 8);
}

// The NUL-terminated text at offset inside a record of length bytes; empty when the offset
// lies outside the record or no terminator follows inside it.
std::string_view TextAt(const unsigned char* record, size_t length, size_t offset)
{
    if (offset >= length)
        return {};
    const void* end = memchr(record + offset, '\0', length - offset);
    if (!end)
        return {};
    const char* text = reinterpret_cast<const char*>(record + offset);
    return std::string_view(text, static_cast<const char*>(end) - text);
}

} // namespace

bool EventRecordWalker::Next(EventRecordView& record)
{
    if (size_ - offset_ < kEventRecordHeaderSize)
        return false;
    const unsigned char* at = data_ + offset_;
    uint32_t length = Dword(at);
    if (length < kEventRecordHeaderSize || length > size_ - offset_)
        return false;
    record.recordNumber = Dword(at + 8);
    record.timeGenerated = Dword(at + 12);
    record.eventType = Word(at + 24);
    uint16_t stringCount = Word(at + 26);
    uint32_t stringOffset = Dword(at + 36);
    record.sourceName = TextAt(at, length, kEventRecordHeaderSize);
    record.firstString = {};
    if (stringCount > 0 && stringOffset >= kEventRecordHeaderSize)
        record.firstString = TextAt(at, length, stringOffset);
    offset_ += length;
    return true;
}

bool IsGatewayEventSource(std::string_view sourceName)
{
    static const char kGateway[] = "QelSMS";
    if (sourceName.size() != sizeof kGateway - 1)
        return false;
    for (size_t i = 0; i < sourceName.size(); ++i)
        if (AsciiLower(sourceName[i]) != AsciiLower(kGateway[i]))
            return false;
    return true;
}

const char* EventTypePrefix(uint16_t eventType)
{
    switch (eventType) {
    case kEventError:
        return "Error: ";
    case kEventWarning:
        return "Warning: ";
    default:
        return "Info: ";
    }
}

std::string EventLine(const EventRecordView& record, const std::tm* local)
{
    std::string line;
    if (local) {
        char stamp[64];
        snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d - ", local->tm_year + 1900, local->tm_mon + 1,
                 local->tm_mday, local->tm_hour, local->tm_min, local->tm_sec);
        line = stamp;
    }
    line += EventTypePrefix(record.eventType);
    line.append(record.firstString.data(), record.firstString.size());
    return line;
}
