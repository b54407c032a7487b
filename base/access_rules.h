// Who may change a folder, decided from its access control entries as plain values, so that
// the rules run natively: a folder the php-cgi.exe search may trust, and a data folder whose
// rights need repair. Portable: no windows.h; the Win32 side reads a security descriptor
// into FolderAccess (gateway/gwcore/folder_security.h).
#pragma once

#include <cstdint>
#include <vector>

// The access mask bits these rules look at (the values of the Windows headers).
constexpr uint32_t kAccessAddFile = 0x2;        // FILE_ADD_FILE (FILE_WRITE_DATA)
constexpr uint32_t kAccessWriteDac = 0x40000;   // WRITE_DAC
constexpr uint32_t kAccessWriteOwner = 0x80000; // WRITE_OWNER
constexpr uint32_t kAccessGenericAll = 0x10000000;
constexpr uint32_t kAccessGenericWrite = 0x40000000;

struct AccessEntry {
    bool trusted = false;     // an account the rule trusts (which ones: see the readers)
    bool allow = true;        // an allowing entry; a denying one never gives a right
    bool inheritOnly = false; // applies only to what is created inside, not to the folder itself
    uint32_t mask = 0;
};

struct FolderAccess {
    bool known = false;        // the descriptor could be read
    bool nullDacl = false;     // no list at all: everyone may do everything
    bool ownerTrusted = false; // the owner may always rewrite the list
    bool isProtected = false;  // entries of the parent are not inherited
    std::vector<AccessEntry> entries;
};

// True unless only trusted accounts may put or replace files in the folder or change its
// rights: an unread descriptor, a null list, an untrusted owner, or an allowing entry for
// another account that adds files, writes, or changes the rights or the owner, all count.
// Creating sub-folders alone does not: such a folder belongs to its creator.
bool OthersMayWrite(const FolderAccess& access);

// True when a data folder's rights are not what it needs (a protected list, nothing
// inherited, with entries of SYSTEM, the administrators and the folder's owner only): a null
// or unprotected list, or an allowing entry with any right for another account.
bool DataFolderNeedsRepair(const FolderAccess& access);
