// The modems Windows knows: the telephony lines that carry data calls, and the COM port a
// modem driver is attached to.
#pragma once

#include <windows.h>

#include <string>

#include "app/controls.h"

// Appends the names of the data-capable telephony lines to a list box. A telephony that does
// not start is reported when reportFailure is set.
void ListModems(HWND dialog, ShownRows& list, bool reportFailure = true);
// The COM port of the installed modem of that friendly name (any case), from the modem
// class of the device registry. False, port empty, when none is attached.
bool FindModemPort(const std::string& modemName, std::string& port);
