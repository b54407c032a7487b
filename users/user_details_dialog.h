// The "Edit User" dialog: one gateway account, its logins, web menu, routing addresses and
// MM7/EAIF login.
#pragma once

#include <windows.h>

#include "gateway/gwcore/gwcore.h"

// Opens the modal dialog on record: a cleared record for a new account, or an existing
// account's record. userFile is the open user file, consulted for a name already taken.
// OK stores the account (a rename moves it), then its MM7/EAIF login and routing addresses;
// a refused write is shown and keeps the dialog open. The result is true when the account
// was stored, with the stored record in record; Cancel before any OK gives false and leaves
// record and every file as they were.
bool EditUserDetails(HWND owner, UserRecord& record, SMSUSERFILE userFile);
