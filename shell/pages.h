// The dialog procedures of the property pages. Each lives in a file of its own.
#pragma once

#include <windows.h>

INT_PTR CALLBACK ServerPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK DebugLogsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK WizardCompletePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// A page whose area is not available yet: one plain line, nothing saved. Its
// PROPSHEETPAGE lParam holds the wizard buttons it shows in the wizard.
INT_PTR CALLBACK PendingPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
