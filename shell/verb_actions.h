#pragma once

#include "shell/command_line.h"

// Runs the verb of a command line (install, remove, start, stop, restart the services,
// delete the private data directory, the connection test); the process then ends.
void RunVerb(const CommandLine& command);
