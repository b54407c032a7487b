// The outbound MMS route store: the name rules, the file's checks, and changes committed
// over the file as it is now.
#include "gateway/mmcore/vasp_route_store.h"

#include <gtest/gtest.h>

#include "memory_store_files.h"

#include <cstring>
#include <optional>

using namespace vasproute;

namespace {

using Names = std::vector<std::string>;

Names Stored(MemoryStoreFiles& files)
{
    RouteStore store;
    EXPECT_EQ(LoadRouteFile(files, store), userstore::LoadResult::kOk);
    return store.Names();
}

std::vector<uint8_t> FileOf(const Names& names, uint32_t generation = 1)
{
    RouteStore store;
    for (const std::string& name : names)
        EXPECT_TRUE(store.AddOrReplace(name)) << name;
    store.stamp.generation = generation;
    return SerializeRouteFile(store);
}

} // namespace

TEST(VaspRouteNames, OnlyPlainNamesAreTaken)
{
    struct Case {
        const char* name;
        bool plain;
    } cases[] = {
        {"Operator1", true}, {"route 2.mms", true}, {"a.b", true}, {"", false},   {"a\\b", false},
        {"a/b", false},      {"C:", false},         {"..", false}, {"a..b", true}, {".hidden", true},
        {".", false},        {"x.", false},         {"NUL", false}, {"com1.x", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsUsableRouteName(c.name), c.plain) << c.name;
}

TEST(VaspRouteNames, TheBlockMustHoldATerminatedPlainName)
{
    char block[kRecordSize] = {};
    strcpy(block, "Operator1");
    std::string name;
    ASSERT_TRUE(RouteNameOfBlock(block, name));
    EXPECT_EQ(name, "Operator1");

    memset(block, 'x', sizeof block);
    EXPECT_FALSE(RouteNameOfBlock(block, name)) << "no terminator within the block";
    block[kRecordSize - 1] = '\0';
    ASSERT_TRUE(RouteNameOfBlock(block, name));
    EXPECT_EQ(name.size(), kRecordSize - 1);
    strcpy(block, "up/../down");
    EXPECT_FALSE(RouteNameOfBlock(block, name));
}

TEST(VaspRouteFile, RoundTripsAndRejectsEveryDamage)
{
    const std::vector<uint8_t> good = FileOf({"alpha", "Beta"}, 7);
    RouteStore store;
    ASSERT_TRUE(ParseRouteFile(good.data(), good.size(), store));
    EXPECT_EQ(store.Names(), (Names{"alpha", "Beta"}));
    EXPECT_EQ(store.stamp.generation, 7u);

    for (size_t size = 0; size < good.size(); size += 37)
        EXPECT_FALSE(ParseRouteFile(good.data(), size, store)) << "cut at " << size;
    for (size_t at = 0; at < good.size(); at += 13) {
        std::vector<uint8_t> bad = good;
        bad[at] ^= 0x20;
        EXPECT_FALSE(ParseRouteFile(bad.data(), bad.size(), store)) << "flipped byte " << at;
    }
    // Checksums that hold over names the store would never write.
    for (const char* stored : {"ALPHA", "a:b", ""}) {
        std::vector<uint8_t> bad = FileOf({"alpha", "x"});
        memset(bad.data() + kHeaderSize + kRecordSize, 0, kRecordSize);
        memcpy(bad.data() + kHeaderSize + kRecordSize, stored, strlen(stored));
        uint32_t crc = userstore::Crc32(bad.data(), kHeaderSize - 4);
        crc = userstore::Crc32(bad.data() + kHeaderSize, bad.size() - kHeaderSize, crc);
        for (int i = 0; i < 4; ++i)
            bad[28 + i] = static_cast<uint8_t>(crc >> (8 * i));
        EXPECT_FALSE(ParseRouteFile(bad.data(), bad.size(), store)) << stored;
    }
    EXPECT_EQ(store.Names(), (Names{"alpha", "Beta"})) << "a failed parse leaves the store alone";
}

TEST(VaspRouteCommit, ChangesTheFileAsItIsNow)
{
    struct Step {
        Change change;
        std::string name;
        CommitResult result;
        Names stored;
        bool written;
    } steps[] = {
        {Change::kAddOrReplace, "alpha", CommitResult::kOk, {"alpha"}, true},
        {Change::kAddOrReplace, "beta", CommitResult::kOk, {"alpha", "beta"}, true},
        {Change::kAddOrReplace, "ALPHA", CommitResult::kOk, {"ALPHA", "beta"}, true},
        {Change::kRemove, "Alpha", CommitResult::kOk, {"beta"}, true},
        {Change::kRemove, "gamma", CommitResult::kOk, {"beta"}, false},
        {Change::kAddOrReplace, "", CommitResult::kRejected, {"beta"}, false},
        {Change::kAddOrReplace, "x\\y", CommitResult::kRejected, {"beta"}, false},
        {Change::kRemove, "..", CommitResult::kRejected, {"beta"}, false},
        {Change::kAddOrReplace, std::string(kRecordSize, 'n'), CommitResult::kRejected, {"beta"}, false},
    };
    MemoryStoreFiles files;
    for (const Step& step : steps) {
        int writesBefore = files.writes;
        RouteStore out;
        EXPECT_EQ(CommitRouteChange(files, step.change, step.name, out), step.result) << step.name.substr(0, 20);
        EXPECT_EQ(Stored(files), step.stored) << step.name.substr(0, 20);
        EXPECT_EQ(files.writes > writesBefore, step.written) << step.name.substr(0, 20);
    }

    // Another process's change made in between is kept.
    files.live = FileOf({"beta", "delta"}, 40);
    RouteStore out;
    ASSERT_EQ(CommitRouteChange(files, Change::kAddOrReplace, "epsilon", out), CommitResult::kOk);
    EXPECT_EQ(Stored(files), (Names{"beta", "delta", "epsilon"}));
    EXPECT_EQ(out.stamp.generation, 41u);
}

TEST(VaspRouteCommit, NeverOverwritesADamagedFileAndKeepsItOnAFailedWrite)
{
    MemoryStoreFiles files;
    files.live = FileOf({"alpha"});
    (*files.live)[kHeaderSize] ^= 1;
    const std::vector<uint8_t> damaged = *files.live;
    RouteStore out;
    EXPECT_EQ(CommitRouteChange(files, Change::kAddOrReplace, "beta", out), CommitResult::kCorrupt);
    EXPECT_EQ(*files.live, damaged);

    files.live = FileOf({"alpha"});
    files.writeFails = true;
    EXPECT_EQ(CommitRouteChange(files, Change::kAddOrReplace, "beta", out), CommitResult::kWriteFailed);
    EXPECT_EQ(Stored(files), (Names{"alpha"}));
}
