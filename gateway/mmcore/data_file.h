// The MMSC's stores in the program data directory (VASPOUT.DAT, VASPUSERS.DAT): the file
// operations their commit sequence needs (userstore::UserFileSystem) and the machine-wide
// lock that serialises the writers of one store across processes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "gateway/gwcore/user_store.h"

namespace mmcore {

// A store file and its temporary file beside it in the data directory. Error() keeps the
// error of the step that failed, past the clean-up.
class DataFile : public userstore::UserFileSystem {
public:
    // False (GetLastError set) when the data directory cannot be found.
    bool Init(const char* fileName, const char* tempName);

    DWORD Error() const { return error_; }

    ReadStatus ReadFile(std::vector<uint8_t>& data) override;
    bool CreateTemp() override;
    bool WriteTemp(const uint8_t* data, size_t size) override;
    bool FlushTemp() override;
    bool CloseTemp() override;
    bool ReplaceWithTemp() override;
    void DiscardTemp() override;

private:
    HANDLE OpenForReading();
    bool Failed();

    std::string path_;
    std::string tempPath_;
    HANDLE temp_ = INVALID_HANDLE_VALUE;
    DWORD error_ = 0;
};

// Holds a store's mutex for its lifetime. The service runs in session 0, so the lock lives
// in the global namespace, with a session-local one for a process that can neither create
// nor open the global one. Held() is false (GetLastError set) when it could not be taken.
class DataFileLock {
public:
    DataFileLock(const char* globalName, const char* localName);
    ~DataFileLock();
    DataFileLock(const DataFileLock&) = delete;
    DataFileLock& operator=(const DataFileLock&) = delete;

    bool Held() const { return held_; }

private:
    HANDLE mutex_ = nullptr;
    bool held_ = false;
};

} // namespace mmcore
