// The four message viewers, each a modal window on the template DIALOG_SMSQ opened with
// DialogBoxParamA(appInstance, "DIALOG_SMSQ", owner, Proc, 0).
#pragma once

#include <windows.h>

INT_PTR CALLBACK OutboundSmsQueueProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OutboundMmsQueueProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ReceivedSmsViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ReceivedMmsViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
