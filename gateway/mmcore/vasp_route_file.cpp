// The outbound MMS routes, VASPOUT.DAT in the program data directory.
//
// Every change re-reads the file, applies itself and puts the complete new content in
// place through a temporary file and an atomic rename (vasp_route_store.cpp). Changes are
// serialised across processes by a machine-wide mutex; readers of the file (the MMSC
// service) read it whole at once, so the rename finds it closed.
#include "gateway/mmcore/mmcore.h"
#include "gateway/mmcore/vasp_route_store.h"
#include "gateway/gwcore/gwcore.h"

#include <cstring>
#include <string>

namespace {

using userstore::UserFileSystem;

const char kFileName[] = "VASPOUT.DAT";
const char kTempName[] = "VASPOUT.TMP";
const char kGlobalMutexName[] = "Global\\QelMMSCRouteFile";
const char kLocalMutexName[] = "QelMMSCRouteFile";
const DWORD kLockTimeoutMs = 30000;
// Another program (a virus scanner, a backup) may hold the file for a moment.
const int kRetries = 100;
const DWORD kRetryDelayMs = 20;

bool IsTransient(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
}

// VASPOUT.DAT and its temporary file in the data directory. Error() keeps the error of the
// step that failed, past the clean-up.
class Win32RouteFiles : public UserFileSystem {
public:
    bool Init()
    {
        char directory[MAX_PATH];
        DWORD len = GetProgramDataDirectory(directory);
        if (len == 0 || len + sizeof kFileName >= MAX_PATH) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return false;
        }
        path_ = std::string(directory) + kFileName;
        tempPath_ = std::string(directory) + kTempName;
        return true;
    }

    DWORD Error() const { return error_; }

    ReadStatus ReadFile(std::vector<uint8_t>& data) override
    {
        HANDLE file = OpenForReading();
        if (file == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
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
        DWORD done = 0;
        if (ok) {
            data.resize(static_cast<size_t>(size.QuadPart));
            while (ok && done < data.size()) {
                DWORD got = 0;
                ok = ::ReadFile(file, data.data() + done, static_cast<DWORD>(data.size() - done), &got, nullptr) &&
                     got > 0;
                done += got;
            }
        }
        if (!ok)
            Failed();
        CloseHandle(file);
        return ok ? ReadStatus::kOk : ReadStatus::kFailed;
    }

    bool CreateTemp() override
    {
        // Only the holder of the mutex writes the temporary file: a leftover from a killed
        // writer is simply truncated.
        temp_ =
            CreateFileA(tempPath_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        return temp_ != INVALID_HANDLE_VALUE || Failed();
    }

    bool WriteTemp(const uint8_t* data, size_t size) override
    {
        for (size_t done = 0; done < size;) {
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
            if (MoveFileExA(tempPath_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
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
        DeleteFileA(tempPath_.c_str());
    }

private:
    HANDLE OpenForReading()
    {
        for (int attempt = 0;; ++attempt) {
            HANDLE file =
                CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE)
                return file;
            DWORD error = GetLastError();
            if (attempt >= kRetries || !IsTransient(error))
                return INVALID_HANDLE_VALUE;
            Sleep(kRetryDelayMs);
            SetLastError(error);
        }
    }

    bool Failed()
    {
        error_ = GetLastError();
        return false;
    }

    std::string path_;
    std::string tempPath_;
    HANDLE temp_ = INVALID_HANDLE_VALUE;
    DWORD error_ = 0;
};

// Serialises changes across processes: the service runs in session 0, so the lock lives
// in the global namespace, with a session-local one for a process that can neither create
// nor open the global one.
class RouteFileLock {
public:
    RouteFileLock()
    {
        mutex_ = CreateMutexA(nullptr, FALSE, kGlobalMutexName);
        if (!mutex_)
            mutex_ = OpenMutexA(SYNCHRONIZE, FALSE, kGlobalMutexName);
        if (!mutex_)
            mutex_ = CreateMutexA(nullptr, FALSE, kLocalMutexName);
        if (!mutex_)
            return;
        // An abandoned mutex belonged to a writer that was killed; the file is whole
        // either way.
        DWORD wait = WaitForSingleObject(mutex_, kLockTimeoutMs);
        held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
        if (!held_)
            SetLastError(wait == WAIT_TIMEOUT ? ERROR_TIMEOUT : GetLastError());
    }
    ~RouteFileLock()
    {
        if (held_)
            ReleaseMutex(mutex_);
        if (mutex_)
            CloseHandle(mutex_);
    }
    RouteFileLock(const RouteFileLock&) = delete;
    RouteFileLock& operator=(const RouteFileLock&) = delete;

    bool Held() const { return held_; }

private:
    HANDLE mutex_ = nullptr;
    bool held_ = false;
};

BOOL Commit(vasproute::Change change, const std::string& routeName)
{
    if (!vasproute::IsPlainRouteName(routeName) || routeName.size() >= vasproute::kRecordSize) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    Win32RouteFiles files;
    if (!files.Init())
        return FALSE;
    RouteFileLock lock;
    if (!lock.Held())
        return FALSE;
    vasproute::RouteStore written;
    switch (vasproute::CommitRouteChange(files, change, routeName, written)) {
    case vasproute::CommitResult::kOk:
        return TRUE;
    case vasproute::CommitResult::kRejected:
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    case vasproute::CommitResult::kTooLarge:
        SetLastError(ERROR_FILE_TOO_LARGE);
        return FALSE;
    case vasproute::CommitResult::kCorrupt:
        SetLastError(ERROR_FILE_CORRUPT);
        return FALSE;
    case vasproute::CommitResult::kReadFailed:
    case vasproute::CommitResult::kWriteFailed:
        break;
    }
    SetLastError(files.Error() ? files.Error() : ERROR_WRITE_FAULT);
    return FALSE;
}

} // namespace

BOOL WINAPI VASPOutAddUser(const void* block)
{
    std::string routeName;
    if (!block || !vasproute::RouteNameOfBlock(block, routeName)) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    return Commit(vasproute::Change::kAddOrReplace, routeName);
}

BOOL WINAPI VASPOutDeleteUser(LPCSTR routeName)
{
    if (!routeName) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    return Commit(vasproute::Change::kRemove, routeName);
}
