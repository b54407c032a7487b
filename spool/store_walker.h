// StoreWalker: the walk over one file pattern in a message store directory and its
// immediate sub-directories, pruning the empty sub-directories that have stood untouched for
// a while. The file system is reached through a small interface so that the walk can be
// tested without one. Portable: no windows.h.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// File times as the file system gives them: 100-nanosecond intervals since 1601, UTC.
typedef uint64_t FileTimeValue;
const FileTimeValue kFileTimeMinute = 60ull * 10000000ull;

struct DirectoryEntry {
    std::string name;
    bool isDirectory = false;
    FileTimeValue creationTime = 0;
    FileTimeValue lastWriteTime = 0;
    uint64_t size = 0;
    std::string shortName; // the name's 8.3 form when the file system gives one, else empty
};

// One running directory search.
class DirectorySearch {
public:
    virtual ~DirectorySearch() = default;
    // The next entry; false when the search is exhausted.
    virtual bool Next(DirectoryEntry& entry) = 0;
};

class StoreFileSystem {
public:
    virtual ~StoreFileSystem() = default;
    // Starts a search for a path ending in a pattern ("C:\S\*", "C:\S\Q1\*.IN"); null when
    // nothing matches or the search cannot start.
    virtual std::unique_ptr<DirectorySearch> Search(const std::string& pattern) = 0;
    // The entry of the file or directory at path itself; false when there is none.
    virtual bool Lookup(const std::string& path, DirectoryEntry& entry) = 0;
    // Removes a directory; fails, silently, for one that is not empty.
    virtual void RemoveEmptyDirectory(const std::string& path) = 0;
    virtual FileTimeValue NowUtc() = 0;
};

// Sub-directories left empty and unwritten for longer than this are removed.
const FileTimeValue kStorePruneAge = 5 * kFileTimeMinute;
// The longest path the platform's ANSI file functions take, without its terminating NUL.
const size_t kPathLimit = 259;
// Room kept after a sub-directory's path for the names of the files in it.
const size_t kFileNameRoom = 13;

// Whether a walk prunes: the received message stores are pruned, the outbound queues never.
enum class Pruning { EmptyOldSubDirectories, None };

class StoreWalker {
public:
    explicit StoreWalker(StoreFileSystem& fileSystem, Pruning pruning = Pruning::EmptyOldSubDirectories);
    ~StoreWalker();
    StoreWalker(const StoreWalker&) = delete;
    StoreWalker& operator=(const StoreWalker&) = delete;

    // Starts the walk: storeDirectory ends with a backslash, pattern such as "*.IN". True
    // when there is a first file, which the walker is then positioned on. Only files whose
    // own name matches the pattern (MatchesStorePattern) are given, whatever else the file
    // system's search answers with (Windows also matches 8.3 names: "A.REQX" for "*.REQ").
    bool First(const std::string& storeDirectory, const std::string& pattern);
    // Moves to the next file; false when the walk is done.
    bool Next();
    // Ends the searches; a sub-directory whose search did not run to its end is not pruned.
    void Close();

    // The current file: its name, its key (the sub-directory name and a backslash when it
    // lies in one, then the name; the file is at store directory + key) and its entry.
    // A name that does not reach its own file or folder when written into a path (one
    // ending in "." or a blank, or one too long for the path) is replaced by its short name
    // in the key; a folder that has no such replacement is left out of the walk, so that a
    // key never reaches another folder's files.
    const std::string& FileName() const { return file_.name; }
    const std::string& Key() const { return key_; }
    const DirectoryEntry& File() const { return file_; }

private:
    bool Advance();
    // The name by which a sub-directory is reached, or empty when it cannot be.
    std::string SubDirectoryName(const DirectoryEntry& directory) const;
    void Prune(const std::string& subDirectory);

    StoreFileSystem& fileSystem_;
    Pruning pruning_;
    std::string store_;
    std::string pattern_;
    std::unique_ptr<DirectorySearch> outer_;
    std::unique_ptr<DirectorySearch> inner_;
    bool innerRunning_ = false;
    std::string subDirectory_;
    std::string key_;
    DirectoryEntry file_;
};

// Whether a file name matches a store pattern: '*' stands for any run of characters (none
// included), '?' for one, anything else for itself without regard to ASCII letter case.
bool MatchesStorePattern(const std::string& name, const std::string& pattern);

// The outbound MMS queue in one walk: its message files ("*.MMS") and its control files
// (".INI"), each by key. The viewer lists and the Status page counts from it.
struct MmsQueueFiles {
    std::vector<std::pair<std::string, DirectoryEntry>> messages; // by key, in walk order
    std::map<std::string, DirectoryEntry> controls;               // by ControlFileKey
};
MmsQueueFiles WalkMmsQueue(StoreFileSystem& fileSystem, const std::string& queue);
// The key of a message's control file: everything from its last "." replaced by ".INI",
// in upper case; also the key a control file is found under.
std::string ControlFileKey(const std::string& messageKey);
