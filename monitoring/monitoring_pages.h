// The monitoring subsystem's pages and dialogs, hosted by the property sheets.
#pragma once

#include <windows.h>

// DIALOG_STATUS: the first page of the main window.
INT_PTR CALLBACK StatusPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
