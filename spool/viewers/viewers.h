// The four message viewers, each a modal window on the template DIALOG_SMSQ, opened with
// OpenMessageViewer(owner, Proc).
#pragma once

#include <windows.h>

INT_PTR CALLBACK OutboundSmsQueueProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OutboundMmsQueueProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ReceivedSmsViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ReceivedMmsViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Opens a viewer (one of the procedures above, or one that passes its messages on to it)
// as a modal window over owner; returns the window's result when it is closed.
INT_PTR OpenMessageViewer(HWND owner, DLGPROC viewer);
