// Access rights on the gateway's data directories. They hold passwords in clear, so they
// get a list of their own, nothing inherited from the machine-wide data folder: the services
// run as the local system account and must be able to create, change and delete everything
// below them, and so must the administrators and the account that set the gateway up (which
// becomes the folder's owner, so that a later repair knows it). Other users get nothing.
#include "gateway/gwcore/gwcore.h"

#include "gateway/gwcore/folder_security.h"

BOOL WINAPI SetQelSMSTrustees(LPCSTR directory)
{
    if (!directory || !directory[0])
        return FALSE;
    std::vector<BYTE> account = RunningAccountSid();
    return SetDataFolderAccess(directory, account.empty() ? nullptr : account.data(), true) ? TRUE : FALSE;
}
