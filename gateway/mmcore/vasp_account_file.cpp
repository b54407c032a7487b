// The MMSC's VASP accounts (MM7 and EAIF logins), VASPUSERS.DAT in the program data
// directory.
//
// Every change re-reads the file, applies itself and puts the complete new content in
// place through a temporary file and an atomic rename (vasp_account_store.cpp). Changes
// are serialised across processes by a machine-wide mutex of their own (store_file.h);
// a look-up reads the file whole at once without it, since the rename swaps whole files.
#include "gateway/gwcore/gwcore.h"
#include "gateway/gwcore/store_file.h"
#include "gateway/mmcore/mmcore.h"
#include "gateway/mmcore/vasp_account_store.h"

#include <cstring>
#include <string>

namespace {

const storefile::StoreNames kStore = {"VASPUSERS.DAT", "VASPUSERS.TMP", "QelMMSCAccountFile"};
const DWORD kLockTimeoutMs = 30000;

// Runs one change over the file under the writers' lock.
template <typename Change>
BOOL Commit(Change change)
{
    return storefile::CommitUnderLock(GetProgramDataDirectory, kStore, kLockTimeoutMs, ERROR_INVALID_NAME,
                                      [&change](storefile::StoreFile& files) {
                                          vaspaccount::AccountStore written;
                                          return change(files, written);
                                      });
}

} // namespace

BOOL WINAPI VASPFindUserRecord(LPCSTR accountName, void* record)
{
    if (!accountName || !record) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    storefile::StoreFile files;
    if (!files.Init(GetProgramDataDirectory, kStore))
        return FALSE;
    vaspaccount::AccountStore store;
    switch (vaspaccount::LoadAccountFile(files, store)) {
    case userstore::LoadResult::kCorrupt:
        SetLastError(ERROR_FILE_CORRUPT);
        return FALSE;
    case userstore::LoadResult::kReadFailed:
        SetLastError(files.Error() ? files.Error() : ERROR_READ_FAULT);
        return FALSE;
    case userstore::LoadResult::kOk:
    case userstore::LoadResult::kMissing:
        break;
    }
    int index = store.Find(accountName);
    if (index < 0) {
        SetLastError(ERROR_NOT_FOUND);
        return FALSE;
    }
    memcpy(record, &store.Records()[static_cast<size_t>(index)], sizeof(VASPUserRecord));
    return TRUE;
}

BOOL WINAPI VASPAddUser(const void* record)
{
    VASPUserRecord copy;
    std::string name;
    if (record)
        memcpy(&copy, record, sizeof copy);
    if (!record || !vaspaccount::AccountNameOfRecord(copy, name)) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    return Commit([&copy](storefile::StoreFile& files, vaspaccount::AccountStore& out) {
        return vaspaccount::CommitAccountAdd(files, copy, out);
    });
}

BOOL WINAPI VASPDeleteUser(LPCSTR accountName)
{
    if (!accountName || !vaspaccount::IsValidAccountName(accountName)) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    const std::string name = accountName;
    return Commit([&name](storefile::StoreFile& files, vaspaccount::AccountStore& out) {
        return vaspaccount::CommitAccountRemove(files, name, out);
    });
}
