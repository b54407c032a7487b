// Queue signalling. A service creates one auto-reset event per interface and route and
// waits on it; this wakes it when a new request has been put into its queue.
#include "gateway/gwcore/gwcore.h"

#include <cstdio>

namespace {

// Kernel object names may not hold backslashes beyond the namespace prefix.
void CopyObjectNamePart(char* out, size_t room, const char* text)
{
    size_t i = 0;
    for (; text && text[i] && i + 1 < room; ++i)
        out[i] = text[i] == '\\' ? '_' : text[i];
    out[i] = '\0';
}

} // namespace

BOOL WINAPI SetEventForInterface(LPCSTR interfaceName, LPCSTR routeName)
{
    char iface[64];
    char route[200];
    CopyObjectNamePart(iface, sizeof iface, interfaceName);
    CopyObjectNamePart(route, sizeof route, routeName);

    // Services run in session 0: their events live in the global namespace. A service
    // started by hand for debugging runs in the desktop session instead.
    static const char* const kFormats[] = {"Global\\QelSMS-%s-%s", "QelSMS-%s-%s"};
    for (const char* format : kFormats) {
        char name[300];
        snprintf(name, sizeof name, format, iface, route);
        HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
        if (event) {
            BOOL ok = SetEvent(event);
            CloseHandle(event);
            return ok;
        }
    }
    return FALSE;
}
