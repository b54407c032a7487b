// signal_interface.exe <interface> <route>: wakes a service the way the program does, through
// GWCORE.DLL's SetEventForInterface. Run from the installation folder so that the library
// beside it is the one loaded. Exit code 0 when the event was set, 1 when the service has no
// such event, 2 on a usage or loading error.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: signal_interface <interface> <route>\n");
        return 2;
    }
    HMODULE gwcore = LoadLibraryA("GWCORE.DLL");
    typedef BOOL(WINAPI * SetEventFunction)(LPCSTR, LPCSTR);
    auto setEvent =
        gwcore ? reinterpret_cast<SetEventFunction>(GetProcAddress(gwcore, "SetEventForInterface")) : nullptr;
    if (!setEvent) {
        std::fprintf(stderr, "GWCORE.DLL or SetEventForInterface not found\n");
        return 2;
    }
    BOOL ok = setEvent(argv[1], argv[2]);
    std::printf("%s\n", ok ? "set" : "no event");
    return ok ? 0 : 1;
}
