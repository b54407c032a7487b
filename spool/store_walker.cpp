#include "spool/store_walker.h"

StoreWalker::StoreWalker(StoreFileSystem& fileSystem, Pruning pruning) : fileSystem_(fileSystem), pruning_(pruning) {}

StoreWalker::~StoreWalker()
{
    Close();
}

bool StoreWalker::First(const std::string& storeDirectory, const std::string& pattern)
{
    Close();
    store_ = storeDirectory;
    pattern_ = pattern;
    outer_ = fileSystem_.Search(store_ + "*");
    return Advance();
}

bool StoreWalker::Next()
{
    return Advance();
}

void StoreWalker::Close()
{
    inner_.reset();
    outer_.reset();
    innerRunning_ = false;
    key_.clear();
    file_ = DirectoryEntry();
}

bool StoreWalker::Advance()
{
    for (;;) {
        if (innerRunning_) {
            DirectoryEntry entry;
            while (inner_ && inner_->Next(entry)) {
                if (entry.isDirectory)
                    continue;
                file_ = entry;
                key_ = subDirectory_.empty() ? entry.name : subDirectory_ + "\\" + entry.name;
                return true;
            }
            inner_.reset();
            innerRunning_ = false;
            if (!subDirectory_.empty() && pruning_ == Pruning::EmptyOldSubDirectories)
                Prune(subDirectory_);
        }
        DirectoryEntry directory;
        if (!outer_ || !outer_->Next(directory)) {
            outer_.reset();
            key_.clear();
            file_ = DirectoryEntry();
            return false;
        }
        if (!directory.isDirectory || directory.name == "..")
            continue;
        subDirectory_ = directory.name == "." ? "" : directory.name.substr(0, kSubDirectoryNameLimit);
        std::string where = store_;
        if (!subDirectory_.empty())
            where += subDirectory_ + "\\";
        inner_ = fileSystem_.Search(where + pattern_);
        innerRunning_ = true;
    }
}

void StoreWalker::Prune(const std::string& subDirectory)
{
    std::string path = store_ + subDirectory;
    FileTimeValue now = fileSystem_.NowUtc();
    FileTimeValue limit = now > kStorePruneAge ? now - kStorePruneAge : 0;
    DirectoryEntry entry;
    if (fileSystem_.Lookup(path, entry) && entry.isDirectory && entry.lastWriteTime < limit)
        fileSystem_.RemoveEmptyDirectory(path);
}
