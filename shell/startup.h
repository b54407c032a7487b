#pragma once

#include <windows.h>

// The whole run of the program for one command line; gives the process exit code.
int RunProgram(HINSTANCE instance, const char* commandLine);
