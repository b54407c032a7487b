// The verbs of the program's command line and the argument that starts an elevated copy of
// the program on one of them. Portable: no windows.h.
#pragma once

enum class Verb {
    None,
    Stop,
    Start,
    Restart,
    Install,
    Remove,
    DeleteDataDir,
    ModemTest,
};

// "/STOPSERVICE", "/STARTSERVICE", "/RESTARTSERVICE", "/INSTALLSERVICE", "/REMOVESERVICE",
// "/MODEMTEST"; "" for a verb that is never run elevated.
const char* ElevationArgument(Verb verb);
