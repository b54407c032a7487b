// The VASP account store: the name rules, every byte of a record kept, the file's checks,
// and changes committed over the file as it is now.
#include "gateway/mmcore/vasp_account_store.h"

#include <gtest/gtest.h>

#include "memory_store_files.h"

#include <algorithm>
#include <cstring>
#include <optional>

using namespace vaspaccount;

namespace {

using Names = std::vector<std::string>;

AccountStore Stored(MemoryStoreFiles& files)
{
    AccountStore store;
    EXPECT_EQ(LoadAccountFile(files, store), userstore::LoadResult::kOk);
    return store;
}

// A record with the name and every other byte set from a seed, terminators included:
// the store must give back exactly these bytes.
VASPUserRecord RecordOf(const std::string& name, uint8_t seed = 0x41)
{
    VASPUserRecord record;
    uint8_t* bytes = reinterpret_cast<uint8_t*>(&record);
    for (size_t i = 0; i < sizeof record; ++i)
        bytes[i] = static_cast<uint8_t>(seed + i * 7);
    memcpy(record.userName, name.c_str(), std::min(name.size() + 1, sizeof record.userName));
    return record;
}

Names NamesOf(const AccountStore& store)
{
    Names names;
    for (const VASPUserRecord& record : store.Records())
        names.push_back(record.userName);
    return names;
}

std::vector<uint8_t> FileOf(const Names& names, uint32_t generation = 1)
{
    AccountStore store;
    for (const std::string& name : names)
        EXPECT_TRUE(store.AddOrReplace(RecordOf(name))) << name;
    store.stamp.generation = generation;
    return SerializeAccountFile(store);
}

void Reseal(std::vector<uint8_t>& file)
{
    uint32_t crc = userstore::Crc32(file.data(), kHeaderSize - 4);
    crc = userstore::Crc32(file.data() + kHeaderSize, file.size() - kHeaderSize, crc);
    for (int i = 0; i < 4; ++i)
        file[28 + i] = static_cast<uint8_t>(crc >> (8 * i));
}

} // namespace

TEST(VaspAccountNames, TheRecordMustHoldATerminatedNonEmptyName)
{
    struct Case {
        size_t length; // of the name written into the 51-byte field, terminator after it when it fits
        bool taken;
    } cases[] = {{0, false}, {1, true}, {50, true}, {51, false}};
    for (const Case& c : cases) {
        VASPUserRecord record = RecordOf("");
        memset(record.userName, 'n', c.length);
        if (c.length < sizeof record.userName)
            record.userName[c.length] = '\0';
        std::string name;
        EXPECT_EQ(AccountNameOfRecord(record, name), c.taken) << c.length;
        EXPECT_EQ(IsValidAccountName(std::string(c.length, 'n')), c.taken) << c.length;
        AccountStore store;
        EXPECT_EQ(store.AddOrReplace(record), c.taken) << c.length;
    }
}

TEST(VaspAccountFile, RoundTripsEveryByteAndRejectsEveryDamage)
{
    const std::vector<uint8_t> good = FileOf({"alpha", "Beta"}, 7);
    AccountStore store;
    ASSERT_TRUE(ParseAccountFile(good.data(), good.size(), store));
    EXPECT_EQ(NamesOf(store), (Names{"alpha", "Beta"}));
    EXPECT_EQ(store.stamp.generation, 7u);
    VASPUserRecord expected = RecordOf("Beta");
    EXPECT_EQ(memcmp(&store.Records()[1], &expected, sizeof expected), 0);

    for (size_t size = 0; size < good.size(); size += 37)
        EXPECT_FALSE(ParseAccountFile(good.data(), size, store)) << "cut at " << size;
    for (size_t at = 0; at < good.size(); at += 13) {
        std::vector<uint8_t> bad = good;
        bad[at] ^= 0x20;
        EXPECT_FALSE(ParseAccountFile(bad.data(), bad.size(), store)) << "flipped byte " << at;
    }
    // Checksums that hold over records the store would never write.
    struct Bad {
        const char* what;
        std::string name;
    } bads[] = {{"duplicate in another case", "ALPHA"}, {"empty name", ""}, {"unterminated", std::string(51, 'u')}};
    for (const Bad& b : bads) {
        std::vector<uint8_t> bad = good;
        memcpy(bad.data() + kHeaderSize + kRecordSize, b.name.c_str(), std::min<size_t>(b.name.size() + 1, 51));
        Reseal(bad);
        EXPECT_FALSE(ParseAccountFile(bad.data(), bad.size(), store)) << b.what;
    }
    EXPECT_EQ(NamesOf(store), (Names{"alpha", "Beta"})) << "a failed parse leaves the store alone";
}

