// SMS spool files are written by the gateway and by anyone who can write its queue
// directories: every field must stay within its buffer whatever the bytes, and feeding the
// bytes in pieces must give the same record.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "spool/spool_record.h"

namespace {

template <size_t N>
void CheckTerminated(const char (&field)[N])
{
    if (memchr(field, '\0', N) == nullptr)
        __builtin_trap();
}

void CheckRecord(const SpoolRecord& r)
{
    CheckTerminated(r.recipient);
    CheckTerminated(r.sender);
    CheckTerminated(r.text);
    CheckTerminated(r.udh);
    CheckTerminated(r.submittedBy);
    CheckTerminated(r.submitUser);
    CheckTerminated(r.serviceType);
    CheckTerminated(r.billingInfo);
    CheckTerminated(r.validity);
    CheckTerminated(r.route);
    CheckTerminated(r.smppOptions);
    CheckTerminated(r.localUserRoute);
    CheckTerminated(r.receiptMessageId);
    CheckTerminated(r.modemName);
    CheckTerminated(r.lastError);
    if (r.receiptFlags & ~0x7Fu)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    static SpoolRecord whole;
    ParseSpoolRecord(bytes, size, whole);
    CheckRecord(whole);

    static SpoolRecord pieces;
    SpoolRecordParser parser(pieces);
    size_t piece = size % 13 + 1;
    for (size_t at = 0; at < size; at += piece)
        parser.Feed(bytes + at, size - at < piece ? size - at : piece);
    parser.Finish();
    if (strcmp(whole.recipient, pieces.recipient) != 0 || strcmp(whole.text, pieces.text) != 0 ||
        strcmp(whole.lastError, pieces.lastError) != 0 || whole.retryCount != pieces.retryCount ||
        whole.receiptFlags != pieces.receiptFlags || whole.dcs != pieces.dcs || whole.binary != pieces.binary ||
        !(whole.lastRetryTime == pieces.lastRetryTime))
        __builtin_trap();
    return 0;
}
