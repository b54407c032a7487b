// The records the "Edit User" dialog builds, the user-name rules and the account's INI keys.
#include "users/user_account.h"

#include <gtest/gtest.h>

#include <cstring>

#include "memory_ini.h"

namespace {

UserRecord FilledRecord(uint8_t fill)
{
    UserRecord record;
    std::memset(&record, fill, sizeof record);
    return record;
}

UserDetails SampleDetails()
{
    UserDetails details;
    details.userName = "alice";
    details.password = "secret";
    details.fullName = "Alice Example";
    details.webLogin = true;
    details.smppLogin = true;
    details.webMenuEntry = 1;
    details.administrator = true;
    details.acceptReceived = true;
    details.ipRestriction = "10.0.0.1";
    return details;
}

TEST(UserAccount, BuiltRecordHasEveryFieldAtItsOffsetAndZeroElsewhere)
{
    UserRecord record = BuildUserRecord(SampleDetails(), 0xB0);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 0), "alice");
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 51), "secret");
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 102), "Alice Example");
    EXPECT_EQ(bytes[203], 0);
    EXPECT_EQ(bytes[204], 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 225), "10.0.0.1");
    EXPECT_EQ(bytes[419], 0xB1);
    EXPECT_EQ(bytes[420], 'j');
    EXPECT_EQ(bytes[421], 1);
    // Every byte no field covers, and the tail of each text field, is zero.
    const std::pair<size_t, size_t> texts[] = {{0, 5}, {51, 6}, {102, 13}, {225, 8}};
    for (size_t i = 0; i < sizeof record; ++i) {
        bool inText = false;
        for (auto [start, length] : texts)
            inText |= i >= start && i < start + length;
        if (!inText && i != 204 && i != 419 && i != 420 && i != 421)
            EXPECT_EQ(bytes[i], 0) << "offset " << i;
    }
}

TEST(UserAccount, ReadingARecordShowsItsFieldsAndReservedBytesAreDropped)
{
    UserRecord stored = FilledRecord(0x55);
    std::strcpy(stored.userName, "bob");
    std::strcpy(stored.password, "pw");
    std::strcpy(stored.fullName, "Bob");
    std::strcpy(stored.ipRestriction, "1.2.3.4");
    stored.webLoginDisabled = 0;
    stored.smppLoginEnabled = 1;
    stored.webMenuOptions = 0xB0;
    stored.administrator = 'j';
    stored.acceptReceived = 1;
    UserDetails details = DetailsFromRecord(stored);
    EXPECT_EQ(details.userName, "bob");
    EXPECT_EQ(details.ipRestriction, "1.2.3.4");
    EXPECT_TRUE(details.webLogin && details.smppLogin && details.administrator && details.acceptReceived);
    UserRecord saved = BuildUserRecord(details, stored.webMenuOptions);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&saved);
    for (size_t i = 205; i < 225; ++i)
        EXPECT_EQ(bytes[i], 0) << i;
    for (size_t i = 275; i < 419; ++i)
        EXPECT_EQ(bytes[i], 0) << i;
    for (size_t i = 422; i < 522; ++i)
        EXPECT_EQ(bytes[i], 0) << i;
}

TEST(UserAccount, LongTextsAreCutToTheirFields)
{
    UserDetails details;
    details.userName = std::string(80, 'u');
    details.password = std::string(80, 'p');
    details.fullName = std::string(150, 'f');
    details.ipRestriction = std::string(80, 'i');
    UserRecord record = BuildUserRecord(details, 0);
    EXPECT_EQ(std::strlen(record.userName), 50u);
    EXPECT_EQ(std::strlen(record.password), 50u);
    EXPECT_EQ(std::strlen(record.fullName), 100u);
    EXPECT_EQ(strnlen(record.ipRestriction, sizeof record.ipRestriction), 49u);
}

struct WebMenuCase {
    uint8_t stored;
    int shownEntry;
    int chosenEntry; // what the administrator leaves selected
    uint8_t saved;
};

