// Outbound MMS control files read from their bytes: any bytes give false or values within
// the viewer's buffers, and a file taken as plain gives the same values with Windows line
// breaks instead of LF alone.
#include <cstddef>
#include <cstdint>
#include <string>

#include "spool/mms_control_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    MmsControlFields fields;
    if (!ReadPlainMmsControlFile(bytes, size, fields))
        return 0;
    if (fields.sender.size() >= kMmsControlValueBuffer || fields.retryCount.size() >= kMmsControlValueBuffer ||
        fields.lastError.size() >= kMmsControlValueBuffer || fields.recipients.size() + 2 >= kMmsControlValueBuffer ||
        fields.recipients.empty() || fields.recipients.back() != '\0')
        __builtin_trap();
    std::string crlf;
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            crlf += '\r';
        crlf += bytes[i];
    }
    MmsControlFields again;
    if (crlf.size() <= kPlainControlFileLimit &&
        (!ReadPlainMmsControlFile(crlf.data(), crlf.size(), again) || again.sender != fields.sender ||
         again.retryCount != fields.retryCount || again.lastError != fields.lastError ||
         again.recipients != fields.recipients))
        __builtin_trap();
    return 0;
}
