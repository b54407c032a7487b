#include "spool/store_walker.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

const FileTimeValue kNow = 130000000000000000ull;

bool EndsWithNoCase(const std::string& text, const std::string& suffix)
{
    if (text.size() < suffix.size())
        return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        if (tolower(text[text.size() - suffix.size() + i]) != tolower(suffix[i]))
            return false;
    }
    return true;
}

// Directories by path (with trailing backslash); each lists its entries in order. Masks
// are "*" or "*" followed by a suffix.
class FakeFileSystem : public StoreFileSystem {
public:
    struct Dir {
        std::vector<DirectoryEntry> entries;
        FileTimeValue lastWrite = kNow;
    };

    void AddDirectory(const std::string& path, FileTimeValue lastWrite = kNow)
    {
        dirs_[path].lastWrite = lastWrite;
        size_t slash = path.find_last_of('\\', path.size() - 2);
        if (slash != std::string::npos && dirs_.count(path.substr(0, slash + 1))) {
            DirectoryEntry e;
            e.name = path.substr(slash + 1, path.size() - slash - 2);
            e.isDirectory = true;
            e.lastWriteTime = lastWrite;
            dirs_[path.substr(0, slash + 1)].entries.push_back(e);
        }
    }

    void AddFile(const std::string& dir, const std::string& name, FileTimeValue created = 7,
                 const std::string& shortName = "")
    {
        DirectoryEntry e;
        e.name = name;
        e.shortName = shortName;
        e.creationTime = created;
        dirs_[dir].entries.push_back(e);
    }

    std::unique_ptr<DirectorySearch> Search(const std::string& pattern) override
    {
        ++searches;
        size_t slash = pattern.find_last_of('\\');
        auto dir = dirs_.find(pattern.substr(0, slash + 1));
        if (dir == dirs_.end())
            return nullptr;
        std::string suffix = pattern.substr(slash + 2); // after the '*'
        std::vector<DirectoryEntry> hits;
        DirectoryEntry dot;
        dot.isDirectory = true;
        for (const char* name : {".", ".."}) {
            dot.name = name;
            if (suffix.empty())
                hits.push_back(dot);
        }
        for (const DirectoryEntry& e : dir->second.entries) {
            // Windows matches the 8.3 name as well: "A.REQX" is "A~1.REQ".
            if (EndsWithNoCase(e.name, suffix) || (!e.shortName.empty() && EndsWithNoCase(e.shortName, suffix)))
                hits.push_back(e);
        }
        if (hits.empty())
            return nullptr;
        ++openSearches;
        return std::unique_ptr<DirectorySearch>(new Search_(*this, hits));
    }

    bool Lookup(const std::string& path, DirectoryEntry& entry) override
    {
        auto dir = dirs_.find(path + "\\");
        if (dir == dirs_.end())
            return false;
        entry = DirectoryEntry();
        entry.name = path.substr(path.find_last_of('\\') + 1);
        entry.isDirectory = true;
        entry.lastWriteTime = dir->second.lastWrite;
        return true;
    }

    void RemoveEmptyDirectory(const std::string& path) override
    {
        removeAttempts.push_back(path);
        auto dir = dirs_.find(path + "\\");
        if (dir == dirs_.end() || !dir->second.entries.empty())
            return;
        dirs_.erase(dir);
        removed.push_back(path);
    }

    FileTimeValue NowUtc() override { return kNow; }

    // Gives a sub-directory entry of parent another long and short name, as a file system
    // whose folders are reached by their short names.
    void RenameDirectoryEntry(const std::string& parent, const std::string& name, const std::string& longName,
                              const std::string& shortName)
    {
        for (DirectoryEntry& e : dirs_[parent].entries) {
            if (e.isDirectory && e.name == name) {
                e.name = longName;
                e.shortName = shortName;
            }
        }
    }

    int searches = 0;
    int openSearches = 0;
    std::vector<std::string> removeAttempts;
    std::vector<std::string> removed;

private:
    class Search_ : public DirectorySearch {
    public:
        Search_(FakeFileSystem& owner, std::vector<DirectoryEntry> hits) : owner_(owner), hits_(std::move(hits)) {}
        ~Search_() override { --owner_.openSearches; }
        bool Next(DirectoryEntry& entry) override
        {
            if (at_ >= hits_.size())
                return false;
            entry = hits_[at_++];
            return true;
        }

    private:
        FakeFileSystem& owner_;
        std::vector<DirectoryEntry> hits_;
        size_t at_ = 0;
    };

    std::map<std::string, Dir> dirs_;
};

const std::string kStore = "C:\\Data\\SMS-IN\\";

