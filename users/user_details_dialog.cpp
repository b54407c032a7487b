// The "Edit User" dialog.
#include "users/user_details_dialog.h"

bool EditUserDetails(HWND, UserRecord&, SMSUSERFILE)
{
    return false;
}
