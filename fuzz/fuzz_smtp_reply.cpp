// An SMTP server's reply, as the SMTP login test reads it.
#include <cstddef>
#include <cstdint>

#include "email/mail_replies.h"
#include "fuzz/mail_fuzz_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzMailStream stream(data, size);
    CheckMailReply(ReadSmtpReply(stream, stream.Clock(), 120));
    return 0;
}
