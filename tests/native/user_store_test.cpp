// The account file: record operations, the parser's checks, and the commit sequence cut
// short at every step.
#include "gateway/gwcore/user_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <optional>
#include <string>

using namespace userstore;

namespace {

UserRecord MakeUser(const char* name, const char* fullName = "")
{
    UserRecord r;
    memset(&r, 0, sizeof r);
    strncpy(r.userName, name, sizeof r.userName - 1);
    strncpy(r.fullName, fullName, sizeof r.fullName - 1);
    r.administrator = kAdministratorYes;
    r.reserved2[7] = 0x5A;
    return r;
}

UserStore StoreOf(std::initializer_list<const char*> names)
{
    UserStore store;
    for (const char* name : names)
        store.AddOrReplace(MakeUser(name));
    return store;
}

std::vector<std::string> Names(const UserStore& store)
{
    std::vector<std::string> names;
    for (const UserRecord& r : store.Records())
        names.push_back(r.userName);
    return names;
}

using Names_ = std::vector<std::string>;

// Recomputes the checksum after a test has changed a field, so that the field's own check
// is what rejects the file.
void Reseal(std::vector<uint8_t>& file)
{
    uint32_t crc = Crc32(file.data(), kHeaderSize - 4);
    crc = Crc32(file.data() + kHeaderSize, file.size() - kHeaderSize, crc);
    for (int i = 0; i < 4; ++i)
        file[28 + i] = static_cast<uint8_t>(crc >> (8 * i));
}

void PutU32(std::vector<uint8_t>& file, size_t offset, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        file[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

bool Parses(const std::vector<uint8_t>& file)
{
    UserStore out;
    return ParseUserFile(file.data(), file.size(), out);
}

} // namespace

TEST(UserStore, AddAppendsAndReplaceKeepsPositionWhateverTheCase)
{
    UserStore store = StoreOf({"alice", "Bob", "carol"});
    EXPECT_EQ(store.Count(), 3);

    ASSERT_TRUE(store.AddOrReplace(MakeUser("BOB", "Robert")));
    EXPECT_EQ(Names(store), (Names_{"alice", "BOB", "carol"}));
    UserRecord got;
    ASSERT_TRUE(store.Get(1, got));
    EXPECT_STREQ(got.fullName, "Robert");
    EXPECT_EQ(got.reserved2[7], 0x5A); // reserved bytes kept as given

    ASSERT_TRUE(store.AddOrReplace(MakeUser("dave")));
    EXPECT_EQ(Names(store), (Names_{"alice", "BOB", "carol", "dave"}));
}

TEST(UserStore, RejectsEmptyNameAndTerminatesOverlongStrings)
{
    UserStore store;
    EXPECT_FALSE(store.AddOrReplace(MakeUser("")));
    EXPECT_EQ(store.Count(), 0);

    UserRecord r = MakeUser("x");
    memset(r.userName, 'n', sizeof r.userName);
    memset(r.password, 'p', sizeof r.password);
    memset(r.fullName, 'f', sizeof r.fullName);
    memset(r.ipRestriction, 'i', sizeof r.ipRestriction);
    ASSERT_TRUE(store.AddOrReplace(r));
    UserRecord got;
    ASSERT_TRUE(store.Get(0, got));
    EXPECT_EQ(strlen(got.userName), sizeof got.userName - 1);
    EXPECT_EQ(strlen(got.password), sizeof got.password - 1);
    EXPECT_EQ(strlen(got.fullName), sizeof got.fullName - 1);
    EXPECT_EQ(strlen(got.ipRestriction), sizeof got.ipRestriction - 1);
    // The stored file must parse back: its strings are terminated.
    std::vector<uint8_t> file = SerializeUserFile(store);
    EXPECT_TRUE(Parses(file));
}

TEST(UserStore, GetByIndexStopsAtTheEndAndRefusesNegative)
{
    UserStore store = StoreOf({"alice", "bob"});
    UserRecord got;
    EXPECT_TRUE(store.Get(1, got));
    EXPECT_STREQ(got.userName, "bob");
    EXPECT_FALSE(store.Get(2, got));
    EXPECT_FALSE(store.Get(-1, got));
    EXPECT_FALSE(store.Get(-2147483647 - 1, got));
    EXPECT_FALSE(UserStore().Get(0, got));
}

TEST(UserStore, FindComparesWholeNamesWithoutCase)
{
    // "\xC4rger" / "\xE4RGER": A-umlaut in Windows-1252, capital and small.
    UserStore store = StoreOf({"alice", "Alicia", "\xC4rger", "\x8Aimon"});
    struct Case {
        const char* name;
        int index;
    } cases[] = {
        {"alice", 0},    {"ALICE", 0},    {"alicia", 1}, {"ali", -1}, {"alice2", -1},
        {"\xE4RGER", 2}, {"\x9AIMON", 3}, {"", -1},      {"bob", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(store.Find(c.name), c.index) << c.name;
}

TEST(UserStore, FindFirstMatchesTheFirstNameBeginningWithTheText)
{
    UserStore store = StoreOf({"bob", "Alicia", "alice", "albert"});
    struct Case {
        const char* prefix;
        int index;
    } cases[] = {
        {"a", 1}, {"AL", 1}, {"alice", 2}, {"ALB", 3}, {"b", 0}, {"", 0}, {"alicia2", -1}, {"c", -1}, {"lice", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(store.FindFirst(c.prefix), c.index) << c.prefix;
    EXPECT_EQ(UserStore().FindFirst(""), -1);
}

TEST(UserStore, RemoveTakesOutOnlyTheNamedUser)
{
    UserStore store = StoreOf({"alice", "bob", "carol"});
    EXPECT_TRUE(store.Remove("BOB"));
    EXPECT_EQ(Names(store), (Names_{"alice", "carol"}));
    EXPECT_FALSE(store.Remove("bob"));
    EXPECT_FALSE(store.Remove("car"));
    EXPECT_EQ(store.Count(), 2);
}

TEST(UserFileFormat, RoundTripKeepsRecordsBytesAndGeneration)
{
    UserStore store = StoreOf({"alice", "bob"});
    store.stamp.generation = 41;
    std::vector<uint8_t> file = SerializeUserFile(store);
    ASSERT_EQ(file.size(), kHeaderSize + 2 * kRecordSize);

    UserStore back;
    ASSERT_TRUE(ParseUserFile(file.data(), file.size(), back));
    ASSERT_EQ(back.Count(), 2);
    EXPECT_EQ(memcmp(back.Records().data(), store.Records().data(), 2 * kRecordSize), 0);
    EXPECT_EQ(back.stamp.generation, 41u);

    UserStore empty;
    std::vector<uint8_t> emptyFile = SerializeUserFile(empty);
    EXPECT_EQ(emptyFile.size(), kHeaderSize);
    EXPECT_TRUE(Parses(emptyFile));
}

TEST(UserFileFormat, RejectsEveryTruncationAndEveryFlippedByte)
{
    std::vector<uint8_t> file = SerializeUserFile(StoreOf({"alice", "bob"}));
    for (size_t size = 0; size < file.size(); ++size)
        EXPECT_FALSE(Parses(std::vector<uint8_t>(file.begin(), file.begin() + size))) << "size " << size;
    std::vector<uint8_t> longer = file;
    longer.push_back(0);
    EXPECT_FALSE(Parses(longer));

    for (size_t i = 0; i < file.size(); ++i) {
        std::vector<uint8_t> garbled = file;
        garbled[i] ^= 0x01;
        EXPECT_FALSE(Parses(garbled)) << "byte " << i;
    }
}

TEST(UserFileFormat, RejectsInconsistentFieldsEvenWithAValidChecksum)
{
    const std::vector<uint8_t> good = SerializeUserFile(StoreOf({"alice", "bob"}));
    struct Case {
        const char* what;
        void (*spoil)(std::vector<uint8_t>&);
    } cases[] = {
        {"count too high", [](std::vector<uint8_t>& f) { PutU32(f, 20, 3); }},
        {"count too low", [](std::vector<uint8_t>& f) { PutU32(f, 20, 1); }},
        {"count wraps", [](std::vector<uint8_t>& f) { PutU32(f, 20, 0xFFFFFFFFu); }},
        {"version", [](std::vector<uint8_t>& f) { PutU32(f, 8, 2); }},
        {"header size", [](std::vector<uint8_t>& f) { PutU32(f, 12, 36); }},
        {"record size", [](std::vector<uint8_t>& f) { PutU32(f, 16, 261); }},
        {"magic", [](std::vector<uint8_t>& f) { f[0] = 'X'; }},
        {"empty name", [](std::vector<uint8_t>& f) { f[kHeaderSize] = 0; }},
        {"name unterminated", [](std::vector<uint8_t>& f) { memset(&f[kHeaderSize], 'a', 51); }},
        {"password unterminated", [](std::vector<uint8_t>& f) { memset(&f[kHeaderSize + 51], 'a', 51); }},
        {"full name unterminated", [](std::vector<uint8_t>& f) { memset(&f[kHeaderSize + 102], 'a', 101); }},
        {"ip unterminated", [](std::vector<uint8_t>& f) { memset(&f[kHeaderSize + 225], 'a', 50); }},
        {"duplicate name", [](std::vector<uint8_t>& f) { memcpy(&f[kHeaderSize + kRecordSize], "ALICE", 6); }},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> file = good;
        c.spoil(file);
        Reseal(file);
        EXPECT_FALSE(Parses(file)) << c.what;
    }
    // A record grown to a whole extra one with the count to match is fine: the checks
    // above fail for the stated reason, not for any edit.
    std::vector<uint8_t> grown = good;
    UserRecord carol = MakeUser("carol");
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&carol);
    grown.insert(grown.end(), bytes, bytes + kRecordSize);
    PutU32(grown, 20, 3);
    Reseal(grown);
    EXPECT_TRUE(Parses(grown));
}

TEST(UserFileFormat, AFailedParseLeavesTheStoreAlone)
{
    UserStore store = StoreOf({"keep"});
    std::vector<uint8_t> junk(100, 0xEE);
    EXPECT_FALSE(ParseUserFile(junk.data(), junk.size(), store));
    EXPECT_FALSE(ParseUserFile(nullptr, 0, store));
    EXPECT_EQ(Names(store), (Names_{"keep"}));
}

namespace {

// A disk in memory whose writer process can die at a chosen step. What survives a crash
// is only what was made durable: bytes written to the temporary file and not flushed are
// lost, and a rename carries the temporary file's durable content.
class CrashingFiles : public UserFileSystem {
public:
    struct File {
        std::vector<uint8_t> written;
        std::vector<uint8_t> durable;
    };
    std::optional<File> live;
    std::optional<File> temp;
    int crashAt = -1; // the step at which the process dies, -1 never
    int steps = 0;
    bool dead = false;
    bool readFails = false;
    size_t largest = kLargestFile;

    size_t LargestFile() const override { return largest; }
    ReadStatus ReadFile(std::vector<uint8_t>& data) override
    {
        if (Crash() || readFails)
            return ReadStatus::kFailed;
        if (!live)
            return ReadStatus::kMissing;
        data = live->written;
        return ReadStatus::kOk;
    }
    bool CreateTemp() override
    {
        if (Crash())
            return false;
        temp = File();
        tempOpen = true;
        return true;
    }
    bool WriteTemp(const uint8_t* data, size_t size) override
    {
        if (!temp || !tempOpen)
            return false;
        // Dying in the middle of a write leaves part of it.
        bool dies = Crash();
        temp->written.insert(temp->written.end(), data, data + (dies ? size / 2 : size));
        return !dies;
    }
    bool FlushTemp() override
    {
        if (Crash() || !temp || !tempOpen)
            return false;
        temp->durable = temp->written;
        return true;
    }
    bool CloseTemp() override
    {
        if (Crash() || !tempOpen)
            return false;
        tempOpen = false;
        return true;
    }
    bool ReplaceWithTemp() override
    {
        if (Crash() || !temp || tempOpen)
            return false;
        live = temp;
        temp.reset();
        return true;
    }
    void DiscardTemp() override
    {
        // A dead process cleans nothing up.
        if (dead)
            return;
        temp.reset();
        tempOpen = false;
    }

    // The machine restarts: unflushed bytes are gone, the next writer is a new process.
    void Restart()
    {
        if (live)
            live->written = live->durable;
        if (temp)
            temp->written = temp->durable;
        tempOpen = false;
        dead = false;
        crashAt = -1;
    }

    void Seed(const UserStore& store)
    {
        std::vector<uint8_t> bytes = SerializeUserFile(store);
        live = File{bytes, bytes};
    }

private:
    bool Crash()
    {
        if (dead)
            return true;
        if (steps++ == crashAt)
            dead = true;
        return dead;
    }
    bool tempOpen = false;
};

UserStore LiveStore(CrashingFiles& files)
{
    UserStore store;
    EXPECT_EQ(LoadUserFile(files, store), LoadResult::kOk);
    return store;
}

} // namespace

TEST(UserFileCommit, WritesTheChangeOverTheFileAsItIsNow)
{
    CrashingFiles files;
    UserStore out;
    // A missing file is created by the first write.
    ASSERT_EQ(CommitChange(files, Change::kAddOrReplace, MakeUser("alice"), out), CommitResult::kOk);
    EXPECT_EQ(Names(LiveStore(files)), (Names_{"alice"}));
    EXPECT_EQ(out.stamp, LiveStore(files).stamp);

    // Another process wrote in between: its change is kept.
    UserStore other = LiveStore(files);
    other.AddOrReplace(MakeUser("bob"));
    other.stamp.generation++;
    files.Seed(other);
    ASSERT_EQ(CommitChange(files, Change::kAddOrReplace, MakeUser("carol"), out), CommitResult::kOk);
    EXPECT_EQ(Names(LiveStore(files)), (Names_{"alice", "bob", "carol"}));
    EXPECT_EQ(LiveStore(files).stamp.generation, 3u);
    EXPECT_EQ(Names(out), (Names_{"alice", "bob", "carol"}));

    ASSERT_EQ(CommitChange(files, Change::kRemove, MakeUser("ALICE"), out), CommitResult::kOk);
    EXPECT_EQ(Names(LiveStore(files)), (Names_{"bob", "carol"}));
}

TEST(UserFileCommit, RefusesWithoutWritingWhenTheChangeOrTheFileIsBad)
{
    CrashingFiles files;
    files.Seed(StoreOf({"alice"}));
    UserStore out = StoreOf({"untouched"});

    EXPECT_EQ(CommitChange(files, Change::kRemove, MakeUser("nobody"), out), CommitResult::kRejected);
    EXPECT_EQ(CommitChange(files, Change::kAddOrReplace, MakeUser(""), out), CommitResult::kRejected);
    EXPECT_FALSE(files.temp.has_value());

    files.readFails = true;
    EXPECT_EQ(CommitChange(files, Change::kAddOrReplace, MakeUser("bob"), out), CommitResult::kReadFailed);
    files.readFails = false;

    // A damaged file is never overwritten as if it were empty.
    files.live->written[kHeaderSize + 3] ^= 0xFF;
    std::vector<uint8_t> damaged = files.live->written;
    EXPECT_EQ(CommitChange(files, Change::kAddOrReplace, MakeUser("bob"), out), CommitResult::kCorrupt);
    EXPECT_EQ(files.live->written, damaged);
    EXPECT_EQ(Names(out), (Names_{"untouched"}));
}

TEST(UserFileCommit, DyingAtAnyStepLeavesTheOldOrTheNewFile)
{
    const UserStore old = StoreOf({"alice", "bob"});
    const std::vector<uint8_t> oldBytes = SerializeUserFile(old);
    UserRecord change = MakeUser("carol", "Carol C.");

    // A commit that runs through counts its steps.
    CrashingFiles probe;
    probe.Seed(old);
    UserStore expected;
    ASSERT_EQ(CommitChange(probe, Change::kAddOrReplace, change, expected), CommitResult::kOk);
    const int totalSteps = probe.steps;
    ASSERT_GE(totalSteps, 6);
    const std::vector<uint8_t> newBytes = probe.live->written;

    int sawOld = 0, sawNew = 0;
    for (int step = 0; step < totalSteps; ++step) {
        CrashingFiles files;
        files.Seed(old);
        files.crashAt = step;
        UserStore out;
        EXPECT_NE(CommitChange(files, Change::kAddOrReplace, change, out), CommitResult::kOk) << "step " << step;
        files.Restart();

        ASSERT_TRUE(files.live.has_value()) << "step " << step;
        const std::vector<uint8_t>& survived = files.live->written;
        EXPECT_TRUE(survived == oldBytes || survived == newBytes) << "step " << step;
        sawOld += survived == oldBytes;
        sawNew += survived == newBytes;

        // The next writer gets through despite any leftover temporary file.
        ASSERT_EQ(CommitChange(files, Change::kAddOrReplace, MakeUser("dave"), out), CommitResult::kOk);
        files.Restart();
        EXPECT_EQ(LiveStore(files).Find("dave"), 2 + (survived == newBytes)) << "step " << step;
    }
    // Dying before the rename keeps the old file; the rename itself is the last step.
    EXPECT_EQ(sawOld, totalSteps);
    EXPECT_EQ(sawNew, 0);

    // Dying right after the commit returned: the new content is durable.
    CrashingFiles after;
    after.Seed(old);
    UserStore out;
    ASSERT_EQ(CommitChange(after, Change::kAddOrReplace, change, out), CommitResult::kOk);
    after.dead = true;
    after.Restart();
    EXPECT_EQ(after.live->written, newBytes);
}

TEST(UserFileCommit, RefusesTheWriteThatWouldPassTheLimitTheReaderTakes)
{
    // The rule at a small limit; the real one (kLargestFile) goes through the same calls.
    const size_t threeUsers = kHeaderSize + 3 * kRecordSize;
    CrashingFiles files;
    files.Seed(StoreOf({"alice", "bob"}));
    const std::vector<uint8_t> twoUsers = files.live->written;
    UserStore out = StoreOf({"untouched"});

    files.largest = threeUsers - 1;
    EXPECT_EQ(CommitChange(files, Change::kAddOrReplace, MakeUser("carol"), out), CommitResult::kTooLarge);
    EXPECT_EQ(files.live->written, twoUsers);
    EXPECT_FALSE(files.temp.has_value());
    EXPECT_EQ(Names(out), (Names_{"untouched"}));
    // Changes that do not grow the file go through.
    EXPECT_EQ(CommitChange(files, Change::kAddOrReplace, MakeUser("BOB", "Robert"), out), CommitResult::kOk);

    // A file exactly at the limit is written and read back; one byte less and the reader
    // refuses that very file.
    files.largest = threeUsers;
    ASSERT_EQ(CommitChange(files, Change::kAddOrReplace, MakeUser("carol"), out), CommitResult::kOk);
    EXPECT_EQ(files.live->written.size(), threeUsers);
    EXPECT_EQ(Names(LiveStore(files)), (Names_{"alice", "BOB", "carol"}));
    files.largest = threeUsers - 1;
    UserStore reread;
    EXPECT_EQ(LoadUserFile(files, reread), LoadResult::kCorrupt);
}

TEST(UserStoreChecksum, IsTheStandardCrc32AtEveryLengthAndSplit)
{
    EXPECT_EQ(userstore::Crc32(reinterpret_cast<const uint8_t*>("123456789"), 9), 0xCBF43926u);
    // Every length up to 40 and every split point give what one byte at a time gives.
    std::vector<uint8_t> data(40);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 37 + 11);
    for (size_t length = 0; length <= data.size(); ++length) {
        uint32_t bytewise = 0;
        for (size_t i = 0; i < length; ++i)
            bytewise = userstore::Crc32(&data[i], 1, bytewise);
        EXPECT_EQ(userstore::Crc32(data.data(), length), bytewise) << length;
        for (size_t split = 0; split <= length; ++split)
            EXPECT_EQ(userstore::Crc32(data.data() + split, length - split, userstore::Crc32(data.data(), split)),
                      bytewise);
    }
}
