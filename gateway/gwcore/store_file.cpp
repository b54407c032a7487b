#include "gateway/gwcore/store_file.h"

#include <cstring>
#include <string>

namespace storefile {

namespace {

const int kRetries = 100;
const DWORD kRetryDelayMs = 20;

// Another program (a virus scanner, a backup) may hold the file for a moment.
bool IsTransient(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
}

bool JoinPath(char (&out)[MAX_PATH], const char* directory, const char* leaf)
{
    size_t length = strlen(directory);
    if (length + strlen(leaf) >= MAX_PATH)
        return false;
    memcpy(out, directory, length);
    strcpy(out + length, leaf);
    return true;
}

// Who may use a store's lock: the local system account (the services), the administrators
// and the user whose process creates it.
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

} // namespace

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

bool StoreFile::Init(DirectoryFunction dataDirectory, const StoreNames& names)
{
    char directory[MAX_PATH];
    DWORD length = dataDirectory(directory);
    if (length == 0 || length >= MAX_PATH || !JoinPath(path_, directory, names.file) ||
        !JoinPath(tempPath_, directory, names.temp)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    return true;
}

StoreFile::ReadStatus StoreFile::ReadFile(std::vector<uint8_t>& data)
{
    HANDLE file = OpenForReading(path_);
    if (file == INVALID_HANDLE_VALUE) {
        if (IsMissing(GetLastError()))
            return ReadStatus::kMissing;
        Failed();
        return ReadStatus::kFailed;
    }
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
    if (!ok)
        Failed();
    CloseHandle(file);
    return ok ? ReadStatus::kOk : ReadStatus::kFailed;
}

bool StoreFile::CreateTemp()
{
    // Only the holder of the store's lock writes the temporary file: a leftover from a
    // killed writer is simply truncated.
    temp_ = CreateFileA(tempPath_, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return temp_ != INVALID_HANDLE_VALUE || Failed();
}

bool StoreFile::WriteTemp(const uint8_t* data, size_t size)
{
    for (size_t done = 0; done < size;) {
        DWORD wrote = 0;
        if (!WriteFile(temp_, data + done, static_cast<DWORD>(size - done), &wrote, nullptr) || wrote == 0)
            return Failed();
        done += wrote;
    }
    return true;
}

bool StoreFile::FlushTemp()
{
    return FlushFileBuffers(temp_) || Failed();
}

bool StoreFile::CloseTemp()
{
    HANDLE file = temp_;
    temp_ = INVALID_HANDLE_VALUE;
    return CloseHandle(file) || Failed();
}

bool StoreFile::ReplaceWithTemp()
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

void StoreFile::DiscardTemp()
{
    if (temp_ != INVALID_HANDLE_VALUE) {
        CloseHandle(temp_);
        temp_ = INVALID_HANDLE_VALUE;
    }
    DeleteFileA(tempPath_);
}

bool StoreFile::Failed()
{
    error_ = GetLastError();
    return false;
}

StoreLock::StoreLock(const StoreNames& names, DWORD timeoutMs)
{
    LockSecurity security;
    const std::string globalName = std::string("Global\\") + names.lock;
    mutex_ = CreateMutexA(security.Attributes(), FALSE, globalName.c_str());
    if (!mutex_)
        mutex_ = OpenMutexA(SYNCHRONIZE, FALSE, globalName.c_str());
    if (!mutex_)
        mutex_ = CreateMutexA(security.Attributes(), FALSE, names.lock);
    if (!mutex_)
        return;
    DWORD wait = WaitForSingleObject(mutex_, timeoutMs);
    held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    if (!held_)
        SetLastError(wait == WAIT_TIMEOUT ? ERROR_TIMEOUT : GetLastError());
}

StoreLock::~StoreLock()
{
    if (held_)
        ReleaseMutex(mutex_);
    if (mutex_)
        CloseHandle(mutex_);
}

BOOL CommitOutcome(userstore::CommitResult result, DWORD rejectedError, const StoreFile& files)
{
    using userstore::CommitResult;
    switch (result) {
    case CommitResult::kOk:
        return TRUE;
    case CommitResult::kRejected:
        SetLastError(rejectedError);
        return FALSE;
    case CommitResult::kTooLarge:
        SetLastError(ERROR_FILE_TOO_LARGE);
        return FALSE;
    case CommitResult::kCorrupt:
        SetLastError(ERROR_FILE_CORRUPT);
        return FALSE;
    case CommitResult::kReadFailed:
    case CommitResult::kWriteFailed:
        break;
    }
    SetLastError(files.Error() ? files.Error() : ERROR_WRITE_FAULT);
    return FALSE;
}

} // namespace storefile
