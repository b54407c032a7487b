// The SMS user-account file: its on-disk format, the record operations, and the commit
// sequence that replaces the file without ever leaving a half-written one behind.
// No windows.h here: the Win32 side (user_file.cpp) supplies the file operations.
//
// USERS.DAT layout, all numbers little-endian:
//   offset  0  8 bytes  magic "QELUSERS"
//   offset  8  u32      format version (1)
//   offset 12  u32      header size (32)
//   offset 16  u32      record size (522)
//   offset 20  u32      record count
//   offset 24  u32      generation, incremented by every write
//   offset 28  u32      CRC-32 of bytes 0..27 followed by all records
//   offset 32           the records, each a raw UserRecord
// The file size is exactly header size + count * record size, and at most kLargestFile.
// Every string field of a
// stored record is NUL-terminated within its field, no user name is empty and no two names
// are equal without regard to case.
#pragma once

#include "gateway/gwcore/user_record.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace userstore {

constexpr char kMagic[8] = {'Q', 'E', 'L', 'U', 'S', 'E', 'R', 'S'};
constexpr uint32_t kFormatVersion = 1;
constexpr size_t kHeaderSize = 32;
constexpr size_t kRecordSize = sizeof(UserRecord);
// The largest account file there is (about 128,000 accounts): no reader takes a larger one
// and no commit writes one.
constexpr size_t kLargestFile = 64u * 1024 * 1024;

// Compares user names the way the account file does: without regard to case, folding
// ASCII and the Windows-1252 letters.
bool NamesEqual(const char* a, const char* b);
// True when name begins with prefix, compared without regard to case. An empty prefix
// matches every name.
bool NameStartsWith(const char* name, const char* prefix);

// Forces every string field of a record to end within its field; other bytes stay as given.
void TerminateStrings(UserRecord& record);

// What identifies one written version of the file: a changed file has a new generation.
struct FileStamp {
    uint32_t generation = 0;
    uint32_t checksum = 0;
    bool operator==(const FileStamp& other) const
    {
        return generation == other.generation && checksum == other.checksum;
    }
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

class UserStore {
public:
    int Count() const { return static_cast<int>(records_.size()); }
    const std::vector<UserRecord>& Records() const { return records_; }

    // False for a negative index or one past the end.
    bool Get(int index, UserRecord& out) const;
    // Index of the named user, or -1.
    int Find(const char* userName) const;
    // Index of the first user whose name begins with the text, or -1.
    int FindFirst(const char* prefix) const;
    // Replaces the record of the same name in place, or appends it. Strings are terminated
    // within their fields. False (store unchanged) for an empty name.
    bool AddOrReplace(const UserRecord& record);
    // False when no user of that name exists.
    bool Remove(const char* userName);

    // The version this store was read as, or will be written as.
    FileStamp stamp;

private:
    friend bool ParseUserFile(const uint8_t* data, size_t size, UserStore& out);
    std::vector<UserRecord> records_;
};

// The file's header alone, for a cheap check whether the file changed.
bool ParseHeader(const uint8_t* data, size_t size, FileStamp& stamp, uint32_t& count);

// Parses a complete file. Any failed check (size, magic, version, sizes, count, checksum,
// an unterminated string, an empty or duplicate name) gives false and leaves out alone.
bool ParseUserFile(const uint8_t* data, size_t size, UserStore& out);
// The complete file for a store, written with the store's stamp.generation.
std::vector<uint8_t> SerializeUserFile(const UserStore& store);

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

// The operations the commit sequence needs, on the account file and one temporary file
// beside it. The Win32 implementation works on USERS.DAT in the data directory; tests use
// one that fails at a chosen step.
class UserFileSystem {
public:
    enum class ReadStatus { kOk, kMissing, kFailed };

    virtual ~UserFileSystem() = default;
    // The largest file read or written, kLargestFile; tests make it small.
    virtual size_t LargestFile() const { return kLargestFile; }
    // The whole current account file.
    virtual ReadStatus ReadFile(std::vector<uint8_t>& data) = 0;
    // Creates (or truncates a leftover) temporary file.
    virtual bool CreateTemp() = 0;
    virtual bool WriteTemp(const uint8_t* data, size_t size) = 0;
    // Makes the temporary file's content durable before it replaces the account file.
    virtual bool FlushTemp() = 0;
    virtual bool CloseTemp() = 0;
    // Puts the temporary file in place of the account file in one atomic step.
    virtual bool ReplaceWithTemp() = 0;
    // Cleans up after a failed commit: closes and deletes the temporary file.
    virtual void DiscardTemp() = 0;
};

// Puts new content in place of the file: writes it to the temporary file, flushes and
// closes that, and replaces the file with it in one atomic step, so that a process killed
// at any point leaves the old or the new content. On failure the temporary file is
// discarded and false returned. Other stores of the gateway commit through it as well.
bool ReplaceFileContent(UserFileSystem& files, const std::vector<uint8_t>& content);

enum class LoadResult { kOk, kMissing, kReadFailed, kCorrupt };

// Reads the account file into out. A missing file gives an empty store and kMissing; one
// larger than files.LargestFile() is kCorrupt.
LoadResult LoadUserFile(UserFileSystem& files, UserStore& out);

enum class Change { kAddOrReplace, kRemove };
enum class CommitResult { kOk, kReadFailed, kCorrupt, kRejected, kTooLarge, kWriteFailed };

// Applies one change to the file as it is now: re-reads it, applies the change, writes the
// whole new content to the temporary file, flushes it and replaces the account file.
// The caller serialises writers. On kOk, out holds the store as written. kRejected: an
// empty name (add) or an unknown name (remove); kTooLarge: the new file would be larger
// than files.LargestFile(), which no reader would open. Nothing was written for either.
CommitResult CommitChange(UserFileSystem& files, Change change, const UserRecord& record, UserStore& out);

} // namespace userstore
