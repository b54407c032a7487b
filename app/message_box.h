// Every message box of the program goes through here, so that each gets the caption and
// tests have one place to look.
#pragma once

#include <windows.h>

#include <string>

extern const char kAppCaption[]; // "Qel SMS/MMS Gateway Lite Edition (v2015.03.13)"

// A box with the program's caption. Boxes outside a window pass no owner and
// MB_SETFOREGROUND in flags.
int ShowMessage(HWND owner, const char* text, UINT flags);
int ShowMessageCaption(HWND owner, const char* text, const char* caption, UINT flags);

// A box for the service routines and the command line: no owner, set to the foreground.
int ShowServiceMessage(const char* text, UINT flags);

// The system's text for an error code (GetLastError), as FormatMessage gives it.
std::string SystemErrorText(DWORD error);
