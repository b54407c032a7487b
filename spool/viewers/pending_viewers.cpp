// The viewers still to come: each closes at once.
#include "spool/viewers/viewers.h"

namespace {

INT_PTR PendingViewer(HWND window, UINT message)
{
    if (message == WM_INITDIALOG) {
        EndDialog(window, 0);
        return TRUE;
    }
    return FALSE;
}

} // namespace

INT_PTR CALLBACK OutboundMmsQueueProc(HWND window, UINT message, WPARAM, LPARAM)
{
    return PendingViewer(window, message);
}

INT_PTR CALLBACK ReceivedSmsViewerProc(HWND window, UINT message, WPARAM, LPARAM)
{
    return PendingViewer(window, message);
}

INT_PTR CALLBACK ReceivedMmsViewerProc(HWND window, UINT message, WPARAM, LPARAM)
{
    return PendingViewer(window, message);
}
