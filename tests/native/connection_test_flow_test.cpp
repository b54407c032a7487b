// The elevated connection test's paths against a scripted dial-up library: the result line,
// the order of the library's calls, and the modem given back on every path.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "shell/connection_test_flow.h"

namespace {

struct ScriptedLibrary : DialUpLibrary {
    unsigned long allocation = 7;
    std::vector<int> contexts0 = {1}; // successive answers for selector 0 (the last repeats)
    int context1 = 0;
    int dial = 0;
    int updated = 0;
    bool contextQuery = true, driverUpdate = true, errorText = true;
    bool overfills = false; // a library that writes one character more than the room
    size_t roomGiven = 0;
    std::vector<std::string> calls;
    size_t asked0 = 0;

    unsigned long Allocate(const std::string& modem, unsigned long waitMs) override
    {
        calls.push_back("allocate " + modem + " " + std::to_string(waitMs));
        return allocation;
    }
    void Release(unsigned long a) override { calls.push_back("release " + std::to_string(a)); }
    bool HasContextQuery() const override { return contextQuery; }
    int ContextForApn(const std::string& modem, const std::string& apn, int selector) override
    {
        calls.push_back("context " + modem + " " + apn + " " + std::to_string(selector));
        if (selector == 1)
            return context1;
        int value = contexts0[std::min(asked0, contexts0.size() - 1)];
        ++asked0;
        return value;
    }
    bool HasDriverUpdate() const override { return driverUpdate; }
    int UpdateDriver(const std::string& modem, const std::string&) override
    {
        calls.push_back("update " + modem);
        return updated;
    }
    int Dial(const ConnectionTestInputs& in) override
    {
        calls.push_back("dial " + in.dialUpProfile);
        return dial;
    }
    void HangUp(const std::string& profile) override { calls.push_back("hangup " + profile); }
    bool HasErrorText() const override { return errorText; }
    std::string ErrorText(unsigned code, size_t room) override
    {
        roomGiven = room;
        if (overfills)
            return std::string(room, 'e');
        return std::string("Error text of " + std::to_string(code)).substr(0, room - 1);
    }
};

struct ScriptedReboot : RebootHost {
    bool yes = false;
    std::vector<std::string>* calls = nullptr;
    bool AskReboot() override
    {
        calls->push_back("ask reboot");
        return yes;
    }
    void RequestReboot() override { calls->push_back("reboot"); }
};

ConnectionTestInputs Inputs(const char* apn = "mms.example", const char* profile = "")
{
    return {"10.0.0.1", apn, "user", "secret", "Modem1 Name", profile};
}

TEST(ConnectionTest, ResultLines)
{
    struct Case {
        int dial;
        bool errorText;
        const char* result;
    } cases[] = {
        {0, true, "Connection Test OK!"},
        {1, true, "Unable to connect to WAP Gateway"},
        {600, true, "Connection Failed\r\nRAS Error 600\r\nError text of 600"},
        {799, false, "Connection Failed\r\nRAS Error 799\r\n"},
        {599, true, "Connection Failed"},
        {800, true, "Connection Failed"},
    };
    for (const Case& c : cases) {
        ScriptedLibrary library;
        library.dial = c.dial;
        library.errorText = c.errorText;
        ScriptedReboot reboot;
        reboot.calls = &library.calls;
        EXPECT_EQ(RunConnectionTestFlow(&library, reboot, Inputs()), c.result) << c.dial;
        EXPECT_EQ(library.calls.back(), "release 7") << c.dial;
        EXPECT_EQ(library.calls[library.calls.size() - 2] == "hangup Modem: Modem1 Name", c.dial == 0) << c.dial;
    }
    // The error text gets the room left of the 500-character result, which holds at most 499.
    ScriptedLibrary wordy;
    wordy.dial = 633;
    wordy.overfills = true;
    ScriptedReboot reboot;
    reboot.calls = &wordy.calls;
    const std::string head = "Connection Failed\r\nRAS Error 633\r\n";
    EXPECT_EQ(RunConnectionTestFlow(&wordy, reboot, Inputs()), head + std::string(499 - head.size(), 'e'));
    EXPECT_EQ(wordy.roomGiven, 500 - head.size());
}

TEST(ConnectionTest, LibraryAndModemRefused)
{
    ScriptedReboot reboot;
    EXPECT_EQ(RunConnectionTestFlow(nullptr, reboot, Inputs()), "Internal Error");
    ScriptedLibrary library;
    library.allocation = 0;
    reboot.calls = &library.calls;
    EXPECT_EQ(RunConnectionTestFlow(&library, reboot, Inputs()), "Unable to allocate modem, modem in use by QelSMS");
    EXPECT_EQ(library.calls, (std::vector<std::string>{"allocate Modem1 Name 30000"}));
}

TEST(ConnectionTest, DriverCheckAndReboot)
{
    struct Case {
        const char* name;
        const char* apn;
        const char* profile;
        std::vector<int> contexts0;
        int context1, updated;
        bool yes;
        const char* result;
        std::vector<std::string> calls;
    } cases[] = {
        {"driver knows the APN",
         "mms",
         "",
         {5},
         0,
         0,
         false,
         "Connection Test OK!",
         {"allocate Modem1 Name 30000", "context Modem1 Name mms 0", "dial Modem: Modem1 Name",
          "hangup Modem: Modem1 Name", "release 7"}},
        {"second reading empty",
         "mms",
         "",
         {0},
         0,
         1,
         false,
         "Connection Test OK!",
         {"allocate Modem1 Name 30000", "context Modem1 Name mms 0", "context Modem1 Name mms 1",
          "dial Modem: Modem1 Name", "hangup Modem: Modem1 Name", "release 7"}},
        {"second reading equals a fresh first",
         "mms",
         "",
         {0, 3},
         3,
         1,
         false,
         "Connection Test OK!",
         {"allocate Modem1 Name 30000", "context Modem1 Name mms 0", "context Modem1 Name mms 1",
          "context Modem1 Name mms 0", "dial Modem: Modem1 Name", "hangup Modem: Modem1 Name", "release 7"}},
        {"a first reading of 65536 is 0 in 16 bits",
         "mms",
         "",
         {65536},
         4,
         0,
         false,
         "Connection Test OK!",
         {"allocate Modem1 Name 30000", "context Modem1 Name mms 0", "context Modem1 Name mms 1",
          "context Modem1 Name mms 0", "update Modem1 Name", "dial Modem: Modem1 Name", "hangup Modem: Modem1 Name",
          "release 7"}},
        {"a second reading of 65536 is 0 in 16 bits",
         "mms",
         "",
         {0},
         65536,
         1,
         true,
         "Connection Test OK!",
         {"allocate Modem1 Name 30000", "context Modem1 Name mms 0", "context Modem1 Name mms 1",
          "dial Modem: Modem1 Name", "hangup Modem: Modem1 Name", "release 7"}},
        {"updated, reboot declined",
         "mms",
         "MODEM: Other",
         {0},
         4,
         1,
         false,
         "Connection Test OK!",
         {"allocate Modem1 Name 30000", "context Other mms 0", "context Other mms 1", "context Other mms 0",
          "update Other", "ask reboot", "dial MODEM: Other", "hangup MODEM: Other", "release 7"}},
        {"updated, reboot accepted: modem back first",
         "mms",
         "",
         {0},
         4,
         1,
         true,
         "Please restart your system before continuing",
         {"allocate Modem1 Name 30000", "context Modem1 Name mms 0", "context Modem1 Name mms 1",
          "context Modem1 Name mms 0", "update Modem1 Name", "ask reboot", "release 7", "reboot"}},
        {"nothing updated",
         "mms",
         "",
         {0},
         4,
         0,
         true,
         "Connection Test OK!",
         {"allocate Modem1 Name 30000", "context Modem1 Name mms 0", "context Modem1 Name mms 1",
          "context Modem1 Name mms 0", "update Modem1 Name", "dial Modem: Modem1 Name", "hangup Modem: Modem1 Name",
          "release 7"}},
        {"empty APN skips the check",
         "",
         "",
         {0},
         4,
         1,
         true,
         "Connection Test OK!",
         {"allocate Modem1 Name 30000", "dial Modem: Modem1 Name", "hangup Modem: Modem1 Name", "release 7"}},
        {"named dial-up connection skips the check",
         "mms",
         "GPRS Internet",
         {0},
         4,
         1,
         true,
         "Connection Test OK!",
         {"allocate Modem1 Name 30000", "dial GPRS Internet", "hangup GPRS Internet", "release 7"}},
    };
    for (const Case& c : cases) {
        ScriptedLibrary library;
        library.contexts0 = c.contexts0;
        library.context1 = c.context1;
        library.updated = c.updated;
        ScriptedReboot reboot;
        reboot.yes = c.yes;
        reboot.calls = &library.calls;
        EXPECT_EQ(RunConnectionTestFlow(&library, reboot, Inputs(c.apn, c.profile)), c.result) << c.name;
        EXPECT_EQ(library.calls, c.calls) << c.name;
    }
}

} // namespace
