// The user-account subsystem's pages, hosted by the property sheets.
#pragma once

#include <windows.h>

// DIALOG_SMSUSERS: the gateway's user accounts and the web interface's login switch.
INT_PTR CALLBACK UsersPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
