// The "MMS Message Details" dialog (DIALOG_MMSVIEW): a received MMS's header text and its
// content objects, each opened in Notepad or with the system's "open" action. The parameter
// is the full path of the header file. Closes with 1 by OK, 0 by Cancel.
#pragma once

#include <windows.h>

INT_PTR CALLBACK MmsViewDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
