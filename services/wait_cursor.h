#pragma once

#include <windows.h>

// The hourglass while a long operation blocks the window thread. On gives the cursor to
// restore; off takes it back.
HCURSOR WaitCursorOn();
void WaitCursorOff(HCURSOR previous);
