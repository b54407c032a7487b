// The SMS user-account file, USERS.DAT in the program data directory.
//
// A handle holds a snapshot of the file. A write re-reads the file as it is now, applies
// its one change and puts the complete new content in place through a temporary file and
// an atomic rename (user_store.cpp): a writer killed at any point leaves the old file
// intact. Windows refuses to rename over a file that is open, so every access, reads
// included, holds a machine-wide mutex for the moment it has the file open, and readers
// read the file whole and close it at once. Other programs (a virus scanner, a backup)
// that open the file for a moment are waited out.
//
// The snapshot follows changes made by other handles and processes: SMSGetRecordCount,
// SMSGetUserRecord for index 0 (where every listing starts), SMSFindFirstUserRecord and
// SMSFindUserRecord first compare the file's header with the snapshot's and re-read the
// file when it was written since.
#include "gateway/gwcore/gwcore.h"
#include "gateway/gwcore/store_file.h"
#include "gateway/gwcore/user_store.h"

#include <new>

namespace {

const storefile::StoreNames kStore = {"USERS.DAT", "USERS.TMP", "QelSMSUserFile"};
const DWORD kWriteLockTimeoutMs = 30000;
const DWORD kReadLockTimeoutMs = 10000;
const DWORD kHandleSignature = 0x52455355; // "USER"

// Serialises access to the file across processes (store_file.h).
class FileLock : public storefile::StoreLock {
public:
    explicit FileLock(DWORD timeoutMs) : StoreLock(kStore, timeoutMs) {}
};

struct UserFile {
    DWORD signature = kHandleSignature;
    bool writable = false;
    CRITICAL_SECTION guard;
    storefile::StoreFile files;
    userstore::UserStore store;

    UserFile() { InitializeCriticalSection(&guard); }
    ~UserFile()
    {
        signature = 0;
        DeleteCriticalSection(&guard);
    }
};

class Guard {
public:
    explicit Guard(UserFile* file) : file_(file) { EnterCriticalSection(&file_->guard); }
    ~Guard() { LeaveCriticalSection(&file_->guard); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    UserFile* file_;
};

UserFile* FromHandle(SMSUSERFILE handle)
{
    UserFile* file = static_cast<UserFile*>(handle);
    if (!file || file->signature != kHandleSignature) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return file;
}

// Re-reads the file when its header says it was written since the snapshot was taken.
// A file that cannot be read just now leaves the snapshot as it is.
void Refresh(UserFile* file)
{
    // A reader that cannot get the lock reads anyway: the file is whole at every moment,
    // only a writer's rename could be delayed.
    FileLock lock(kReadLockTimeoutMs);
    HANDLE handle = storefile::OpenForReading(file->files.Path());
    if (handle == INVALID_HANDLE_VALUE) {
        if (storefile::IsMissing(GetLastError()))
            file->store = userstore::UserStore();
        return;
    }
    uint8_t header[userstore::kHeaderSize];
    bool read = storefile::ReadExactly(handle, header, sizeof header);
    CloseHandle(handle);
    userstore::FileStamp stamp;
    uint32_t count = 0;
    if (!read || !userstore::ParseHeader(header, sizeof header, stamp, count) || stamp == file->store.stamp)
        return;
    userstore::UserStore fresh;
    if (userstore::LoadUserFile(file->files, fresh) == userstore::LoadResult::kOk)
        file->store = std::move(fresh);
}

BOOL Commit(SMSUSERFILE handle, userstore::Change change, const UserRecord* record)
{
    UserFile* file = FromHandle(handle);
    if (!file)
        return FALSE;
    if (!record) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!file->writable) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    Guard guard(file);
    FileLock lock(kWriteLockTimeoutMs);
    if (!lock.Held())
        return FALSE;

    userstore::UserStore written;
    userstore::CommitResult result = userstore::CommitChange(file->files, change, *record, written);
    if (result == userstore::CommitResult::kOk)
        file->store = std::move(written);
    DWORD rejected = change == userstore::Change::kRemove ? ERROR_NOT_FOUND : ERROR_INVALID_PARAMETER;
    return storefile::CommitOutcome(result, rejected, file->files);
}

} // namespace

BOOL WINAPI SMSOpenUserFile(SMSUSERFILE* handle, DWORD access)
{
    if (!handle) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *handle = nullptr;
    if (!(access & (GENERIC_READ | GENERIC_WRITE))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    UserFile* file = new (std::nothrow) UserFile;
    if (!file) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    file->writable = (access & GENERIC_WRITE) != 0;
    if (!file->files.Init(GetProgramDataDirectory, kStore)) {
        delete file;
        return FALSE;
    }
    // A missing file is an empty one; it is created by the first write. A damaged one is
    // never taken for empty: the next write would lose every account.
    userstore::LoadResult loaded;
    {
        FileLock lock(kReadLockTimeoutMs);
        loaded = userstore::LoadUserFile(file->files, file->store);
    }
    switch (loaded) {
    case userstore::LoadResult::kOk:
    case userstore::LoadResult::kMissing:
        *handle = file;
        return TRUE;
    case userstore::LoadResult::kCorrupt:
        delete file;
        SetLastError(ERROR_FILE_CORRUPT);
        return FALSE;
    case userstore::LoadResult::kReadFailed:
        break;
    }
    DWORD error = file->files.Error();
    delete file;
    SetLastError(error ? error : ERROR_READ_FAULT);
    return FALSE;
}

void WINAPI SMSCloseUserFile(SMSUSERFILE handle)
{
    if (UserFile* file = FromHandle(handle))
        delete file;
}

int WINAPI SMSGetRecordCount(SMSUSERFILE handle)
{
    UserFile* file = FromHandle(handle);
    if (!file)
        return 0;
    Guard guard(file);
    Refresh(file);
    return file->store.Count();
}

BOOL WINAPI SMSGetUserRecord(SMSUSERFILE handle, int index, UserRecord* record)
{
    UserFile* file = FromHandle(handle);
    if (!file || !record)
        return FALSE;
    Guard guard(file);
    if (index == 0)
        Refresh(file);
    return file->store.Get(index, *record) ? TRUE : FALSE;
}

int WINAPI SMSFindFirstUserRecord(SMSUSERFILE handle, LPCSTR searchText, UserRecord* record)
{
    UserFile* file = FromHandle(handle);
    if (!file || !searchText)
        return -1;
    Guard guard(file);
    Refresh(file);
    int index = file->store.FindFirst(searchText);
    if (index >= 0 && record)
        file->store.Get(index, *record);
    return index;
}

BOOL WINAPI SMSFindUserRecord(SMSUSERFILE handle, LPCSTR userName, UserRecord* record)
{
    UserFile* file = FromHandle(handle);
    if (!file || !userName)
        return FALSE;
    Guard guard(file);
    Refresh(file);
    int index = file->store.Find(userName);
    if (index < 0)
        return FALSE;
    if (record)
        file->store.Get(index, *record);
    return TRUE;
}

BOOL WINAPI SMSAddUser(SMSUSERFILE handle, const UserRecord* record)
{
    return Commit(handle, userstore::Change::kAddOrReplace, record);
}

BOOL WINAPI SMSDeleteUser(SMSUSERFILE handle, const UserRecord* record)
{
    return Commit(handle, userstore::Change::kRemove, record);
}
