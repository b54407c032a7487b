// MMCORE.DLL's VASP accounts through the DLL's exports, in a data directory of the test's
// own: accounts found in any case with every byte as given, replaced, deleted, names
// refused, and a damaged store left alone.
#include "gateway/mmcore/mmcore.h"
#include "gateway/mmcore/vasp_user_record.h"
#include "tests/windows/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

// A record with every byte set from the seed and the name written at its start.
VASPUserRecord RecordOf(const std::string& name, uint8_t seed)
{
    VASPUserRecord record;
    uint8_t* bytes = reinterpret_cast<uint8_t*>(&record);
    for (size_t i = 0; i < sizeof record; ++i)
        bytes[i] = static_cast<uint8_t>(seed + i * 3);
    memcpy(record.userName, name.c_str(), std::min(name.size() + 1, sizeof record.userName));
    return record;
}

// The record found under the name, or an empty string; the bytes past the record stay untouched.
std::string Found(const char* name)
{
    char buffer[2048];
    memset(buffer, 0xEE, sizeof buffer);
    if (!VASPFindUserRecord(name, buffer))
        return std::string();
    for (size_t i = VASP_USER_RECORD_SIZE; i < sizeof buffer; ++i)
        EXPECT_EQ(static_cast<uint8_t>(buffer[i]), 0xEE) << "byte " << i << " past the record";
    return std::string(buffer, VASP_USER_RECORD_SIZE);
}

std::string BytesOf(const VASPUserRecord& record)
{
    return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

} // namespace

TEST(MmcoreAccounts, ExportsKeepTheAccountsInTheDataDirectory)
{
    TempFolder data("mmcore-accounts");
    DirectoryOverrides overrides(data.path(), data / "Private\\", data / "Program\\");
    const VASPUserRecord first = RecordOf("Vasp1", 1);
    const VASPUserRecord other = RecordOf("other", 2);
    const VASPUserRecord replaced = RecordOf("VASP1", 3);

    EXPECT_TRUE(VASPDeleteUser("Vasp1")) << "absent, no file yet";
    EXPECT_EQ(Found("Vasp1"), "");
    ASSERT_TRUE(VASPAddUser(&first));
    ASSERT_TRUE(VASPAddUser(&other));
    EXPECT_EQ(Found("vasp1"), BytesOf(first));
    ASSERT_TRUE(VASPAddUser(&replaced));
    EXPECT_EQ(Found("Vasp1"), BytesOf(replaced));
    EXPECT_EQ(Found("OTHER"), BytesOf(other));
    EXPECT_TRUE(VASPDeleteUser("vasp1"));
    EXPECT_EQ(Found("VASP1"), "");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND));
    EXPECT_TRUE(VASPDeleteUser("absent"));

    struct Refused {
        const char* what;
        VASPUserRecord record;
    } refused[] = {{"empty name", RecordOf("", 4)}, {"unterminated name", RecordOf(std::string(51, 'n'), 5)}};
    for (const Refused& r : refused) {
        EXPECT_FALSE(VASPAddUser(&r.record)) << r.what;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME)) << r.what;
    }
    EXPECT_FALSE(VASPDeleteUser(""));
    EXPECT_EQ(Found("OTHER"), BytesOf(other)) << "nothing else changed";
    EXPECT_EQ(GetFileAttributesA((data / "VASPUSERS.TMP").c_str()), INVALID_FILE_ATTRIBUTES);

    // A damaged store is never overwritten.
    WriteWholeFile(data / "VASPUSERS.DAT", "QELVASPU damaged");
    EXPECT_FALSE(VASPAddUser(&first));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_CORRUPT));
    EXPECT_FALSE(VASPDeleteUser("other"));
    EXPECT_EQ(Found("other"), "");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_CORRUPT));
    EXPECT_EQ(ReadWholeFile(data / "VASPUSERS.DAT"), "QELVASPU damaged");
}
