// The command-line grammar: verbs found anywhere in the text, in any letter case.
// Portable: no windows.h.
#pragma once

#include <string>

enum class Verb {
    None,
    StopService,
    StartService,
    RestartService,
    InstallService,
    RemoveService,
    DeleteDataDir,
    ModemTest,
};

struct CommandLine {
    bool quiet = false;
    bool wizard = false;   // "-WIZARD": not a verb, forces the setup wizard
    Verb verb = Verb::None;
};

// Verbs are tested in a fixed order and the first match wins, so "-STARTSERVICE
// -STOPSERVICE" stops and "-RESTARTSERVICE" restarts rather than removes.
CommandLine ParseCommandLine(const std::string& text);

// The argument the program passes to an elevated copy of itself for a verb.
const char* ElevationArgument(Verb verb);
