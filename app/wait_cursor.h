// The hourglass while a long operation blocks the window thread: on for the lifetime of a
// WaitCursor, the previous cursor back when it goes out of scope.
#pragma once

#include <windows.h>

class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR previous_;
};
