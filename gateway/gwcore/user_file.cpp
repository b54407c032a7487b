// Placeholder: the account file functions arrive with the user-file work.
#include "gateway/gwcore/gwcore.h"

BOOL WINAPI SMSOpenUserFile(SMSUSERFILE* handle, DWORD) { if (handle) *handle = nullptr; return FALSE; }
void WINAPI SMSCloseUserFile(SMSUSERFILE) {}
int WINAPI SMSGetRecordCount(SMSUSERFILE) { return 0; }
BOOL WINAPI SMSGetUserRecord(SMSUSERFILE, int, UserRecord*) { return FALSE; }
int WINAPI SMSFindFirstUserRecord(SMSUSERFILE, LPCSTR, UserRecord*) { return -1; }
BOOL WINAPI SMSFindUserRecord(SMSUSERFILE, LPCSTR, UserRecord*) { return FALSE; }
BOOL WINAPI SMSAddUser(SMSUSERFILE, const UserRecord*) { return FALSE; }
BOOL WINAPI SMSDeleteUser(SMSUSERFILE, const UserRecord*) { return FALSE; }
