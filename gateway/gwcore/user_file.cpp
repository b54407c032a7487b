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
#include "gateway/gwcore/user_store.h"

#include <cstring>
#include <new>

namespace {

using userstore::UserFileSystem;

const char kFileName[] = "USERS.DAT";
const char kTempName[] = "USERS.TMP";
const char kGlobalMutexName[] = "Global\\QelSMSUserFile";
const char kLocalMutexName[] = "QelSMSUserFile";
const DWORD kWriteLockTimeoutMs = 30000;
const DWORD kReadLockTimeoutMs = 10000;
const DWORD kHandleSignature = 0x52455355; // "USER"

// Another program (a virus scanner, a backup) may hold the file for a moment.
bool IsTransient(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
}

const int kRetries = 100;
const DWORD kRetryDelayMs = 20;

HANDLE OpenForReading(const char* path)
{
    for (int attempt = 0;; ++attempt) {
        HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            return file;
        DWORD error = GetLastError();
        if (attempt >= kRetries || !IsTransient(error))
            return INVALID_HANDLE_VALUE;
        Sleep(kRetryDelayMs);
        SetLastError(error);
    }
}

bool IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool ReadExactly(HANDLE file, uint8_t* data, DWORD size)
{
    DWORD done = 0;
    while (done < size) {
        DWORD got = 0;
        if (!::ReadFile(file, data + done, size - done, &got, nullptr))
            return false;
        if (got == 0) {
            SetLastError(ERROR_HANDLE_EOF);
            return false;
        }
        done += got;
    }
    return true;
}

// USERS.DAT and its temporary file in the data directory.
class Win32UserFiles : public UserFileSystem {
public:
    bool Init()
    {
        char directory[MAX_PATH];
        DWORD len = GetProgramDataDirectory(directory);
        if (len == 0 || len + sizeof kFileName >= MAX_PATH) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return false;
        }
        strcpy(path_, directory);
        strcat(path_, kFileName);
        strcpy(tempPath_, directory);
        strcat(tempPath_, kTempName);
        return true;
    }

    const char* Path() const { return path_; }
    // The error of the step that failed last, kept past the clean-up.
    DWORD Error() const { return error_; }

    ReadStatus ReadFile(std::vector<uint8_t>& data) override
    {
        HANDLE file = OpenForReading(path_);
        if (file == INVALID_HANDLE_VALUE)
            return IsMissing(GetLastError()) ? ReadStatus::kMissing : Fail();
        LARGE_INTEGER size;
        bool ok = GetFileSizeEx(file, &size) != 0;
        // Checked before reading, so that a huge file is never taken into memory.
        if (ok && (size.QuadPart < 0 || static_cast<ULONGLONG>(size.QuadPart) > LargestFile())) {
            SetLastError(ERROR_FILE_CORRUPT);
            ok = false;
        }
        if (ok) {
            data.resize(static_cast<size_t>(size.QuadPart));
            ok = ReadExactly(file, data.data(), static_cast<DWORD>(data.size()));
        }
        DWORD error = GetLastError();
        CloseHandle(file);
        if (!ok) {
            SetLastError(error);
            return Fail();
        }
        return ReadStatus::kOk;
    }

