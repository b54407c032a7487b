// The records of the platform's event log as a read hands them over: one record after the
// other, each laid out as EVENTLOGRECORD (a 56-byte header of little-endian numbers, then
// the source name and the computer name as NUL-terminated strings, the insertion strings,
// the user SID and the event data at offsets the header gives). Any process may write events
// under any source name, so nothing here trusts an offset or a length. Portable: no windows.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

constexpr size_t kEventRecordHeaderSize = 56;
constexpr uint32_t kEventRecordSignature = 0x654c664c; // "LfLe", the header's Reserved field

// The platform's event types.
enum EventType : uint16_t {
    kEventSuccess = 0x0000,
    kEventError = 0x0001,
    kEventWarning = 0x0002,
    kEventInformation = 0x0004,
    kEventAuditSuccess = 0x0008,
    kEventAuditFailure = 0x0010,
};

// The fields of one record the viewer uses; the texts point into the read buffer.
struct EventRecordView {
    uint32_t recordNumber = 0;
    uint32_t timeGenerated = 0; // seconds since 1970-01-01 00:00 UTC
    uint16_t eventType = 0;
    std::string_view sourceName;  // empty when it has no terminator inside the record
    std::string_view firstString; // empty when the record has none or it lies outside
};

// Walks a buffer of whole records. A record's Length must cover at least the header and
// stay inside the buffer; the walk ends at the first one that does not.
class EventRecordWalker {
public:
    EventRecordWalker(const unsigned char* data, size_t size) : data_(data), size_(size) {}
    bool Next(EventRecordView& record);
    size_t Offset() const { return offset_; }

private:
    const unsigned char* data_;
    size_t size_;
    size_t offset_ = 0;
};

// True for the gateway's own source, "QelSMS", in any letter case.
bool IsGatewayEventSource(std::string_view sourceName);

// "Error: ", "Warning: ", or "Info: " for every other type.
const char* EventTypePrefix(uint16_t eventType);

// The viewer's line: "YYYY-MM-DD hh:mm:ss - " from the local time of the event (left out
// when local is null: the time could not be converted), the type prefix, then the first
// insertion string.
std::string EventLine(const EventRecordView& record, const std::tm* local);