// A stored option with no entry in the list shows no selection and is kept while none is
// chosen: editing a restricted account must not widen its rights.
const WebMenuCase kWebMenuCases[] = {
    {0xB0, 0, 0, 0xB0},
    {0xB1, 1, 1, 0xB1},
    {0xB1, 1, 0, 0xB0},
    {0xB3, kNoWebMenuEntry, kNoWebMenuEntry, 0xB3},
    {0xB4, kNoWebMenuEntry, kNoWebMenuEntry, 0xB4},
    {0xB2, kNoWebMenuEntry, 1, 0xB1},
    {0x00, 0, 0, 0xB0},
    {0xB5, 0, kNoWebMenuEntry, 0xB0},
};

TEST(UserAccount, WebMenuByteShowsAndSaves)
{
    for (const WebMenuCase& c : kWebMenuCases) {
        UserRecord stored = {};
        stored.webMenuOptions = c.stored;
        UserDetails details = DetailsFromRecord(stored);
        EXPECT_EQ(details.webMenuEntry, c.shownEntry) << std::hex << int(c.stored);
        details.webMenuEntry = c.chosenEntry;
        EXPECT_EQ(BuildUserRecord(details, c.stored).webMenuOptions, c.saved) << std::hex << int(c.stored);
    }
}

// Each box reaches its own byte; the administrator byte also needs web login.
TEST(UserAccount, LoginBoxesReachTheirBytes)
{
    const struct {
        bool web, smpp, admin, accept;
        uint8_t webDisabled, smppEnabled, administrator, acceptReceived;
    } cases[] = {
        {true, true, true, true, 0, 1, 'j', 1},
        {false, false, false, false, 1, 0, 0, 0},
        {false, true, true, false, 1, 1, 0, 0},
        {true, false, false, true, 0, 0, 0, 1},
    };
    for (const auto& c : cases) {
        UserDetails details = SampleDetails();
        details.webLogin = c.web;
        details.smppLogin = c.smpp;
        details.administrator = c.admin;
        details.acceptReceived = c.accept;
        UserRecord record = BuildUserRecord(details, 0xB0);
        EXPECT_EQ(record.webLoginDisabled, c.webDisabled) << c.web << c.smpp << c.admin << c.accept;
        EXPECT_EQ(record.smppLoginEnabled, c.smppEnabled) << c.web << c.smpp << c.admin << c.accept;
        EXPECT_EQ(record.administrator, c.administrator) << c.web << c.smpp << c.admin << c.accept;
        EXPECT_EQ(record.acceptReceived, c.acceptReceived) << c.web << c.smpp << c.admin << c.accept;
    }
    UserRecord stored = {};
    stored.webLoginDisabled = 1;
    stored.administrator = 'j';
    EXPECT_FALSE(DetailsFromRecord(stored).administrator);
}

TEST(UserAccount, VaspRecordTakesTheAccountAndKeepsItsOtherBytes)
{
    VASPUserRecord record;
    std::memset(&record, 0x77, sizeof record);
    FillVaspRecord(SampleDetails(), record);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 0), "alice");
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 51), "secret");
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 102), "Alice Example");
    EXPECT_EQ(bytes[203], 1);
    EXPECT_EQ(bytes[204], 0);
    EXPECT_EQ(bytes[205], 1);
    EXPECT_EQ(bytes[206], 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 267), "10.0.0.1");
    for (size_t i = 207; i < 267; ++i)
        EXPECT_EQ(bytes[i], 0x77) << i;
    for (size_t i = 317; i < sizeof record; ++i)
        EXPECT_EQ(bytes[i], 0x77) << i;
}

