// The "Edit User" dialog: one gateway account, its logins, web menu, routing addresses and
// MM7/EAIF login.
#pragma once

#include <windows.h>

#include "gateway/gwcore/gwcore.h"

// Opens the modal dialog on record: a cleared record for a new account, or an existing
// account's record. userFile is the open user file, consulted for a name already taken.
// OK gives true with the edited record in record; the account's routing addresses and
// MM7/EAIF login are then already written. Cancel gives false and leaves record and every
// file as they were. The caller stores the record (SMSAddUser).
bool EditUserDetails(HWND owner, UserRecord& record, SMSUSERFILE userFile);
