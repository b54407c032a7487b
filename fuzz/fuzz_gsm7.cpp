// GSM 7-bit user data comes from the network through the spool files. The first byte picks
// how long the header text is; the rest is the header and the data, decoded in place.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "gateway/gwcore/gsm7.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    size_t headerLength = data[0] % 16;
    if (headerLength > size - 1)
        headerLength = size - 1;
    std::string header(reinterpret_cast<const char*>(data + 1), headerLength);
    std::string text(reinterpret_cast<const char*>(data + 1 + headerLength), size - 1 - headerLength);
    size_t textLength = strlen(text.c_str());

    // Exactly the promised room, decoded over its own input as the library's callers do.
    size_t room = Gsm7Utf8Bound(textLength);
    if (room > textLength + textLength / 7 + 1)
        __builtin_trap();
    std::vector<char> buffer(text.c_str(), text.c_str() + textLength);
    buffer.resize(room > textLength + 1 ? room : textLength + 1, '\0');
    size_t length = Gsm7HexToUtf8(header.c_str(), buffer.data(), buffer.data(), room);
    if (length >= room || buffer[length] != '\0' || strlen(buffer.data()) != length)
        __builtin_trap();

    // A smaller room gives a prefix of the full text.
    std::string full(buffer.data(), length);
    std::vector<char> small(room / 2 + 1);
    size_t cut = Gsm7HexToUtf8(header.c_str(), text.c_str(), small.data(), small.size());
    if (cut >= small.size() || full.compare(0, cut, small.data(), cut) != 0)
        __builtin_trap();
    return 0;
}
