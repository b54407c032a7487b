// StoreWalker's file system on Windows: FindFirstFileA and friends.
#include "spool/spool_files.h"

namespace {

DirectoryEntry EntryOf(const WIN32_FIND_DATAA& data)
{
    DirectoryEntry entry;
    entry.name = data.cFileName;
    entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.creationTime = FromFileTime(data.ftCreationTime);
    entry.lastWriteTime = FromFileTime(data.ftLastWriteTime);
    entry.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    entry.shortName = data.cAlternateFileName;
    return entry;
}

class FindSearch : public DirectorySearch {
public:
    FindSearch(HANDLE handle, const WIN32_FIND_DATAA& first) : handle_(handle), data_(first) {}
    ~FindSearch() override { FindClose(handle_); }
    FindSearch(const FindSearch&) = delete;
    FindSearch& operator=(const FindSearch&) = delete;

    bool Next(DirectoryEntry& entry) override
    {
        if (!pending_ && !FindNextFileA(handle_, &data_))
            return false;
        pending_ = false;
        entry = EntryOf(data_);
        return true;
    }

private:
    HANDLE handle_;
    WIN32_FIND_DATAA data_;
    bool pending_ = true; // FindFirstFileA already gave the first entry
};

class PlatformFileSystem : public StoreFileSystem {
public:
    std::unique_ptr<DirectorySearch> Search(const std::string& pattern) override
    {
        WIN32_FIND_DATAA data;
        HANDLE handle = FindFirstFileA(pattern.c_str(), &data);
        if (handle == INVALID_HANDLE_VALUE)
            return nullptr;
        return std::unique_ptr<DirectorySearch>(new FindSearch(handle, data));
    }

    bool Lookup(const std::string& path, DirectoryEntry& entry) override
    {
        WIN32_FIND_DATAA data;
        HANDLE handle = FindFirstFileA(path.c_str(), &data);
        if (handle == INVALID_HANDLE_VALUE)
            return false;
        FindClose(handle);
        entry = EntryOf(data);
        return true;
    }

    void RemoveEmptyDirectory(const std::string& path) override { RemoveDirectoryA(path.c_str()); }

    FileTimeValue NowUtc() override
    {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        return FromFileTime(now);
    }
};

} // namespace

StoreFileSystem& PlatformStoreFileSystem()
{
    static PlatformFileSystem fileSystem;
    return fileSystem;
}
