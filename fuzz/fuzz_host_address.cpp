// Host texts come from INI files that anyone with access to the data directory can edit.
#include <cstddef>
#include <cstdint>
#include <string>

#include "gateway/gwcore/host_address.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    int port = data[0] % 3 == 0 ? 0 : 25;
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    HostAddress out;
    if (ParseHostAddress(text, port, out)) {
        if (out.host.empty() || out.port < 0 || out.port > 65535)
            __builtin_trap();
    }
    return 0;
}
