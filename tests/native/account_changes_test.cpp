// The order of an account change and what a refusal leaves behind.
#include "users/account_changes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "memory_ini.h"

namespace {

std::string Folded(const std::string& name)
{
    std::string key = name;
    for (char& c : key) {
        unsigned char u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7))
            c = static_cast<char>(u + 0x20);
    }
    return key;
}

// The account files in memory; each call is logged, and the call named in refuse fails.
class MemoryAccountFiles final : public AccountFiles {
public:
    std::map<std::string, UserRecord> accounts;
    std::map<std::string, VASPUserRecord> logins;
    std::string log;
    std::string refuse;

    bool StoreAccount(const UserRecord& record) override
    {
        return Step("store " + std::string(record.userName)) && (accounts[Folded(record.userName)] = record, true);
    }
    bool DeleteAccount(const UserRecord& record) override
    {
        return Step("delete " + std::string(record.userName)) && (accounts.erase(Folded(record.userName)), true);
    }
    bool FindLogin(const std::string& name, VASPUserRecord& login) override
    {
        auto found = logins.find(Folded(name));
        if (found == logins.end())
            return false;
        login = found->second;
        return true;
    }
    bool StoreLogin(const VASPUserRecord& login) override
    {
        return Step("login " + std::string(login.userName)) && (logins[Folded(login.userName)] = login, true);
    }
    bool DeleteLogin(const std::string& name) override
    {
        return Step("unlogin " + name) && (logins.erase(Folded(name)), true);
    }
    void MoveFolder(const std::string& oldName, const std::string& newName) override
    {
        log += "move " + oldName + ">" + newName + ";";
    }
    void DeleteFolder(const std::string& name) override { log += "rmdir " + name + ";"; }

private:
    bool Step(const std::string& step)
    {
        log += step + ";";
        return step != refuse;
    }
};

UserRecord Account(const char* name, const char* password = "pw", bool accept = true)
{
    UserRecord record = {};
    std::strcpy(record.userName, name);
    std::strcpy(record.password, password);
    record.acceptReceived = accept ? 1 : 0;
    return record;
}

VASPUserRecord Login(const char* name, const char* password)
{
    VASPUserRecord login = {};
    std::strcpy(login.userName, name);
    std::strcpy(login.password, password);
    login.reserved2[0] = 0x5A; // a byte the dialog does not show, kept by a move
    return login;
}

struct SaveCase {
    const char* what;
    const char* opened;       // "" for a new account
    const char* loginOwner;   // the password of the opened name's login; nullptr: none
    const char* edited;
    bool mm7Login;
    const char* refuse;
    AccountChange result;
    const char* log;
    const char* accounts; // names left, in folded order
    const char* logins;
    const char* routing; // keys left in [Inbound SMS Routing]
};

const SaveCase kSaveCases[] = {
    {"new account with login", "", nullptr, "erin", true, "", AccountChange::Done, "store erin;login erin;", "erin",
     "erin", "erin"},
    {"refused record writes nothing else", "", nullptr, "erin", true, "store erin", AccountChange::AccountRefused,
     "store erin;", "", "", ""},
    {"rename moves the own login, key and folder", "alice", "pw", "alicia", true, "", AccountChange::Done,
     "store alicia;delete alice;move alice>alicia;login alicia;unlogin alice;", "alicia", "alicia", "alicia"},
    {"rename keeps a login made elsewhere", "alice", "other", "alicia", false, "", AccountChange::Done,
     "store alicia;delete alice;move alice>alicia;unlogin alicia;", "alicia", "alice", "alicia"},
    {"refused delete of the old name takes the new record out", "alice", "pw", "alicia", true, "delete alice",
     AccountChange::AccountRefused, "store alicia;delete alice;delete alicia;", "alice", "alice", "alice"},
    {"case only is no rename", "\xE9mile", "pw", "\xC9mile", true, "", AccountChange::Done, "store \xC9mile;login \xC9mile;",
     "\xE9mile", "\xE9mile", "\xE9mile"},
    {"refused login leaves the key", "alice", "pw", "alicia", true, "login alicia", AccountChange::LoginRefused,
     "store alicia;delete alice;move alice>alicia;login alicia;", "alicia", "alice", "alice"},
    {"refused move of the login leaves the key", "alice", "pw", "alicia", true, "unlogin alice",
     AccountChange::LoginRefused, "store alicia;delete alice;move alice>alicia;login alicia;unlogin alice;", "alicia", "alice,alicia",
     "alice"},
    {"login switched off", "alice", "pw", "alice", false, "", AccountChange::Done, "store alice;unlogin alice;", "alice",
     "", "alice"},
    {"refused unlogin", "alice", "pw", "alice", false, "unlogin alice", AccountChange::LoginRefused,
     "store alice;unlogin alice;", "alice", "alice", "alice"},
};

template <typename Map>
std::string Keys(const Map& m)
{
    std::string out;
    for (const auto& entry : m)
        out += (out.empty() ? "" : ",") + entry.first;
    return out;
}

// The keys as the profile functions see them: one per name in any letter case.
std::string Keys(const IniEntries& entries)
{
    std::map<std::string, bool> folded;
    for (const auto& entry : entries)
        folded[Folded(entry.first)] = true;
    return Keys(folded);
}

