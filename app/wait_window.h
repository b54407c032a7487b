#pragma once

#include <windows.h>

// The modeless wait window (template WAITDLG), without owner, brought to the foreground.
HWND OpenWaitWindow(const char* title, const char* text);
void CloseWaitWindow(HWND window);
