// The MMSC's store files in the program data directory and the lock of their writers.
//
// Readers open a store with every sharing mode and read it whole at once, so the atomic
// rename of a commit finds it closed or at least open for deletion. Another program (a
// virus scanner, a backup) may hold a file for a moment: such errors are retried.
#include "gateway/mmcore/data_file.h"
#include "gateway/gwcore/gwcore.h"

#include <cstring>

namespace mmcore {

namespace {

const DWORD kLockTimeoutMs = 30000;
const int kRetries = 100;
const DWORD kRetryDelayMs = 20;

bool IsTransient(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
}

} // namespace

bool DataFile::Init(const char* fileName, const char* tempName)
{
    char directory[MAX_PATH];
    DWORD len = GetProgramDataDirectory(directory);
    if (len == 0 || len + strlen(fileName) >= MAX_PATH || len + strlen(tempName) >= MAX_PATH) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    path_ = std::string(directory) + fileName;
    tempPath_ = std::string(directory) + tempName;
    return true;
}

DataFile::ReadStatus DataFile::ReadFile(std::vector<uint8_t>& data)
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
            ok = ::ReadFile(file, data.data() + done, static_cast<DWORD>(data.size() - done), &got, nullptr) && got > 0;
            done += got;
        }
    }
    if (!ok)
        Failed();
    CloseHandle(file);
    return ok ? ReadStatus::kOk : ReadStatus::kFailed;
}

bool DataFile::CreateTemp()
{
    // Only the holder of the store's lock writes the temporary file: a leftover from a
    // killed writer is simply truncated.
    temp_ = CreateFileA(tempPath_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return temp_ != INVALID_HANDLE_VALUE || Failed();
}

bool DataFile::WriteTemp(const uint8_t* data, size_t size)
{
    for (size_t done = 0; done < size;) {
        DWORD wrote = 0;
        if (!WriteFile(temp_, data + done, static_cast<DWORD>(size - done), &wrote, nullptr) || wrote == 0)
            return Failed();
        done += wrote;
    }
    return true;
}

bool DataFile::FlushTemp()
{
    return FlushFileBuffers(temp_) || Failed();
}

bool DataFile::CloseTemp()
{
    HANDLE file = temp_;
    temp_ = INVALID_HANDLE_VALUE;
    return CloseHandle(file) || Failed();
}

bool DataFile::ReplaceWithTemp()
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

void DataFile::DiscardTemp()
{
    if (temp_ != INVALID_HANDLE_VALUE) {
        CloseHandle(temp_);
        temp_ = INVALID_HANDLE_VALUE;
    }
    DeleteFileA(tempPath_.c_str());
}

HANDLE DataFile::OpenForReading()
{
    for (int attempt = 0;; ++attempt) {
        HANDLE file = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
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

bool DataFile::Failed()
{
    error_ = GetLastError();
    return false;
}

DataFileLock::DataFileLock(const char* globalName, const char* localName)
{
    mutex_ = CreateMutexA(nullptr, FALSE, globalName);
    if (!mutex_)
        mutex_ = OpenMutexA(SYNCHRONIZE, FALSE, globalName);
    if (!mutex_)
        mutex_ = CreateMutexA(nullptr, FALSE, localName);
    if (!mutex_)
        return;
    // An abandoned mutex belonged to a writer that was killed; the file is whole either way.
    DWORD wait = WaitForSingleObject(mutex_, kLockTimeoutMs);
    held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    if (!held_)
        SetLastError(wait == WAIT_TIMEOUT ? ERROR_TIMEOUT : GetLastError());
}

DataFileLock::~DataFileLock()
{
    if (held_)
        ReleaseMutex(mutex_);
    if (mutex_)
        CloseHandle(mutex_);
}

} // namespace mmcore
