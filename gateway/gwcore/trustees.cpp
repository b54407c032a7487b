// Access rights on the gateway's data directories: the services run as the local system
// account and must be able to create, change and delete everything below them, and so
// must the administrators who run this program.
#include "gateway/gwcore/gwcore.h"

#include <aclapi.h>

BOOL WINAPI SetQelSMSTrustees(LPCSTR directory)
{
    if (!directory || !directory[0])
        return FALSE;

    PSID system = nullptr;
    PSID admins = nullptr;
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    if (!AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system))
        return FALSE;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                  0, &admins)) {
        FreeSid(system);
        return FALSE;
    }

    EXPLICIT_ACCESSA entries[2] = {};
    PSID sids[2] = {system, admins};
    for (int i = 0; i < 2; ++i) {
        entries[i].grfAccessPermissions = GENERIC_ALL;
        entries[i].grfAccessMode = GRANT_ACCESS;
        entries[i].grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
        entries[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
        entries[i].Trustee.TrusteeType = i == 0 ? TRUSTEE_IS_USER : TRUSTEE_IS_WELL_KNOWN_GROUP;
        entries[i].Trustee.ptstrName = static_cast<LPSTR>(sids[i]);
    }

    // The new entries are merged into what the directory already grants.
    BOOL ok = FALSE;
    PACL oldDacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD rc = GetNamedSecurityInfoA(directory, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &oldDacl,
                                     nullptr, &descriptor);
    if (rc == ERROR_SUCCESS) {
        PACL newDacl = nullptr;
        if (SetEntriesInAclA(2, entries, oldDacl, &newDacl) == ERROR_SUCCESS) {
            rc = SetNamedSecurityInfoA(const_cast<LPSTR>(directory), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                       nullptr, newDacl, nullptr);
            ok = rc == ERROR_SUCCESS;
            LocalFree(newDacl);
        }
        LocalFree(descriptor);
    }
    FreeSid(admins);
    FreeSid(system);
    return ok;
}