std::vector<std::string> Walk(FakeFileSystem& fs, const std::string& pattern,
                              Pruning pruning = Pruning::EmptyOldSubDirectories)
{
    std::vector<std::string> keys;
    StoreWalker walker(fs, pruning);
    for (bool more = walker.First(kStore, pattern); more; more = walker.Next())
        keys.push_back(walker.Key());
    return keys;
}

} // namespace

TEST(StoreWalker, KeysFromTheStoreAndItsImmediateSubDirectories)
{
    FakeFileSystem fs;
    fs.AddDirectory(kStore);
    fs.AddFile(kStore, "A.IN");
    fs.AddFile(kStore, "B.REC");
    fs.AddDirectory(kStore + "Q1\\");
    fs.AddFile(kStore + "Q1\\", "C.IN");
    fs.AddDirectory(kStore + "Q1\\Deep\\");
    fs.AddFile(kStore + "Q1\\Deep\\", "D.IN");
    fs.AddDirectory(kStore + "dir.IN\\"); // a directory matching the pattern is no hit
    fs.AddFile(kStore + "dir.IN\\", "E.in");
    fs.AddFile(kStore, "F.IN");

    EXPECT_EQ((std::vector<std::string>{"A.IN", "F.IN", "Q1\\C.IN", "dir.IN\\E.in"}), Walk(fs, "*.IN"));
    EXPECT_EQ((std::vector<std::string>{"B.REC"}), Walk(fs, "*.REC"));
    EXPECT_EQ(0, fs.openSearches);

    StoreWalker walker(fs);
    ASSERT_TRUE(walker.First(kStore, "*.IN"));
    EXPECT_EQ("A.IN", walker.FileName());
    EXPECT_EQ(7u, walker.File().creationTime);
    ASSERT_TRUE(walker.Next() && walker.Next());
    EXPECT_EQ("C.IN", walker.FileName());
    EXPECT_EQ("Q1\\C.IN", walker.Key());
}

TEST(StoreWalker, MissingOrEmptyStore)
{
    FakeFileSystem fs;
    EXPECT_TRUE(Walk(fs, "*.IN").empty());
    fs.AddDirectory(kStore);
    EXPECT_TRUE(Walk(fs, "*.IN").empty());
    EXPECT_TRUE(fs.removeAttempts.empty()); // the store itself is never pruned
}

TEST(StoreWalker, PrunesOnlyEmptySubDirectoriesUntouchedForFiveMinutes)
{
    FakeFileSystem fs;
    fs.AddDirectory(kStore, kNow - 60 * kFileTimeMinute);
    fs.AddDirectory(kStore + "Old\\", kNow - 6 * kFileTimeMinute);
    fs.AddDirectory(kStore + "Recent\\", kNow - 4 * kFileTimeMinute);
    fs.AddDirectory(kStore + "Held\\", kNow - 60 * kFileTimeMinute);
    fs.AddFile(kStore + "Held\\", "X.TMP"); // not matching, still holds the folder
    fs.AddDirectory(kStore + "Busy\\", kNow - 60 * kFileTimeMinute);
    fs.AddFile(kStore + "Busy\\", "M.IN");

    // The outbound queues are walked without pruning.
    EXPECT_EQ((std::vector<std::string>{"Busy\\M.IN"}), Walk(fs, "*.IN", Pruning::None));
    EXPECT_TRUE(fs.removeAttempts.empty());

    EXPECT_EQ((std::vector<std::string>{"Busy\\M.IN"}), Walk(fs, "*.IN"));
    EXPECT_EQ((std::vector<std::string>{kStore + "Old"}), fs.removed);
    for (const std::string& path : fs.removeAttempts)
        EXPECT_NE(kStore.substr(0, kStore.size() - 1), path);
}

TEST(StoreWalker, ClosingEarlyPrunesNothingAndEndsTheSearches)
{
    FakeFileSystem fs;
    fs.AddDirectory(kStore);
    fs.AddDirectory(kStore + "Q\\", kNow - 60 * kFileTimeMinute);
    fs.AddFile(kStore + "Q\\", "A.IN");
    fs.AddFile(kStore + "Q\\", "B.IN");
    {
        StoreWalker walker(fs);
        ASSERT_TRUE(walker.First(kStore, "*.IN"));
        EXPECT_EQ(2, fs.openSearches);
        walker.Close();
        EXPECT_EQ(0, fs.openSearches);
        EXPECT_FALSE(walker.Next());
        // Starting again gives the same first file.
        ASSERT_TRUE(walker.First(kStore, "*.IN"));
        EXPECT_EQ("Q\\A.IN", walker.Key());
    }
    EXPECT_EQ(0, fs.openSearches);
    EXPECT_TRUE(fs.removeAttempts.empty());
}

