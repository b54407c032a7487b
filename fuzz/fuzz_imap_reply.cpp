// An IMAP server's tagged reply (or continuation), as the IMAP login test reads it.
#include <cstddef>
#include <cstdint>

#include "email/mail_replies.h"
#include "fuzz/mail_fuzz_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzMailStream stream(data, size);
    MailTiming timing;
    CheckMailReply(ReadImapReply(stream, stream.Clock(), timing, "A0001 ", size % 2 == 0));
    return 0;
}
