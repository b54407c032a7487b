// The answer to the port probe comes from whatever is on the other end of a COM port. The
// verdict must not depend on how the bytes were split into reads: the input is fed whole
// and in pieces cut at each 0x00 byte (which is kept), and both must agree.
#include <cstddef>
#include <cstdint>
#include <string>

#include "modem/port_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    ProbeAnswer whole;
    whole.Add(bytes);
    ProbeAnswer pieces;
    size_t start = 0;
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] == '\0') {
            pieces.Add(bytes.substr(start, i + 1 - start));
            start = i + 1;
        }
    }
    pieces.Add(bytes.substr(start));
    if (whole.Answered() != pieces.Answered() || whole.Settled() != pieces.Settled())
        __builtin_trap();
    if (size > kProbeAnswerLimit && !whole.Settled())
        __builtin_trap();
    return 0;
}