TEST(UserAccount, UserNamesMustBePlainFolderNamesAndKeys)
{
    const char* accepted[] = {"alice", "Bob Smith", "a.b", "user_1-x", "J\xE9r\xF4me"};
    for (const char* name : accepted)
        EXPECT_EQ(UserNameProblem(name), nullptr) << name;
    EXPECT_STREQ(UserNameProblem(""), "Field is required!");
    const char* refused[] = {".",   "..",  "a\\b", "a/b", "c:", "a*", "a?", "a\"b", "<a",   "a>",
                             "a|b", "a=b", "[a",   "a]",  " a", "a ", ";a", "a.",   "a\tb", "a\x7f"};
    for (const char* name : refused)
        EXPECT_STREQ(UserNameProblem(name), kUnsafeUserName) << name;
    for (const char* name : {"CON", "nul", "COM1", "lpt9", "aux.txt", "CONIN$"})
        EXPECT_STREQ(UserNameProblem(name), kDeviceUserName) << name;
}

TEST(UserAccount, NamesCompareAsTheAccountFileDoes)
{
    const struct {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"alice", "ALICE", true}, {"\xE9mile", "\xC9mile", true}, {"\xFEorn", "\xDEorn", true},
        {"alice", "alicia", false}, {"alice", "alice ", false}, {"\xE9mile", "emile", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SameUserName(c.a, c.b), c.same) << c.a << " / " << c.b;
}

TEST(UserAccount, LoginIsTheAccountsWhenItCarriesItsPassword)
{
    UserRecord account = BuildUserRecord(SampleDetails(), 0xB0);
    const struct {
        const char* name;
        const char* password;
        bool own;
    } cases[] = {{"ALICE", "secret", true}, {"alice", "other", false}, {"bob", "secret", false}, {"alice", "", false}};
    for (const auto& c : cases) {
        VASPUserRecord login = {};
        std::strcpy(login.userName, c.name);
        std::strcpy(login.password, c.password);
        EXPECT_EQ(LoginBelongsToAccount(login, account), c.own) << c.name << " " << c.password;
    }
}

TEST(UserAccount, RoutingAddressesLiveUnderTheUserName)
{
    MemoryIni smsgw;
    std::string longest(kRoutingAddressesMax, '4');
    WriteRoutingAddresses(smsgw, "carol", longest);
    EXPECT_EQ(ReadRoutingAddresses(smsgw, "carol"), longest);
    DeleteRoutingAddresses(smsgw, "CAROL");
    WriteRoutingAddresses(smsgw, "alice", "+4412345,+4467890");
    EXPECT_EQ(smsgw.Read("Inbound SMS Routing", "alice", 100), "+4412345,+4467890");
    EXPECT_EQ(ReadRoutingAddresses(smsgw, "ALICE"), "+4412345,+4467890");
    EXPECT_TRUE(WriteRoutingAddresses(smsgw, "alice", ""));
    EXPECT_EQ(smsgw.ReadSection("Inbound SMS Routing").size(), 0u);
    smsgw.failFromWrite = smsgw.writes;
    EXPECT_FALSE(WriteRoutingAddresses(smsgw, "alice", "+1"));
    EXPECT_FALSE(WriteRoutingAddresses(smsgw, "alice", ""));
    EXPECT_FALSE(SaveWebAuth(smsgw, true));
}

TEST(UserAccount, WebAuthDefaultsToRequiredOnlyWhenMissing)
{
    MemoryIni smsgw;
    EXPECT_TRUE(LoadWebAuth(smsgw));
    smsgw.Write("SMSGW", "Other", "");
    EXPECT_TRUE(LoadWebAuth(smsgw));
    // Present and empty reads false, as the gateway and the test page read it.
    smsgw.Write("SMSGW", " webauth ", "");
    EXPECT_FALSE(LoadWebAuth(smsgw));
    smsgw.Write("SMSGW", "WebAuth", "no");
    EXPECT_FALSE(LoadWebAuth(smsgw));
    smsgw.Write("SMSGW", "WebAuth", "1");
    EXPECT_TRUE(LoadWebAuth(smsgw));
    SaveWebAuth(smsgw, true);
    EXPECT_EQ(smsgw.Read("SMSGW", "WebAuth", 10), "Yes");
    SaveWebAuth(smsgw, false);
    EXPECT_EQ(smsgw.Read("SMSGW", "WebAuth", 10), "No");
}

} // namespace
