// The dialog itself is still to come: until then it cannot be opened.
#include "mm7/mm7_dialog.h"

bool OpenMm7Settings(HWND)
{
    return false;
}
