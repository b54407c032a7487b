#include "spool/store_walker.h"

#include "base/text.h"

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
                if (entry.isDirectory || !MatchesStorePattern(entry.name, pattern_))
                    continue;
                file_ = entry;
                std::string name = entry.name;
                std::string prefix = subDirectory_.empty() ? "" : subDirectory_ + "\\";
                if (!entry.shortName.empty() && store_.size() + prefix.size() + name.size() > kPathLimit)
                    name = entry.shortName;
                key_ = prefix + name;
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
        subDirectory_ = directory.name == "." ? "" : SubDirectoryName(directory);
        if (directory.name != "." && subDirectory_.empty())
            continue;
        std::string where = store_;
        if (!subDirectory_.empty())
            where += subDirectory_ + "\\";
        inner_ = fileSystem_.Search(where + pattern_);
        innerRunning_ = true;
    }
}

std::string StoreWalker::SubDirectoryName(const DirectoryEntry& directory) const
{
    const std::string& name = directory.name;
    auto reachable = [&](const std::string& candidate) {
        return !candidate.empty() && candidate.back() != '.' && candidate.back() != ' ' &&
               store_.size() + candidate.size() + 1 + kFileNameRoom <= kPathLimit;
    };
    if (reachable(name))
        return name;
    if (reachable(directory.shortName))
        return directory.shortName;
    return std::string();
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

bool MatchesStorePattern(const std::string& name, const std::string& pattern)
{
    // The usual greedy match with one step back to the last '*'.
    size_t n = 0, p = 0, starAt = std::string::npos, resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeAt = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || AsciiUpper(pattern[p]) == AsciiUpper(name[n]))) {
            ++p;
            ++n;
        } else if (starAt != std::string::npos) {
            p = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::string ControlFileKey(const std::string& messageKey)
{
    size_t dot = messageKey.find_last_of('.');
    std::string key = (dot == std::string::npos ? messageKey : messageKey.substr(0, dot)) + ".INI";
    for (char& c : key)
        c = AsciiUpper(c);
    return key;
}

MmsQueueFiles WalkMmsQueue(StoreFileSystem& fileSystem, const std::string& queue)
{
    MmsQueueFiles files;
    StoreWalker walker(fileSystem, Pruning::None);
    for (bool more = walker.First(queue, "*"); more; more = walker.Next()) {
        if (MatchesStorePattern(walker.FileName(), "*.MMS"))
            files.messages.emplace_back(walker.Key(), walker.File());
        else if (MatchesStorePattern(walker.Key(), "*.INI"))
            files.controls[ControlFileKey(walker.Key())] = walker.File();
    }
    return files;
}
