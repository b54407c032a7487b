#include "base/access_rules.h"

namespace {

constexpr uint32_t kWriteRights =
    kAccessAddFile | kAccessWriteDac | kAccessWriteOwner | kAccessGenericAll | kAccessGenericWrite;

} // namespace

bool OthersMayWrite(const FolderAccess& access)
{
    if (!access.known || access.nullDacl || !access.ownerTrusted)
        return true;
    for (const AccessEntry& entry : access.entries) {
        if (entry.allow && !entry.inheritOnly && !entry.trusted && (entry.mask & kWriteRights))
            return true;
    }
    return false;
}

bool DataFolderNeedsRepair(const FolderAccess& access)
{
    if (!access.known)
        return false; // nothing to go by: leave the folder as it is
    if (access.nullDacl || !access.isProtected)
        return true;
    for (const AccessEntry& entry : access.entries) {
        if (entry.allow && !entry.trusted && entry.mask != 0)
            return true;
    }
    return false;
}
