// The dialog procedures of the property pages. Each lives in a file of its own.
#pragma once

#include <windows.h>

INT_PTR CALLBACK ServerPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK DebugLogsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK WizardCompletePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
