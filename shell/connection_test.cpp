#include "shell/connection_test.h"

#include "app/ini_files.h"

void WriteConnectionTestResult(const char* result)
{
    DataDirectoryIni("MODEMTEST.INI").Write("ModemTest", "Result", result);
}

void RunConnectionTest()
{
    // Dialling is the add-on library's work; this program ships none yet, so the test
    // reports what it reports for a missing library.
    WriteConnectionTestResult("Internal Error");
}
