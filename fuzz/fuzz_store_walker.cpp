// The message stores are directories the gateway, other programs and administrators fill.
// The bytes build a small tree in memory: the store, its entries and those of its
// sub-directories (files, directories one level deeper), names, times and where each listing
// puts "." and "..". The store lies in a folder with files of its own, so that a walk that
// leaves the store shows. The walk must give exactly the files of the store and of its
// immediate sub-directories that match the pattern, each once, and prune only what is due.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/text.h"
#include "spool/store_walker.h"

namespace {

const FileTimeValue kNow = 130000000000000000ull;
const std::string kParent = "C:\\Data\\";
const std::string kStore = kParent + "S\\";
const char* const kPatterns[] = {"*", "*.IN", "*.REC", "*.in"};
const char* const kStems[] = {"A", "b", "Q1", "dir", "x.y", "~1", "Two words"};
const char* const kExtensions[] = {"", ".IN", ".in", ".REC", ".IN.REC", ".INX", ".iN"};

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

// A path as the platform resolves it: "." and ".." components taken away, no trailing
// backslash.
std::string Resolved(const std::string& path)
{
    std::vector<std::string> parts;
    for (size_t start = 0;;) {
        size_t slash = path.find('\\', start);
        std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (part == "..") {
            if (parts.size() > 1)
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    std::string resolved;
    for (const std::string& part : parts)
        resolved += (resolved.empty() ? "" : "\\") + part;
    return resolved;
}

class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Next() { return at_ < size_ ? data_[at_++] : 0; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// Directories by path with a trailing backslash. Masks are "*" or "*" and a suffix,
// matched without regard to case; "*" lists "." and ".." too, where the listing puts them.
class FakeStore : public StoreFileSystem {
public:
    struct Folder {
        std::vector<DirectoryEntry> entries;
        FileTimeValue lastWrite = 0;
        size_t dotsAt = 0;
    };

    std::map<std::string, Folder> folders;
    FileTimeValue now = kNow;
    int openSearches = 0;
    std::vector<std::string> removeAttempts;
    std::vector<std::string> removed;

    std::unique_ptr<DirectorySearch> Search(const std::string& pattern) override
    {
        size_t slash = pattern.rfind('\\');
        Check(slash != std::string::npos && pattern.size() > slash + 1 && pattern[slash + 1] == '*');
        auto folder = folders.find(Resolved(pattern.substr(0, slash)) + "\\");
        if (folder == folders.end())
            return nullptr;
        std::string suffix = pattern.substr(slash + 2);
        const std::vector<DirectoryEntry>& entries = folder->second.entries;
        std::vector<DirectoryEntry> hits;
        for (size_t i = 0; i <= entries.size(); ++i) {
            if (i == std::min(folder->second.dotsAt, entries.size()) && suffix.empty()) {
                DirectoryEntry dot;
                dot.isDirectory = true;
                dot.name = ".";
                hits.push_back(dot);
                dot.name = "..";
                hits.push_back(dot);
            }
            if (i < entries.size() && EndsWithNoCase(entries[i].name, suffix))
                hits.push_back(entries[i]);
        }
        if (hits.empty())
            return nullptr;
        return std::unique_ptr<DirectorySearch>(new Listing(*this, std::move(hits)));
    }

    bool Lookup(const std::string& path, DirectoryEntry& entry) override
    {
        std::string resolved = Resolved(path);
        size_t slash = resolved.rfind('\\');
        auto parent = folders.find(resolved.substr(0, slash + 1));
        if (slash == std::string::npos || parent == folders.end())
            return false;
        for (const DirectoryEntry& e : parent->second.entries) {
            if (EqualsNoCase(e.name, resolved.substr(slash + 1))) {
                entry = e;
                return true;
            }
        }
        return false;
    }

    void RemoveEmptyDirectory(const std::string& path) override
    {
        removeAttempts.push_back(path);
        std::string resolved = Resolved(path);
        auto folder = folders.find(resolved + "\\");
        if (folder == folders.end() || !folder->second.entries.empty())
            return;
        folders.erase(folder);
        size_t slash = resolved.rfind('\\');
        std::vector<DirectoryEntry>& siblings = folders[resolved.substr(0, slash + 1)].entries;
        for (auto it = siblings.begin(); it != siblings.end(); ++it) {
            if (EqualsNoCase(it->name, resolved.substr(slash + 1))) {
                siblings.erase(it);
                break;
            }
        }
        removed.push_back(path);
    }

    FileTimeValue NowUtc() override { return now; }

private:
    class Listing : public DirectorySearch {
    public:
        Listing(FakeStore& owner, std::vector<DirectoryEntry> hits) : owner_(owner), hits_(std::move(hits))
        {
            ++owner_.openSearches;
        }
        ~Listing() override { --owner_.openSearches; }
        bool Next(DirectoryEntry& entry) override
        {
            if (at_ >= hits_.size())
                return false;
            entry = hits_[at_++];
            return true;
        }

    private:
        FakeStore& owner_;
        std::vector<DirectoryEntry> hits_;
        size_t at_ = 0;
    };
};

FileTimeValue WrittenAgo(FileTimeValue now, uint8_t eighths)
{
    FileTimeValue age = eighths * (kFileTimeMinute / 8);
    return age < now ? now - age : 0;
}

// A directory and, two levels deep at most, the directories in it. Names are unique in a
// directory without regard to case, as on the platform.
void Build(FakeStore& fs, Bytes& in, const std::string& path, int depth)
{
    FakeStore::Folder& folder = fs.folders[path];
    folder.lastWrite = WrittenAgo(fs.now, in.Next());
    folder.dotsAt = in.Next() % 4;
    size_t count = in.Next() % (depth == 0 ? 8 : depth == 1 ? 5 : 3);
    for (size_t i = 0; i < count; ++i) {
        uint8_t pick = in.Next();
        DirectoryEntry entry;
        entry.name = std::string(kStems[pick % 7]) + kExtensions[pick / 7 % 7];
        entry.isDirectory = depth < 2 && (in.Next() & 1);
        entry.creationTime = in.Next() + 1u;
        bool taken = std::any_of(folder.entries.begin(), folder.entries.end(),
                                 [&](const DirectoryEntry& e) { return EqualsNoCase(e.name, entry.name); });
        if (taken)
            continue;
        if (entry.isDirectory) {
            Build(fs, in, path + entry.name + "\\", depth + 1);
            entry.lastWriteTime = fs.folders[path + entry.name + "\\"].lastWrite;
        }
        folder.entries.push_back(entry);
    }
}

// The files the walk must give, by key, and the sub-directories due for pruning.
struct Expected {
    std::map<std::string, FileTimeValue> files;
    std::set<std::string> oldSubDirectories;
    std::set<std::string> pruned;
};

Expected ExpectedFrom(FakeStore& fs, const std::string& suffix)
{
    Expected expected;
    for (const DirectoryEntry& e : fs.folders[kStore].entries) {
        if (!e.isDirectory) {
            if (EndsWithNoCase(e.name, suffix))
                expected.files[e.name] = e.creationTime;
            continue;
        }
        const FakeStore::Folder& sub = fs.folders[kStore + e.name + "\\"];
        for (const DirectoryEntry& f : sub.entries) {
            if (!f.isDirectory && EndsWithNoCase(f.name, suffix))
                expected.files[e.name + "\\" + f.name] = f.creationTime;
        }
        if (sub.lastWrite + kStorePruneAge < fs.now) {
            expected.oldSubDirectories.insert(kStore + e.name);
            if (sub.entries.empty())
                expected.pruned.insert(kStore + e.name);
        }
    }
    return expected;
}

void CheckFile(const StoreWalker& walker, const Expected& expected, std::set<std::string>& seen)
{
    const std::string& key = walker.Key();
    auto file = expected.files.find(key);
    Check(file != expected.files.end() && !walker.File().isDirectory && file->second == walker.File().creationTime);
    Check(walker.FileName() == key.substr(key.find('\\') + 1));
    Check(seen.insert(AsciiUpper(key)).second);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Bytes in(data, size);
    uint8_t head = in.Next();
    std::string pattern = kPatterns[head & 3];
    size_t stopAfter = in.Next();
    FakeStore tree;
    tree.now = head & 4 ? 3 * kFileTimeMinute : kNow; // a clock too early to prune anything
    Build(tree, in, kStore, 0);
    DirectoryEntry store, other;
    store.name = "S";
    store.isDirectory = true;
    store.lastWriteTime = tree.folders[kStore].lastWrite;
    for (const char* extension : kExtensions) {
        other.name = std::string("OTHER") + extension;
        tree.folders[kParent].entries.push_back(other);
    }
    tree.folders[kParent].entries.push_back(store);
    tree.folders[kParent].lastWrite = 0;
    Expected expected = ExpectedFrom(tree, pattern.substr(1));

    FakeStore whole = tree;
    std::set<std::string> seen;
    {
        StoreWalker walker(whole);
        for (bool more = walker.First(kStore, pattern); more; more = walker.Next()) {
            Check(seen.size() < expected.files.size()); // ends once every file was given
            CheckFile(walker, expected, seen);
        }
        Check(whole.openSearches == 0);
    }
    Check(seen.size() == expected.files.size());
    for (const std::string& path : whole.removeAttempts)
        Check(expected.oldSubDirectories.count(path) == 1);
    Check(std::set<std::string>(whole.removed.begin(), whole.removed.end()) == expected.pruned &&
          whole.removed.size() == expected.pruned.size());

    // Closed part-way: the searches end, the sub-directory being walked is left alone and
    // starting again begins afresh.
    if (stopAfter < expected.files.size()) {
        FakeStore part = tree;
        StoreWalker walker(part);
        std::set<std::string> partSeen;
        bool more = walker.First(kStore, pattern);
        for (size_t n = 0; more && n < stopAfter; ++n)
            more = walker.Next();
        Check(more);
        CheckFile(walker, expected, partSeen);
        std::string current = walker.Key();
        walker.Close();
        Check(part.openSearches == 0 && !walker.Next());
        size_t slash = current.find('\\');
        for (const std::string& path : part.removeAttempts)
            Check(slash == std::string::npos || path != kStore + current.substr(0, slash));
        for (const std::string& path : part.removed)
            Check(expected.pruned.count(path) == 1);
        FakeStore afterwards = part; // pruning may have changed the listings' order
        StoreWalker fresh(afterwards);
        Check(fresh.First(kStore, pattern) && walker.First(kStore, pattern) && walker.Key() == fresh.Key());
    }
    return 0;
}
