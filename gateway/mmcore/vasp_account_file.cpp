// The MMSC's VASP accounts (MM7 and EAIF logins), VASPUSERS.DAT in the program data
// directory.
//
// Every change re-reads the file, applies itself and puts the complete new content in
// place through a temporary file and an atomic rename (vasp_account_store.cpp). Changes
// are serialised across processes by a machine-wide mutex of their own (data_file.cpp);
// a look-up reads the file whole at once without it, since the rename swaps whole files.
#include "gateway/mmcore/data_file.h"
#include "gateway/mmcore/mmcore.h"
#include "gateway/mmcore/vasp_account_store.h"

#include <cstring>
#include <string>

namespace {

const char kFileName[] = "VASPUSERS.DAT";
const char kTempName[] = "VASPUSERS.TMP";
const char kGlobalMutexName[] = "Global\\QelMMSCAccountFile";
const char kLocalMutexName[] = "QelMMSCAccountFile";

// Sets the error for a failed commit or load: the file step's own error where there is one.
void SetCommitError(vaspaccount::CommitResult result, const mmcore::DataFile& files)
{
    switch (result) {
    case vaspaccount::CommitResult::kOk:
        return;
    case vaspaccount::CommitResult::kRejected:
        SetLastError(ERROR_INVALID_NAME);
        return;
    case vaspaccount::CommitResult::kTooLarge:
        SetLastError(ERROR_FILE_TOO_LARGE);
        return;
    case vaspaccount::CommitResult::kCorrupt:
        SetLastError(ERROR_FILE_CORRUPT);
        return;
    case vaspaccount::CommitResult::kReadFailed:
    case vaspaccount::CommitResult::kWriteFailed:
        break;
    }
    SetLastError(files.Error() ? files.Error() : ERROR_WRITE_FAULT);
}

// Runs one change over the file under the writers' lock.
template <typename Change>
BOOL Commit(Change change)
{
    mmcore::DataFile files;
    if (!files.Init(kFileName, kTempName))
        return FALSE;
    mmcore::DataFileLock lock(kGlobalMutexName, kLocalMutexName);
    if (!lock.Held())
        return FALSE;
    vaspaccount::AccountStore written;
    vaspaccount::CommitResult result = change(files, written);
    SetCommitError(result, files);
    return result == vaspaccount::CommitResult::kOk;
}

} // namespace

BOOL WINAPI VASPFindUserRecord(LPCSTR accountName, void* record)
{
    if (!accountName || !record) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    mmcore::DataFile files;
    if (!files.Init(kFileName, kTempName))
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
    return Commit([&copy](mmcore::DataFile& files, vaspaccount::AccountStore& out) {
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
    return Commit([&name](mmcore::DataFile& files, vaspaccount::AccountStore& out) {
        return vaspaccount::CommitAccountRemove(files, name, out);
    });
}