    bool CreateTemp() override
    {
        // Only the holder of the writer mutex writes the temporary file: a leftover from a
        // killed writer is simply truncated.
        temp_ = CreateFileA(tempPath_, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        return temp_ != INVALID_HANDLE_VALUE || Failed();
    }

    bool WriteTemp(const uint8_t* data, size_t size) override
    {
        size_t done = 0;
        while (done < size) {
            DWORD wrote = 0;
            if (!WriteFile(temp_, data + done, static_cast<DWORD>(size - done), &wrote, nullptr) || wrote == 0)
                return Failed();
            done += wrote;
        }
        return true;
    }

    bool FlushTemp() override { return FlushFileBuffers(temp_) || Failed(); }

    bool CloseTemp() override
    {
        HANDLE file = temp_;
        temp_ = INVALID_HANDLE_VALUE;
        return CloseHandle(file) || Failed();
    }

    bool ReplaceWithTemp() override
    {
        for (int attempt = 0;; ++attempt) {
            if (MoveFileExA(tempPath_, path_, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
                return true;
            DWORD error = GetLastError();
            if (attempt >= kRetries || !IsTransient(error))
                return Failed();
            Sleep(kRetryDelayMs);
        }
    }

    void DiscardTemp() override
    {
        if (temp_ != INVALID_HANDLE_VALUE) {
            CloseHandle(temp_);
            temp_ = INVALID_HANDLE_VALUE;
        }
        DeleteFileA(tempPath_);
    }

private:
    bool Failed()
    {
        error_ = GetLastError();
        return false;
    }
    ReadStatus Fail()
    {
        Failed();
        return ReadStatus::kFailed;
    }

    char path_[MAX_PATH] = "";
    char tempPath_[MAX_PATH] = "";
    HANDLE temp_ = INVALID_HANDLE_VALUE;
    DWORD error_ = 0;
};

// Who may use the file lock: the local system account (the services), the administrators
// and the user whose process creates it. Nobody else can open the lock, so no other local
// process can take it and hold up every account change.
class LockSecurity {
public:
    LockSecurity()
    {
        DWORD systemSize = sizeof system_;
        DWORD administratorsSize = sizeof administrators_;
        if (!CreateWellKnownSid(WinLocalSystemSid, nullptr, system_, &systemSize) ||
            !CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators_, &administratorsSize) ||
            !ReadProcessUser() || !InitializeAcl(Acl(), sizeof acl_, ACL_REVISION))
            return;
        PSID trustees[] = {system_, administrators_, user_};
        for (PSID trustee : trustees) {
            // A service creating the lock is the local system account already.
            if (trustee == user_ && EqualSid(user_, system_))
                continue;
            if (!AddAccessAllowedAce(Acl(), ACL_REVISION, MUTEX_ALL_ACCESS, trustee))
                return;
        }
        ready_ = InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
                 SetSecurityDescriptorDacl(&descriptor_, TRUE, Acl(), FALSE);
    }
    LockSecurity(const LockSecurity&) = delete;
    LockSecurity& operator=(const LockSecurity&) = delete;

    // What to create the lock with; null, the creator's default security, when the
    // descriptor could not be built.
    SECURITY_ATTRIBUTES* Attributes() { return ready_ ? &attributes_ : nullptr; }

private:
    bool ReadProcessUser()
    {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            return false;
        DWORD buffer[(sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE) / sizeof(DWORD) + 1];
        DWORD size = 0;
        bool ok = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
                  CopySid(sizeof user_, user_, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
        CloseHandle(token);
        return ok;
    }
    ACL* Acl() { return reinterpret_cast<ACL*>(acl_); }

    // DWORD arrays keep the SIDs and the list aligned.
    DWORD system_[SECURITY_MAX_SID_SIZE / sizeof(DWORD)];
    DWORD administrators_[SECURITY_MAX_SID_SIZE / sizeof(DWORD)];
    DWORD user_[SECURITY_MAX_SID_SIZE / sizeof(DWORD)];
    DWORD acl_[(sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)) / sizeof(DWORD)];
    SECURITY_DESCRIPTOR descriptor_;
    SECURITY_ATTRIBUTES attributes_ = {sizeof attributes_, &descriptor_, FALSE};
    bool ready_ = false;
};

// Serialises access to the file across processes. The services run in session 0, so the
// lock lives in the global namespace, open to the services, the administrators and its
// creator (LockSecurity); a user without the right to create global objects opens the
// services' one, and falls back to a session-local one when it can neither create nor
// open the global one. The mutex is re-entrant: a commit reads under the lock it writes
// under.
class FileLock {
public:
    explicit FileLock(DWORD timeoutMs)
    {
        LockSecurity security;
        mutex_ = CreateMutexA(security.Attributes(), FALSE, kGlobalMutexName);
        if (!mutex_)
            mutex_ = OpenMutexA(SYNCHRONIZE, FALSE, kGlobalMutexName);
        if (!mutex_)
            mutex_ = CreateMutexA(security.Attributes(), FALSE, kLocalMutexName);
        if (!mutex_)
            return;
        // An abandoned mutex belonged to a writer that was killed; the file it was writing
        // is whole either way, so the lock is ours.
        DWORD wait = WaitForSingleObject(mutex_, timeoutMs);
        held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
        if (!held_)
            SetLastError(wait == WAIT_TIMEOUT ? ERROR_TIMEOUT : GetLastError());
    }
    ~FileLock()
    {
        if (held_)
            ReleaseMutex(mutex_);
        if (mutex_)
            CloseHandle(mutex_);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool Held() const { return held_; }

private:
    HANDLE mutex_ = nullptr;
    bool held_ = false;
};

struct UserFile {
    DWORD signature = kHandleSignature;
    bool writable = false;
    CRITICAL_SECTION guard;
    Win32UserFiles files;
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
    HANDLE handle = OpenForReading(file->files.Path());
    if (handle == INVALID_HANDLE_VALUE) {
        if (IsMissing(GetLastError()))
            file->store = userstore::UserStore();
        return;
    }
    uint8_t header[userstore::kHeaderSize];
    bool read = ReadExactly(handle, header, sizeof header);
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

    Win32UserFiles& files = file->files;
    userstore::UserStore written;
    switch (userstore::CommitChange(files, change, *record, written)) {
    case userstore::CommitResult::kOk:
        file->store = std::move(written);
        return TRUE;
    case userstore::CommitResult::kRejected:
        SetLastError(change == userstore::Change::kRemove ? ERROR_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return FALSE;
    case userstore::CommitResult::kTooLarge:
        SetLastError(ERROR_FILE_TOO_LARGE);
        return FALSE;
    case userstore::CommitResult::kCorrupt:
        SetLastError(ERROR_FILE_CORRUPT);
        return FALSE;
    case userstore::CommitResult::kReadFailed:
    case userstore::CommitResult::kWriteFailed:
        break;
    }
    SetLastError(files.Error() ? files.Error() : ERROR_WRITE_FAULT);
    return FALSE;
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
    if (!file->files.Init()) {
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
