// The 2-Way page of the main window (DIALOG_RECV).
#pragma once

#include <windows.h>

#include <string>

// The section of SMSGW.INI that holds a modem's (route's) keys, named from its "Modem1" value.
using RouteSectionNamer = std::string (*)(const std::string& modemName);

// The page's PROPSHEETPAGE lParam is the RouteSectionNamer it names the configured modem's
// section with.
INT_PTR CALLBACK TwoWayPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
