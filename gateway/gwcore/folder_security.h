// Reading and setting the rights on a folder, for the support library's data folder rights
// and for the program's checks of folders it takes programs from. The rules themselves are
// portable (base/access_rules.h); this header only moves a security descriptor to and from
// them. Inline: GWCORE.DLL and the program each compile it, so the rules are read one way.
#pragma once

#include <windows.h>
#include <aclapi.h>

#include <vector>

#include "base/access_rules.h"

// Which accounts besides SYSTEM, the administrators and TrustedInstaller a reading trusts.
enum class TrustedAccount {
    Running, // the account this process runs as
    Owner,   // the folder's owner (for the data folders: the account of the first start)
};

// The account this process runs as, as a SID in a buffer; empty when it cannot be read.
inline std::vector<BYTE> ReadRunningAccountSid()
{
    std::vector<BYTE> sid;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return sid;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size ? size : 1);
    if (size && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
        sid.assign(static_cast<BYTE*>(user), static_cast<BYTE*>(user) + GetLengthSid(user));
    }
    CloseHandle(token);
    return sid;
}

// The same, read once per process: a search asks it for every folder.
inline const std::vector<BYTE>& RunningAccountSid()
{
    static const std::vector<BYTE> sid = ReadRunningAccountSid();
    return sid;
}

inline bool IsTrustedInstaller(PSID sid)
{
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID installer = nullptr;
    if (!AllocateAndInitializeSid(&nt, 6, SECURITY_SERVICE_ID_BASE_RID, 956008885, 3418522649u, 1831038044, 1853292631,
                                  2271478464u, 0, 0, &installer))
        return false;
    bool same = EqualSid(sid, installer) != FALSE;
    FreeSid(installer);
    return same;
}

// SYSTEM, the administrators group and TrustedInstaller.
inline bool IsSystemAccount(PSID sid)
{
    return IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
           IsTrustedInstaller(sid);
}

// The folder's owner and entries, each marked trusted or not.
inline FolderAccess ReadFolderAccess(const char* path, TrustedAccount trust)
{
    FolderAccess access;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return access;
    const std::vector<BYTE>& running = RunningAccountSid();
    PSID extra =
        trust == TrustedAccount::Owner ? owner : (running.empty() ? nullptr : const_cast<BYTE*>(running.data()));
    auto trusted = [extra](PSID sid) { return IsSystemAccount(sid) || (extra && EqualSid(sid, extra)); };

    access.known = true;
    access.nullDacl = dacl == nullptr;
    access.ownerTrusted = owner && trusted(owner);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    access.isProtected = GetSecurityDescriptorControl(descriptor, &control, &revision) && (control & SE_DACL_PROTECTED);
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header)))
            continue;
        AccessEntry entry;
        entry.allow = header->AceType == ACCESS_ALLOWED_ACE_TYPE;
        if (!entry.allow && header->AceType != ACCESS_DENIED_ACE_TYPE) {
            entry.allow = true; // an entry of another kind counts as a grant to someone else
            entry.mask = ~0u;
            access.entries.push_back(entry);
            continue;
        }
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header); // same layout as a denying one
        entry.trusted = trusted(&ace->SidStart);
        entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
        entry.mask = ace->Mask;
        access.entries.push_back(entry);
    }
    LocalFree(descriptor);
    return access;
}

// Gives the folder a protected list (nothing inherited): full control, inherited by all
// below, for SYSTEM, the administrators and the account; with setOwner the account also
// becomes the folder's owner. False when the rights could not be set.
inline bool SetDataFolderAccess(const char* path, PSID account, bool setOwner)
{
    PSID system = nullptr;
    PSID admins = nullptr;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system);
    AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins);
    PSID sids[3] = {system, admins, account};
    EXPLICIT_ACCESSA entries[3] = {};
    ULONG count = 0;
    for (PSID sid : sids) {
        if (!sid)
            continue;
        EXPLICIT_ACCESSA& entry = entries[count++];
        entry.grfAccessPermissions = GENERIC_ALL;
        entry.grfAccessMode = SET_ACCESS;
        entry.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
        entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        entry.Trustee.TrusteeType = TRUSTEE_IS_UNKNOWN;
        entry.Trustee.ptstrName = static_cast<LPSTR>(sid);
    }
    bool ok = false;
    PACL dacl = nullptr;
    if (system && admins && SetEntriesInAclA(count, entries, nullptr, &dacl) == ERROR_SUCCESS) {
        SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION;
        if (setOwner && account)
            what |= OWNER_SECURITY_INFORMATION;
        ok = SetNamedSecurityInfoA(const_cast<LPSTR>(path), SE_FILE_OBJECT, what, setOwner ? account : nullptr, nullptr,
                                   dacl, nullptr) == ERROR_SUCCESS;
        LocalFree(dacl);
    }
    if (admins)
        FreeSid(admins);
    if (system)
        FreeSid(system);
    return ok;
}

// The folder's owner as a SID in a buffer; empty when it cannot be read.
inline std::vector<BYTE> FolderOwnerSid(const char* path)
{
    std::vector<BYTE> sid;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                              &descriptor) != ERROR_SUCCESS)
        return sid;
    if (owner)
        sid.assign(static_cast<BYTE*>(owner), static_cast<BYTE*>(owner) + GetLengthSid(owner));
    LocalFree(descriptor);
    return sid;
}

// Sets a data folder's rights again when they are found otherwise (DataFolderNeedsRepair),
// keeping its owner as the account granted. True when nothing was needed or the repair
// succeeded.
inline bool RepairDataFolderAccess(const char* path)
{
    if (!DataFolderNeedsRepair(ReadFolderAccess(path, TrustedAccount::Owner)))
        return true;
    std::vector<BYTE> owner = FolderOwnerSid(path);
    return !owner.empty() && SetDataFolderAccess(path, owner.data(), false);
}
