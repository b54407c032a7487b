// The MMSC's VASP accounts (VASPUSERS.DAT): the file's format, the account operations and
// the commit sequence, which is USERS.DAT's (gateway/gwcore/user_store.h): the whole new
// content goes to a temporary file that then replaces the store in one atomic step.
// No windows.h here: the Win32 side (vasp_account_file.cpp) supplies the file operations.
//
// VASPUSERS.DAT layout, all numbers little-endian:
//   offset  0  8 bytes  magic "QELVASPU"
//   offset  8  u32      format version (1)
//   offset 12  u32      header size (32)
//   offset 16  u32      record size (511)
//   offset 20  u32      record count
//   offset 24  u32      generation, incremented by every write
//   offset 28  u32      CRC-32 of bytes 0..27 followed by all records
//   offset 32           the records, each a raw VASPUserRecord, every byte as it was given
// Every stored user name is a valid account name (IsValidAccountName) and no two are equal
// without regard to case. Nothing else in a record is checked or changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gateway/gwcore/user_store.h"
#include "gateway/mmcore/vasp_user_record.h"

namespace vaspaccount {

constexpr char kMagic[8] = {'Q', 'E', 'L', 'V', 'A', 'S', 'P', 'U'};
constexpr uint32_t kFormatVersion = 1;
constexpr size_t kHeaderSize = 32;
constexpr size_t kRecordSize = sizeof(VASPUserRecord);
// The largest store read or written (about 130,000 accounts).
constexpr size_t kLargestFile = 64u * 1024 * 1024;
constexpr size_t kLongestName = sizeof(VASPUserRecord::userName) - 1;

// An account name is 1 to 50 characters long.
bool IsValidAccountName(const std::string& name);

// The user name of a record: false when it is empty or not NUL-terminated within its field.
bool AccountNameOfRecord(const VASPUserRecord& record, std::string& name);

class AccountStore {
public:
    const std::vector<VASPUserRecord>& Records() const { return records_; }
    // Index of the account, compared without regard to case, or -1.
    int Find(const std::string& name) const;
    // Replaces the account of the same name (taking the new record, spelling included) or
    // appends it. False (store unchanged) when the record's name is not valid.
    bool AddOrReplace(const VASPUserRecord& record);
    // False when there is no such account.
    bool Remove(const std::string& name);

    // The version this store was read as, or will be written as.
    userstore::FileStamp stamp;

private:
    friend bool ParseAccountFile(const uint8_t* data, size_t size, AccountStore& out);
    std::vector<VASPUserRecord> records_;
};

// Any failed check (size, magic, version, sizes, count, checksum, an empty or unterminated
// user name, a duplicate) gives false and leaves out alone.
bool ParseAccountFile(const uint8_t* data, size_t size, AccountStore& out);
std::vector<uint8_t> SerializeAccountFile(const AccountStore& store);

// Reads the store through the file operations USERS.DAT uses (userstore::UserFileSystem,
// here on VASPUSERS.DAT and its temporary file). A missing file is an empty store.
userstore::LoadResult LoadAccountFile(userstore::UserFileSystem& files, AccountStore& out);

// kRejected: a name that is not valid. Removing an absent account is kOk and writes nothing.
using userstore::CommitResult;

// Each re-reads the store, applies its one change and writes the new store through the
// temporary file. The caller serialises writers. On kOk, out holds the store as it now is.
CommitResult CommitAccountAdd(userstore::UserFileSystem& files, const VASPUserRecord& record, AccountStore& out);
CommitResult CommitAccountRemove(userstore::UserFileSystem& files, const std::string& name, AccountStore& out);

} // namespace vaspaccount
