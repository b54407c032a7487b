// A POP3 server's status line, as the POP3 login test reads it.
#include <cstddef>
#include <cstdint>

#include "email/mail_replies.h"
#include "fuzz/mail_fuzz_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzMailStream stream(data, size);
    CheckMailReply(ReadPop3Line(stream, stream.Clock(), 60));
    return 0;
}
