#include "services/wait_cursor.h"

HCURSOR WaitCursorOn()
{
    HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    ShowCursor(TRUE);
    return previous;
}

void WaitCursorOff(HCURSOR previous)
{
    ShowCursor(FALSE);
    SetCursor(previous);
}
