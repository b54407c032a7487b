#include "shell/connection_test.h"

#include <windows.h>

#include <string>

#include "shell/config_files.h"

void WriteConnectionTestResult(const char* result)
{
    char dataDirectory[MAX_PATH];
    ProgramDataDirectory(dataDirectory);
    std::string path = std::string(dataDirectory) + "MODEMTEST.INI";
    IniWrite(path.c_str(), "ModemTest", "Result", result);
}

void RunConnectionTest()
{
    // Dialling is the add-on library's work; this program ships none yet, so the test
    // reports what it reports for a missing library.
    WriteConnectionTestResult("Internal Error");
}