TEST(AccountChanges, SaveStoresTheRecordFirstAndMovesWhatIsTheAccounts)
{
    for (const SaveCase& c : kSaveCases) {
        MemoryAccountFiles files;
        MemoryIni smsgw;
        AccountEdit edit;
        if (*c.opened) {
            edit.opened = Account(c.opened);
            files.accounts[Folded(c.opened)] = edit.opened;
            smsgw.Write(kRoutingSection, c.opened, "+441");
        }
        if (c.loginOwner)
            files.logins[Folded(c.opened)] = Login(c.opened, c.loginOwner);
        edit.edited = Account(c.edited);
        edit.mm7Login = c.mm7Login;
        edit.routingAddresses = "+442";
        files.refuse = c.refuse;
        EXPECT_EQ(SaveAccount(files, smsgw, edit), c.result) << c.what;
        EXPECT_EQ(files.log, c.log) << c.what;
        EXPECT_EQ(Keys(files.accounts), Folded(c.accounts)) << c.what;
        EXPECT_EQ(Keys(files.logins), Folded(c.logins)) << c.what;
        EXPECT_EQ(Keys(smsgw.ReadSection(kRoutingSection)), Folded(c.routing)) << c.what;
    }
}

TEST(AccountChanges, AMovedLoginKeepsItsBytesAndTakesTheAccount)
{
    MemoryAccountFiles files;
    MemoryIni smsgw;
    AccountEdit edit;
    edit.opened = Account("alice");
    files.logins["alice"] = Login("alice", "pw");
    edit.edited = Account("alicia", "new");
    edit.mm7Login = true;
    ASSERT_EQ(SaveAccount(files, smsgw, edit), AccountChange::Done);
    const VASPUserRecord& moved = files.logins.at("alicia");
    EXPECT_STREQ(moved.password, "new");
    EXPECT_EQ(moved.reserved2[0], 0x5A);

    // A login the new name already has is the one updated.
    edit.opened = edit.edited;
    files.logins["alicia"].reserved2[0] = 0x11;
    files.logins["bob"] = Login("bob", "pw");
    edit.edited = Account("bob", "new");
    ASSERT_EQ(SaveAccount(files, smsgw, edit), AccountChange::Done);
    EXPECT_EQ(files.logins.at("bob").reserved2[0], 0x5A);
    EXPECT_EQ(files.logins.count("alicia"), 0u);
}

TEST(AccountChanges, RoutingFollowsTheAcceptBoxAndARefusedKeyIsSaid)
{
    MemoryAccountFiles files;
    MemoryIni smsgw;
    AccountEdit edit;
    edit.opened = Account("bob");
    smsgw.Write(kRoutingSection, "bob", "+441");
    edit.edited = Account("bob", "pw", false);
    edit.routingAddresses = "+442";
    EXPECT_EQ(SaveAccount(files, smsgw, edit), AccountChange::Done);
    EXPECT_FALSE(smsgw.Has(kRoutingSection, "bob"));
    edit.edited.acceptReceived = 1;
    smsgw.failFromWrite = smsgw.writes;
    EXPECT_EQ(SaveAccount(files, smsgw, edit), AccountChange::RoutingRefused);
}

struct RemoveCase {
    const char* name;
    const char* loginPassword; // nullptr: no login
    const char* refuse;
    AccountChange result;
    const char* log;
    bool loginLeft;
    bool keyLeft;
};

const RemoveCase kRemoveCases[] = {
    {"alice", "pw", "", AccountChange::Done, "delete alice;unlogin alice;rmdir alice;", false, false},
    {"alice", "other", "", AccountChange::Done, "delete alice;rmdir alice;", true, false},
    {"alice", nullptr, "", AccountChange::Done, "delete alice;rmdir alice;", false, false},
    {"alice", "pw", "delete alice", AccountChange::AccountRefused, "delete alice;", true, true},
    {"alice", "pw", "unlogin alice", AccountChange::LoginRefused, "delete alice;unlogin alice;", true, true},
    {"..\\x", "pw", "", AccountChange::Done, "delete ..\\x;unlogin ..\\x;", false, true},
};

TEST(AccountChanges, RemoveTakesTheOwnLoginKeyAndFolder)
{
    for (const RemoveCase& c : kRemoveCases) {
        MemoryAccountFiles files;
        MemoryIni smsgw;
        UserRecord record = Account(c.name);
        files.accounts[Folded(c.name)] = record;
        if (c.loginPassword)
            files.logins[Folded(c.name)] = Login(c.name, c.loginPassword);
        smsgw.Write(kRoutingSection, c.name, "+441");
        files.refuse = c.refuse;
        EXPECT_EQ(RemoveAccount(files, smsgw, record), c.result) << c.name << " " << c.refuse;
        EXPECT_EQ(files.log, c.log) << c.name;
        EXPECT_EQ(files.logins.count(Folded(c.name)) == 1, c.loginLeft && c.loginPassword) << c.name;
        EXPECT_EQ(smsgw.Has(kRoutingSection, c.name), c.keyLeft) << c.name;
    }
}

} // namespace
