// The modem subsystem's pages, hosted by the property sheets.
#pragma once

#include <windows.h>

// DIALOG_WIZADDMODEM: the wizard's first page, choosing and testing the modem.
INT_PTR CALLBACK SelectModemPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// DIALOG_MODEM: the modem's SMS and MMS settings, in the main window and the wizard.
INT_PTR CALLBACK ModemPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// DIALOG_TESTMSG: the test SMS and MMS through the running gateway; the wizard's last page.
INT_PTR CALLBACK TestMessagePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// How long the Modem page waits for the elevated instance that runs the connection test.
struct ConnectionTestTiming {
    DWORD waitMs = 120000;
};
ConnectionTestTiming& ModemConnectionTestTiming();
