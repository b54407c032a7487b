// Outbound MMS control files: the values the queue viewer shows, from any bytes.
#include <cstddef>
#include <cstdint>

#include "spool/viewers/message_rows.h"
#include "spool/viewers/mms_control_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MmsControlFields fields;
    ParseMmsControlFile(reinterpret_cast<const char*>(data), size, fields);
    if (fields.sender.size() > 499 || fields.retryCount.size() > 499 || fields.lastError.size() > 499)
        __builtin_trap();
    const std::string& r = fields.recipients;
    if (r.size() > 500 || r.size() < 1 || r.back() != '\0' || (r.size() >= 2 && r[r.size() - 2] != '\0'))
        __builtin_trap();
    MmsRecipientsText(r.data(), r.size());
    if (LeadingCount(fields.retryCount.c_str()) < 0)
        __builtin_trap();
    return 0;
}
