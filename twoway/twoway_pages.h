// The 2-Way page of the main window (DIALOG_RECV).
#pragma once

#include <windows.h>

INT_PTR CALLBACK TwoWayPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
