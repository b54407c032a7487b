#include "app/wait_cursor.h"

WaitCursor::WaitCursor() : previous_(SetCursor(LoadCursor(nullptr, IDC_WAIT)))
{
    ShowCursor(TRUE);
}

WaitCursor::~WaitCursor()
{
    ShowCursor(FALSE);
    SetCursor(previous_);
}