TEST(StoreWalker, FoldersAreReachedByANameThatFindsThemOrLeftOut)
{
    FakeFileSystem fs;
    fs.AddDirectory(kStore);
    fs.AddFile(kStore, "R.IN");
    // The name as given finds another folder ("abc." is "abc" to Windows) or overflows the
    // path: the short name is used instead, and without one the folder is left out.
    fs.AddDirectory(kStore + "ABC~1\\");
    fs.AddFile(kStore + "ABC~1\\", "A.IN");
    fs.AddDirectory(kStore + "LONGNA~1\\");
    fs.AddFile(kStore + "LONGNA~1\\", "L.IN");
    fs.AddDirectory(kStore + "abc\\");
    fs.AddFile(kStore + "abc\\", "OWN.IN");
    fs.AddDirectory(kStore + "sp\\");
    fs.AddFile(kStore + "sp\\", "WRONG.IN");
    fs.RenameDirectoryEntry(kStore, "ABC~1", "abc.", "ABC~1");
    fs.RenameDirectoryEntry(kStore, "LONGNA~1", std::string(260, 'n'), "LONGNA~1");
    fs.RenameDirectoryEntry(kStore, "sp", "sp ", "");
    fs.RenameDirectoryEntry(kStore, "abc", "abc", "");
    EXPECT_EQ((std::vector<std::string>{"R.IN", "ABC~1\\A.IN", "LONGNA~1\\L.IN", "abc\\OWN.IN"}), Walk(fs, "*.IN"));

    // A sub-directory at the very limit of the path still reaches its files by name.
    std::string longest(kPathLimit - kStore.size() - 1 - kFileNameRoom, 'm');
    FakeFileSystem limit;
    limit.AddDirectory(kStore);
    limit.AddDirectory(kStore + longest + "\\");
    limit.AddFile(kStore + longest + "\\", "B.IN");
    EXPECT_EQ((std::vector<std::string>{longest + "\\B.IN"}), Walk(limit, "*.IN"));
}

// The viewers and the Status page count what the walker gives: a file counts by its own
// name, never by the 8.3 name the platform's search also matches.
TEST(StoreWalker, FilesCountByTheirOwnNameOnly)
{
    const struct {
        const char* name;
        const char* pattern;
        bool matches;
    } rows[] = {
        {"A.REQ", "*.REQ", true},   {"a.req", "*.REQ", true},    {".REQ", "*.REQ", true},
        {"A.REQX", "*.REQ", false}, {"A.REQ.BAK", "*.REQ", false}, {"AREQ", "*.REQ", false},
        {"A.REQ.REQ", "*.REQ", true}, {"x", "*", true},          {"", "*", true},
        {"AB.IN", "A?.IN", true},   {"A.IN", "A?.IN", false},    {"A.B.IN", "*.*.IN", true},
        {"A.IN", "*.*.IN", false},  {"A.IN", "A.IN", true},      {"A.IN", "A.IN*", true},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.matches, MatchesStorePattern(row.name, row.pattern)) << row.name << " " << row.pattern;

    FakeFileSystem fs;
    fs.AddDirectory(kStore);
    fs.AddFile(kStore, "A.REQX", 7, "A~1.REQ");
    fs.AddFile(kStore, ".REQ");
    fs.AddFile(kStore, "B.REQ");
    EXPECT_EQ((std::vector<std::string>{".REQ", "B.REQ"}), Walk(fs, "*.REQ", Pruning::None));
}

TEST(StoreWalker, AnMmsMessageFindsItsOwnControlFile)
{
    FakeFileSystem fs;
    fs.AddDirectory(kStore);
    fs.AddFile(kStore, "A.MMS");
    fs.AddFile(kStore, "a.ini");
    fs.AddFile(kStore, "B.MMS"); // no control file
    fs.AddFile(kStore, "B.MMS.INI");
    fs.AddDirectory(kStore + "Q\\");
    fs.AddFile(kStore + "Q\\", "C.x.MMS");
    fs.AddFile(kStore + "Q\\", "C.X.INI");
    fs.AddFile(kStore + "Q\\", "D.MMS");
    fs.AddFile(kStore, "D.INI"); // the root's, not Q's
    MmsQueueFiles files = WalkMmsQueue(fs, kStore);
    std::vector<std::string> keys, paired;
    for (const auto& message : files.messages) {
        keys.push_back(message.first);
        if (files.controls.count(ControlFileKey(message.first)))
            paired.push_back(message.first);
    }
    EXPECT_EQ((std::vector<std::string>{"A.MMS", "B.MMS", "Q\\C.x.MMS", "Q\\D.MMS"}), keys);
    EXPECT_EQ((std::vector<std::string>{"A.MMS", "Q\\C.x.MMS"}), paired);
    EXPECT_EQ("Q\\C.X.INI", ControlFileKey("Q\\c.x.MMS"));
    EXPECT_EQ("NODOT.INI", ControlFileKey("nodot"));
}
