// Which folders the program trusts and which data folders need their rights set again.
#include "base/access_rules.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kRead = 0x1200a9;  // read and execute
constexpr uint32_t kFull = 0x1f01ff;  // FILE_ALL_ACCESS
constexpr uint32_t kSubfolders = 0x4; // FILE_ADD_SUBDIRECTORY

AccessEntry Entry(bool trusted, uint32_t mask, bool allow = true, bool inheritOnly = false)
{
    AccessEntry entry;
    entry.trusted = trusted;
    entry.mask = mask;
    entry.allow = allow;
    entry.inheritOnly = inheritOnly;
    return entry;
}

FolderAccess Access(std::vector<AccessEntry> entries, bool ownerTrusted = true, bool isProtected = true)
{
    FolderAccess access;
    access.known = true;
    access.ownerTrusted = ownerTrusted;
    access.isProtected = isProtected;
    access.entries = std::move(entries);
    return access;
}

TEST(AccessRules, OthersMayWriteAndNeedsRepair)
{
    FolderAccess unknown;
    FolderAccess nullList = Access({});
    nullList.nullDacl = true;
    const struct {
        const char* what;
        FolderAccess access;
        bool othersMayWrite;
        bool needsRepair;
    } cases[] = {
        {"trusted full, others read", Access({Entry(true, kFull), Entry(false, kRead)}), false, true},
        {"trusted only", Access({Entry(true, kFull), Entry(true, kFull)}), false, false},
        {"unread descriptor", unknown, true, false},
        {"null list", nullList, true, true},
        {"untrusted owner", Access({Entry(true, kFull)}, false), true, false},
        {"others add files", Access({Entry(true, kFull), Entry(false, kAccessAddFile)}), true, true},
        {"others change rights", Access({Entry(false, kAccessWriteDac)}), true, true},
        {"others take ownership", Access({Entry(false, kAccessWriteOwner)}), true, true},
        {"others generic write", Access({Entry(false, kAccessGenericWrite)}), true, true},
        {"others generic all", Access({Entry(false, kAccessGenericAll)}), true, true},
        {"others make sub-folders only", Access({Entry(false, kSubfolders | kRead)}), false, true},
        {"others denied writing", Access({Entry(false, kFull, false)}), false, false},
        {"others write what is made inside", Access({Entry(false, kFull, true, true)}), false, true},
        {"trusted only, not protected", Access({Entry(true, kFull)}, true, false), false, true},
        {"others with no rights", Access({Entry(false, 0)}), false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.othersMayWrite, OthersMayWrite(c.access)) << c.what;
        EXPECT_EQ(c.needsRepair, DataFolderNeedsRepair(c.access)) << c.what;
    }
}

} // namespace
