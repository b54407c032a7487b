#pragma once

// The GPRS connection test run by the elevated "/MODEMTEST" instance: reads its inputs
// from MODEMTEST.INI and writes one "Result" line back.
void RunConnectionTest();

// Writes the "Result" of [ModemTest] in MODEMTEST.INI of the program data directory.
void WriteConnectionTestResult(const char* result);
