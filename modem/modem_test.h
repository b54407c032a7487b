// The modem test of the wizard's modem page: opens the modem (telephony line or COMn:),
// brings it to a known state and checks the SMS commands the gateway uses. Shows one
// result message; the last run's traffic is kept in MODEMTRACE.LOG in the program data
// directory.
#pragma once

#include <windows.h>

// 1 when the modem passed, 0 otherwise.
int TestModem(HWND owner, const char* modemName, const char* pin);
