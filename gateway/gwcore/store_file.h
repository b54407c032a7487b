// The store files of the gateway's support libraries (USERS.DAT in GWCORE.DLL, VASPOUT.DAT
// and VASPUSERS.DAT in MMCORE.DLL): the file operations their commit sequence needs
// (userstore::UserFileSystem), the machine-wide lock that serialises a store's writers, and
// the error a commit's result sets. Both libraries link this one module.
//
// Readers open a store with every sharing mode and read it whole at once, so that the
// atomic rename of a commit finds it closed, or at least open for deletion. Another
// program (a virus scanner, a backup) may hold a file for a moment: such errors are retried.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "gateway/gwcore/user_store.h"

namespace storefile {

// What names a store: its file and temporary file in the data directory, and the name of
// its writers' mutex (tried in the global namespace first, see StoreLock).
struct StoreNames {
    const char* file;
    const char* temp;
    const char* lock;
};

// How a library finds its data directory (GetProgramDataDirectory of GWCORE.DLL): the
// folder with its trailing backslash, and its length (0 when it is not known).
using DirectoryFunction = DWORD(WINAPI*)(LPSTR buffer);

// A store file and its temporary file beside it in the data directory. Error() keeps the
// error of the step that failed last, past the clean-up.
class StoreFile : public userstore::UserFileSystem {
public:
    // False (GetLastError set) when the data directory is not known or a path would not fit.
    bool Init(DirectoryFunction dataDirectory, const StoreNames& names);

    const char* Path() const { return path_; }
    DWORD Error() const { return error_; }

    ReadStatus ReadFile(std::vector<uint8_t>& data) override;
    bool CreateTemp() override;
    bool WriteTemp(const uint8_t* data, size_t size) override;
    bool FlushTemp() override;
    bool CloseTemp() override;
    bool ReplaceWithTemp() override;
    void DiscardTemp() override;

private:
    bool Failed();

    char path_[MAX_PATH] = "";
    char tempPath_[MAX_PATH] = "";
    HANDLE temp_ = INVALID_HANDLE_VALUE;
    DWORD error_ = 0;
};

// Opens a store for reading with every sharing mode; errors of a program holding the file
// for a moment are retried. INVALID_HANDLE_VALUE with GetLastError set otherwise.
HANDLE OpenForReading(const char* path);
// The error of a store that does not exist (yet): it reads as empty.
bool IsMissing(DWORD error);
// Reads exactly size bytes; false (GetLastError set) on an error or an early end.
bool ReadExactly(HANDLE file, uint8_t* data, DWORD size);

// Holds a store's writer mutex for its lifetime. The services run in session 0, so the
// lock lives in the global namespace, open only to the local system account, the
// administrators and its creator, so that no other local process can take it and hold up
// every change. A process without the right to create global objects opens the services'
// one, and falls back to a session-local one when it can neither create nor open it. The
// mutex is re-entrant; an abandoned one belonged to a writer that was killed, and the file
// it was writing is whole either way. Held() is false (GetLastError set) when the lock
// could not be taken within the time.
class StoreLock {
public:
    StoreLock(const StoreNames& names, DWORD timeoutMs);
    ~StoreLock();
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    bool Held() const { return held_; }

private:
    HANDLE mutex_ = nullptr;
    bool held_ = false;
};

// A commit's outcome as the libraries' exports give it: TRUE for kOk; otherwise FALSE with
// the last error set: `rejectedError` for kRejected, ERROR_FILE_TOO_LARGE, ERROR_FILE_CORRUPT,
// or the failed file step's own error (ERROR_WRITE_FAULT when there is none).
BOOL CommitOutcome(userstore::CommitResult result, DWORD rejectedError, const StoreFile& files);

// Runs one commit (a function of the StoreFile giving a CommitResult) over a store in the
// data directory under the store's writers' lock, and gives its outcome (CommitOutcome).
template <typename Commit>
BOOL CommitUnderLock(DirectoryFunction dataDirectory, const StoreNames& names, DWORD lockTimeoutMs, DWORD rejectedError,
                     Commit commit)
{
    StoreFile files;
    if (!files.Init(dataDirectory, names))
        return FALSE;
    StoreLock lock(names, lockTimeoutMs);
    if (!lock.Held())
        return FALSE;
    return CommitOutcome(commit(files), rejectedError, files);
}

} // namespace storefile
