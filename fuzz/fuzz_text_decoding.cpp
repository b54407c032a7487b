// The stored message text of a spool file through the viewer's decoding: unescaping, then
// the display decoding by the first byte's binary flag and coding scheme, within the room.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "spool/text_decoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    bool binary = data[0] & 1;
    uint8_t dcs = data[1];
    std::string stored(reinterpret_cast<const char*>(data + 2), size - 2);
    size_t room = stored.size() / 2 + 2; // often too small for the longest decoding

    std::vector<char> text(room + 1, '\0');
    strncpy(text.data(), stored.c_str(), room - 1);
    size_t before = strlen(text.data());
    UnescapeLineBreaks(text.data());
    if (strlen(text.data()) > before)
        __builtin_trap();

    std::vector<char> copy(text);
    text[room] = '\x5A'; // guard byte past the room
    DecodeMessageText(binary, dcs, "050003CC0201", text.data(), room);
    if (text[room] != '\x5A' || !memchr(text.data(), '\0', room))
        __builtin_trap();

    // Escaping within the room never leaves a raw line break.
    EscapeLineBreaks(copy.data(), room);
    if (strchr(copy.data(), '\r') || strchr(copy.data(), '\n') || strlen(copy.data()) >= room)
        __builtin_trap();
    return 0;
}
