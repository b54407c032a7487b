// The modem subsystem's pages, hosted by the property sheets.
#pragma once

#include <windows.h>

// DIALOG_WIZADDMODEM: the wizard's first page, choosing and testing the modem.
INT_PTR CALLBACK SelectModemPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
