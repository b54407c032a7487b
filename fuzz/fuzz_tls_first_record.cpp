// A server's first bytes, before the TLS provider sees a whole record: the verdicts may not
// read past the bytes there are, and must not change as more bytes arrive (the handshake
// judges each time it receives): every prefix is judged as the whole is.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "gateway/tlslink/tls_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    bool wasTls = true;
    bool wasOld = false;
    for (size_t length = 1; length <= size; ++length) {
        std::vector<unsigned char> prefix(data, data + length); // exactly length bytes, for ASan
        bool tls = CanStartTlsRecord(prefix.data(), length);
        bool old = ShowsOlderThanTls12(prefix.data(), length);
        if ((tls && !wasTls) || (wasOld && !old) || (old && !tls))
            __builtin_trap();
        wasTls = tls;
        wasOld = old;
    }
    return 0;
}