TEST(VaspAccountCommit, ChangesTheFileAsItIsNow)
{
    enum Call { kAdd, kRemove };
    struct Step {
        Call call;
        std::string name;
        CommitResult result;
        Names stored;
        bool written;
    } steps[] = {
        {kRemove, "alpha", CommitResult::kOk, {}, false},
        {kAdd, "alpha", CommitResult::kOk, {"alpha"}, true},
        {kAdd, "beta", CommitResult::kOk, {"alpha", "beta"}, true},
        {kAdd, "ALPHA", CommitResult::kOk, {"ALPHA", "beta"}, true},
        {kAdd, "\xC9t\xE9", CommitResult::kOk, {"ALPHA", "beta", "\xC9t\xE9"}, true},
        {kAdd, "\xE9T\xC9", CommitResult::kOk, {"ALPHA", "beta", "\xE9T\xC9"}, true},
        {kRemove, "Alpha", CommitResult::kOk, {"beta", "\xE9T\xC9"}, true},
        {kRemove, "gamma", CommitResult::kOk, {"beta", "\xE9T\xC9"}, false},
        {kAdd, "", CommitResult::kRejected, {"beta", "\xE9T\xC9"}, false},
        {kAdd, std::string(51, 'n'), CommitResult::kRejected, {"beta", "\xE9T\xC9"}, false},
        {kRemove, "", CommitResult::kRejected, {"beta", "\xE9T\xC9"}, false},
        {kRemove, std::string(51, 'n'), CommitResult::kRejected, {"beta", "\xE9T\xC9"}, false},
    };
    MemoryStoreFiles files;
    files.live = FileOf({});
    uint8_t seed = 0;
    for (const Step& step : steps) {
        const std::string label = step.name.substr(0, 20);
        int writesBefore = files.writes;
        AccountStore out;
        VASPUserRecord record = RecordOf(step.name, ++seed);
        CommitResult result =
            step.call == kAdd ? CommitAccountAdd(files, record, out) : CommitAccountRemove(files, step.name, out);
        EXPECT_EQ(result, step.result) << label;
        AccountStore stored = Stored(files);
        EXPECT_EQ(NamesOf(stored), step.stored) << label;
        EXPECT_EQ(files.writes > writesBefore, step.written) << label;
        if (step.call == kAdd && result == CommitResult::kOk) {
            const VASPUserRecord& kept = stored.Records()[static_cast<size_t>(stored.Find(step.name))];
            EXPECT_EQ(memcmp(&kept, &record, sizeof record), 0) << "every byte kept: " << label;
        }
    }

    // Another process's change made in between is kept.
    files.live = FileOf({"beta", "delta"}, 40);
    AccountStore out;
    ASSERT_EQ(CommitAccountAdd(files, RecordOf("epsilon"), out), CommitResult::kOk);
    EXPECT_EQ(NamesOf(Stored(files)), (Names{"beta", "delta", "epsilon"}));
    EXPECT_EQ(out.stamp.generation, 41u);
}

TEST(VaspAccountCommit, NeverOverwritesADamagedFileAndKeepsItOnAFailedWrite)
{
    MemoryStoreFiles files;
    files.live = FileOf({"alpha"});
    (*files.live)[kHeaderSize + 100] ^= 1;
    const std::vector<uint8_t> damaged = *files.live;
    AccountStore out;
    EXPECT_EQ(CommitAccountAdd(files, RecordOf("beta"), out), CommitResult::kCorrupt);
    EXPECT_EQ(CommitAccountRemove(files, "alpha", out), CommitResult::kCorrupt);
    EXPECT_EQ(*files.live, damaged);

    files.live = FileOf({"alpha"});
    files.writeFails = true;
    EXPECT_EQ(CommitAccountAdd(files, RecordOf("beta"), out), CommitResult::kWriteFailed);
    EXPECT_EQ(NamesOf(Stored(files)), (Names{"alpha"}));
}
