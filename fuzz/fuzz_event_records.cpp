// Event records are written by any process that reports under any source name: the walk
// must stay inside the buffer whatever the bytes, every text it gives must lie inside its
// record, and the viewer's line must build from whatever it found.
#include <cstddef>
#include <cstdint>

#include "monitoring/event_records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    EventRecordWalker walker(data, size);
    EventRecordView record;
    size_t before = 0;
    std::tm local{};
    local.tm_year = 100;
    while (walker.Next(record)) {
        const char* recordStart = reinterpret_cast<const char*>(data) + before;
        const char* recordEnd = reinterpret_cast<const char*>(data) + walker.Offset();
        if (walker.Offset() <= before || walker.Offset() > size)
            __builtin_trap();
        for (std::string_view text : {record.sourceName, record.firstString})
            if (!text.empty() && (text.data() < recordStart || text.data() + text.size() >= recordEnd))
                __builtin_trap();
        IsGatewayEventSource(record.sourceName);
        std::string line = EventLine(record, &local);
        if (line.size() < record.firstString.size())
            __builtin_trap();
        before = walker.Offset();
    }
    return 0;
}
