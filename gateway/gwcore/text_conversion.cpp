// Text conversion for the gateway's message stores.
#include "gateway/gwcore/gwcore.h"

#include <cstring>

#include "gateway/gwcore/gsm7.h"

int WINAPI GSM7ToUTF8String(LPCSTR udhHex, LPCSTR dataHex, LPSTR buffer)
{
    if (!buffer)
        return 0;
    if (!dataHex) {
        buffer[0] = '\0';
        return 0;
    }
    // The caller promises the room that the longest decoding of its data can take.
    size_t room = Gsm7Utf8Bound(strlen(dataHex));
    return static_cast<int>(Gsm7HexToUtf8(udhHex, dataHex, buffer, room));
}
