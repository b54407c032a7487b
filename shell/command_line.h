// The command-line grammar: verbs found anywhere in the text, in any letter case.
// Portable: no windows.h.
#pragma once

#include <string>

#include "base/verbs.h"

struct CommandLine {
    bool quiet = false;
    bool wizard = false; // "-WIZARD": not a verb, forces the setup wizard
    Verb verb = Verb::None;
};

// Verbs are tested in a fixed order and the first match wins, so "-STARTSERVICE
// -STOPSERVICE" stops and "-RESTARTSERVICE" restarts rather than removes.
CommandLine ParseCommandLine(const std::string& text);
