// Service control against Wine's real service control manager, with the stand-in gateway
// services in a module folder of the test's own.
#include "services/service_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "app/app_state.h"
#include "shell/verb_actions.h"
#include "tests/windows/test_support.h"

namespace {

const char kElevationQuestion[] =
    "Administrator rights are required for service installation or modification.\r\n\r\n"
    "If you continue, Windows will ask you to confirm that you will allow this application to assume "
    "administrator rights to perform this task.\r\n\r\nDo you wish to continue?";
const char kCaption[] = "Qel SMS/MMS Gateway Lite Edition (v2015.03.13)";

// What the elevation seam saw, and whether it let the launch go ahead.
struct ElevationRecord {
    int launches = 0;
    std::string executable;
    std::string argument;
    bool refuse = false;
    bool (*realLaunch)(const char*, const char*, HANDLE*) = nullptr;
};
ElevationRecord elevation;

bool RecordingLaunch(const char* executable, const char* argument, HANDLE* process)
{
    ++elevation.launches;
    elevation.executable = executable;
    elevation.argument = argument;
    if (elevation.refuse)
        return false; // the platform's elevation prompt was declined
    return elevation.realLaunch(executable, argument, process);
}

// Full access to the manager is refused, as for a user without administrator rights;
// reading still works.
SC_HANDLE WINAPI OpenWithoutRights(LPCSTR machine, LPCSTR database, DWORD access)
{
    if (access & ~(GENERIC_READ | SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return OpenSCManagerA(machine, database, access);
}

std::string ConfiguredBinary(const char* name, DWORD* startType, std::string* displayName)
{
    std::string binary;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, GENERIC_READ);
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_CONFIG);
    if (service) {
        char buffer[8192];
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
        DWORD needed = 0;
        if (QueryServiceConfigA(service, config, sizeof buffer, &needed)) {
            binary = config->lpBinaryPathName;
            if (startType)
                *startType = config->dwStartType;
            if (displayName)
                *displayName = config->lpDisplayName;
        }
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return binary;
}

class ServiceControlTest : public testing::Test {
protected:
    TempFolder module{"module"};
    TempFolder data{"data"};
    TempFolder privateData{"private"};
    std::unique_ptr<DirectoryOverrides> overrides;
    ServicePlatform savedPlatform = ServicePlatformHooks();

    void SetUp() override
    {
        ForceDeleteService("QelSMS");
        ForceDeleteService("QelMMSC");
        for (const char* file : {"QELCONF.EXE", "GWCORE.DLL"})
            ASSERT_TRUE(CopyFileA((StagedInstallFolder() + file).c_str(), (module / file).c_str(), FALSE)) << file;
        for (const char* file : {"TXTSVCNT.EXE", "MMSVCNT.EXE", "TXTSVC.EXE", "MMSVC.EXE", "FWRULES.EXE"}) {
            ASSERT_TRUE(CopyFileA((TestProgramFolder() + "standins\\" + file).c_str(), (module / file).c_str(), FALSE))
                << file;
        }
        lstrcpynA(appPaths.moduleDirectory, module.path().c_str(), MAX_PATH);
        lstrcpynA(appPaths.modulePath, (module / "QELCONF.EXE").c_str(), MAX_PATH);
        overrides = std::make_unique<DirectoryOverrides>(data.path(), privateData.path(), module.path());
        ServicePlatformHooks().roundMs = 25;
        elevation = ElevationRecord();
        elevation.realLaunch = savedPlatform.launchElevated;
    }

    void TearDown() override
    {
        ServicePlatformHooks() = savedPlatform;
        SetStandin("QelSMS", "RefuseStop", "0");
        SetStandin("QelMMSC", "RefuseStop", "0");
        ForceDeleteService("QelSMS");
        ForceDeleteService("QelMMSC");
        Sleep(100); // let the stand-in processes go before their folder is removed
    }

    void SetStandin(const char* service, const char* key, const char* value)
    {
        WritePrivateProfileStringA(service, key, value, (module / "STANDIN.INI").c_str());
    }

    std::vector<std::string> StandinLog() { return FileLines(module / "STANDIN.LOG"); }

    bool LogHas(const std::string& line)
    {
        auto log = StandinLog();
        return std::find(log.begin(), log.end(), line) != log.end();
    }

    std::string ShortPath(const char* file)
    {
        char shortPath[MAX_PATH] = "";
        GetShortPathNameA((module / file).c_str(), shortPath, MAX_PATH);
        return shortPath;
    }

    void DenyRights() { ServicePlatformHooks().openManager = OpenWithoutRights; }
    void RecordElevation() { ServicePlatformHooks().launchElevated = RecordingLaunch; }
};

TEST_F(ServiceControlTest, InstallRegistersBothServicesStartsThemAndAdmitsThemThroughTheFirewall)
{
    MessageBoxAnswerer answerer;
    ASSERT_TRUE(InstallServices(false));

    DWORD startType = 0;
    std::string display;
    EXPECT_EQ(ShortPath("TXTSVCNT.EXE"), ConfiguredBinary("QelSMS", &startType, &display));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), startType);
    EXPECT_EQ("Qel SMS Gateway Lite Edition", display);
    EXPECT_EQ(ShortPath("MMSVCNT.EXE"), ConfiguredBinary("QelMMSC", &startType, &display));
    EXPECT_EQ("Qel MMS Gateway Lite Edition", display);
    EXPECT_TRUE(WaitForServiceState("QelSMS", SERVICE_RUNNING, 10000));
    EXPECT_TRUE(WaitForServiceState("QelMMSC", SERVICE_RUNNING, 10000));
    EXPECT_TRUE(IsSmsServiceActive());
    EXPECT_TRUE(IsMmscServiceInstalled());

    // The helper is not waited for: give it a moment to write its log.
    std::vector<std::string> calls;
    for (int i = 0; i < 100 && calls.size() < 2; ++i, Sleep(50))
        calls = FileLines(module / "FWRULES.LOG");
    ASSERT_EQ(2u, calls.size());
    std::sort(calls.begin(), calls.end());
    EXPECT_EQ(module / "FWRULES.EXE \"" + module / "MMSVC.EXE\" \"Qel MMS Gateway Lite Edition\"", calls[0]);
    EXPECT_EQ(module / "FWRULES.EXE \"" + module / "TXTSVC.EXE\" \"Qel SMS Gateway Lite Edition\"", calls[1]);
    EXPECT_TRUE(answerer.boxes().empty());
}

TEST_F(ServiceControlTest, InstallGoesOnWithoutTheFirewallHelper)
{
    DeleteFileA((module / "FWRULES.EXE").c_str());
    ASSERT_TRUE(InstallServices(false));
    EXPECT_TRUE(WaitForServiceState("QelSMS", SERVICE_RUNNING, 10000));
    EXPECT_TRUE(WaitForServiceState("QelMMSC", SERVICE_RUNNING, 10000));
}

TEST_F(ServiceControlTest, InstallOverAnInstalledPairRepairsAndStartsIt)
{
    ASSERT_TRUE(InstallServices(false));
    StopServices(false);
    ASSERT_FALSE(IsSmsServiceActive());
    {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE sms = OpenServiceA(manager, "QelSMS", SERVICE_ALL_ACCESS);
        ChangeServiceConfigA(sms, SERVICE_NO_CHANGE, SERVICE_DEMAND_START, SERVICE_NO_CHANGE, "C:\\elsewhere\\X.EXE",
                             nullptr, nullptr, nullptr, nullptr, nullptr, "Renamed");
        CloseServiceHandle(sms);
        CloseServiceHandle(manager);
    }

    MessageBoxAnswerer answerer;
    ASSERT_TRUE(InstallServices(false));
    DWORD startType = 0;
    std::string display;
    EXPECT_EQ(ShortPath("TXTSVCNT.EXE"), ConfiguredBinary("QelSMS", &startType, &display));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), startType);
    EXPECT_EQ("Qel SMS Gateway Lite Edition", display);
    EXPECT_TRUE(WaitForServiceState("QelSMS", SERVICE_RUNNING, 10000));
    EXPECT_TRUE(WaitForServiceState("QelMMSC", SERVICE_RUNNING, 10000));

    // Installing or starting a running pair leaves it running and says nothing.
    ASSERT_TRUE(InstallServices(false));
    StartServices(false);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), ServiceState("QelSMS"));
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), ServiceState("QelMMSC"));
    EXPECT_TRUE(answerer.boxes().empty());
}

TEST_F(ServiceControlTest, StopAndStartAPairWaitingForTheStates)
{
    SetStandin("QelSMS", "StartDelayMs", "400");
    ASSERT_TRUE(InstallServices(false));
    ASSERT_TRUE(WaitForServiceState("QelSMS", SERVICE_RUNNING, 10000));
    ASSERT_TRUE(WaitForServiceState("QelMMSC", SERVICE_RUNNING, 10000));

    StopServices(false);
    EXPECT_FALSE(IsSmsServiceActive());
    EXPECT_FALSE(IsMmscServiceActive());

    StartServices(false);
    EXPECT_TRUE(IsSmsServiceActive()); // start-pending counts as active

    RestartServices(false);
    EXPECT_TRUE(IsSmsServiceActive());
    EXPECT_TRUE(LogHas("stop-control QelSMS"));
}

TEST_F(ServiceControlTest, AServiceThatWillNotStopIsGivenUpOnAfterTheLastRound)
{
    ASSERT_TRUE(InstallServices(false));
    ASSERT_TRUE(WaitForServiceState("QelSMS", SERVICE_RUNNING, 10000));
    SetStandin("QelSMS", "RefuseStop", "1");

    DWORD start = GetTickCount();
    StopServices(false);
    DWORD elapsed = GetTickCount() - start;

    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), ServiceState("QelSMS"));
    EXPECT_GE(elapsed, 120u * 25u); // all 120 rounds were waited out
    EXPECT_TRUE(LogHas("refused-stop QelSMS"));
    EXPECT_TRUE(LogHas("stop-byte QelSMS")); // the stop request reached the status block
}

TEST_F(ServiceControlTest, RemoveStopsAndDeletesBothEvenOneThatWillNotStop)
{
    ASSERT_TRUE(InstallServices(false));
    ASSERT_TRUE(WaitForServiceState("QelMMSC", SERVICE_RUNNING, 10000));
    SetStandin("QelSMS", "RefuseStop", "1");
    SetStandin("QelMMSC", "RefuseStop", "1");

    MessageBoxAnswerer answerer;
    EXPECT_TRUE(RemoveServices(false));
    EXPECT_TRUE(LogHas("stop-byte QelSMS")); // asked through the status block while waiting
    // The stand-ins still run: deletion completes when they finally stop.
    SetStandin("QelSMS", "RefuseStop", "0");
    SetStandin("QelMMSC", "RefuseStop", "0");
    ForceDeleteService("QelSMS");
    ForceDeleteService("QelMMSC");
    EXPECT_TRUE(WaitForServiceState("QelSMS", 0, 10000));
    EXPECT_TRUE(WaitForServiceState("QelMMSC", 0, 10000));
    EXPECT_TRUE(answerer.boxes().empty());
}

TEST_F(ServiceControlTest, RemoveWithoutTheSmsServiceSucceedsAndLeavesTheMmscServiceAlone)
{
    ASSERT_TRUE(InstallServices(false));
    ForceDeleteService("QelSMS");
    ASSERT_TRUE(WaitForServiceState("QelSMS", 0, 10000));

    EXPECT_TRUE(RemoveServices(false));
    EXPECT_TRUE(IsMmscServiceInstalled());
}

TEST_F(ServiceControlTest, RemoveWithoutTheMmscServiceIsNoLackOfRights)
{
    ASSERT_TRUE(InstallServices(false));
    ForceDeleteService("QelMMSC");
    ASSERT_TRUE(WaitForServiceState("QelMMSC", 0, 10000));

    MessageBoxAnswerer answerer;
    EXPECT_TRUE(RemoveServices(false));
    EXPECT_FALSE(IsSmsServiceInstalled());
    EXPECT_TRUE(answerer.boxes().empty());
}

TEST_F(ServiceControlTest, AServiceThatFailsToStartIsReportedWithItsErrorCode)
{
    ASSERT_TRUE(InstallServices(false));
    StopServices(false);
    SetStandin("QelMMSC", "FailStart", "1");

    MessageBoxAnswerer answerer;
    StartServices(false);
    ASSERT_TRUE(answerer.WaitForBoxes(1, 5000));
    SeenBox box = answerer.boxes()[0];
    EXPECT_EQ(kCaption, box.caption);
    EXPECT_EQ("Error 1053 starting service", box.text);
    EXPECT_TRUE(IsSmsServiceActive());
}

TEST_F(ServiceControlTest, AServiceThatIsNotInstalledIsNothingToStop)
{
    {
        MessageBoxAnswerer answerer;
        StopServices(false);
        StopServices(true);
        Sleep(300);
        EXPECT_TRUE(answerer.boxes().empty());
    }

    // Only the SMS service installed: it is stopped, and removal neither asks for rights.
    ASSERT_TRUE(InstallServices(false));
    ForceDeleteService("QelMMSC");
    ASSERT_TRUE(WaitForServiceState("QelMMSC", 0, 10000));
    MessageBoxAnswerer answerer;
    StopServices(true);
    EXPECT_FALSE(IsSmsServiceActive());
    EXPECT_TRUE(RemoveServices(true));
    EXPECT_FALSE(IsSmsServiceInstalled());
    EXPECT_TRUE(answerer.boxes().empty());
}

TEST_F(ServiceControlTest, WithoutRightsStoppingNothingIsStillNotPermitted)
{
    DenyRights();
    RecordElevation();
    {
        MessageBoxAnswerer answerer;
        StopServices(false);
        ASSERT_TRUE(answerer.WaitForBoxes(1, 5000));
        EXPECT_EQ("Administrator rights are required for service installation or modification.",
                  answerer.boxes()[0].text);
    }

    // Interactive: the elevation offer comes first; declining it gives the same message.
    MessageBoxAnswerer declined({"No"});
    StopServices(true);
    ASSERT_TRUE(declined.WaitForBoxes(2, 5000));
    EXPECT_EQ(kElevationQuestion, declined.boxes()[0].text);
    EXPECT_EQ((std::vector<std::string>{"Yes", "No", "Cancel"}), declined.boxes()[0].buttons);
    EXPECT_EQ("Administrator rights are required for service installation or modification.", declined.boxes()[1].text);
    EXPECT_EQ(0, elevation.launches);
}

TEST_F(ServiceControlTest, WithoutRightsEachOperationRelaunchesWithItsOwnVerb)
{
    DenyRights();
    RecordElevation();
    elevation.refuse = true; // the platform's prompt is declined: only the launch is seen
    struct Case {
        void (*operation)();
        const char* argument;
    } const cases[] = {
        {[] { StopServices(true); }, "/STOPSERVICE"},
        {[] { StartServices(true); }, "/STARTSERVICE"},
        {[] { RestartServices(true); }, "/RESTARTSERVICE"},
    };
    for (const Case& c : cases) {
        MessageBoxAnswerer answerer({"Yes"});
        c.operation();
        EXPECT_EQ(c.argument, elevation.argument);
        EXPECT_EQ(module / "QELCONF.EXE", elevation.executable);
    }
    EXPECT_EQ(3, elevation.launches);
}

TEST_F(ServiceControlTest, ModemTestWithoutRightsSaysSoOnScreenAndInItsResultFile)
{
    DenyRights();
    MessageBoxAnswerer answerer;
    CommandLine command;
    command.verb = Verb::ModemTest;
    RunVerb(command);
    ASSERT_TRUE(answerer.WaitForBoxes(1, 5000));
    EXPECT_EQ("Administrative rights are required for this test.", answerer.boxes()[0].text);
    EXPECT_EQ(kCaption, answerer.boxes()[0].caption);
    char result[200] = "";
    GetPrivateProfileStringA("ModemTest", "Result", "", result, sizeof result, (data / "MODEMTEST.INI").c_str());
    EXPECT_STREQ("Administrative rights are required for this test.", result);
}

TEST_F(ServiceControlTest, WithoutRightsYesRelaunchesElevatedWithTheVerbAndWaits)
{
    DenyRights();
    RecordElevation();
    {
        MessageBoxAnswerer answerer({"Yes", "OK"}); // the offer, then the elevated instance's box
        EXPECT_TRUE(InstallServices(true));
        auto boxes = answerer.boxes();
        ASSERT_EQ(2u, boxes.size());
        EXPECT_EQ(kElevationQuestion, boxes[0].text);
        EXPECT_EQ("Service successfully installed!", boxes[1].text); // shown by the elevated instance
    }
    EXPECT_EQ(1, elevation.launches);
    EXPECT_EQ(module / "QELCONF.EXE", elevation.executable);
    EXPECT_EQ("/INSTALLSERVICE", elevation.argument);
    EXPECT_TRUE(IsSmsServiceInstalled());
    EXPECT_TRUE(IsMmscServiceInstalled());

    MessageBoxAnswerer remover({"Yes", "OK"});
    EXPECT_TRUE(RemoveServices(true));
    EXPECT_EQ("/REMOVESERVICE", elevation.argument);
    EXPECT_FALSE(IsSmsServiceInstalled());
}

TEST_F(ServiceControlTest, WithoutRightsNoOrCancelShowsTheRightsMessage)
{
    DenyRights();
    RecordElevation();
    struct Case {
        const char* answer;
        const char* message;
        bool (*operation)();
    };
    const Case cases[] = {
        {"No", "Administrator rights are required for service installation.", [] { return InstallServices(true); }},
        {"Cancel", "Administrator rights are required for service installation.", [] { return InstallServices(true); }},
        {"No", "Administrator rights are required for service installation or modification.",
         [] {
             StartServices(true);
             return false;
         }},
        {"Cancel", "Administrator rights are required for service installation or modification.",
         [] {
             RestartServices(true);
             return false;
         }},
    };
    for (const Case& c : cases) {
        MessageBoxAnswerer answerer({c.answer, "OK"});
        EXPECT_FALSE(c.operation());
        ASSERT_TRUE(answerer.WaitForBoxes(2, 5000)) << c.answer << " " << c.message;
        EXPECT_EQ(kElevationQuestion, answerer.boxes()[0].text);
        EXPECT_EQ(c.message, answerer.boxes()[1].text);
        EXPECT_EQ(kCaption, answerer.boxes()[1].caption);
    }
    EXPECT_EQ(0, elevation.launches);
    EXPECT_FALSE(IsSmsServiceInstalled());
}

TEST_F(ServiceControlTest, ARefusedElevationPromptShowsNothingAndChangesNothing)
{
    DenyRights();
    RecordElevation();
    elevation.refuse = true;
    MessageBoxAnswerer answerer({"Yes"});
    EXPECT_FALSE(InstallServices(true));
    EXPECT_EQ(1, elevation.launches);
    Sleep(300);
    EXPECT_EQ(1u, answerer.boxes().size()); // only the offer
    EXPECT_FALSE(IsSmsServiceInstalled());
}

TEST_F(ServiceControlTest, RemoveWithoutRightsDeclinedShowsTheModificationMessage)
{
    ASSERT_TRUE(InstallServices(false));
    DenyRights();
    RecordElevation();
    MessageBoxAnswerer answerer({"No"});
    EXPECT_FALSE(RemoveServices(true));
    ASSERT_TRUE(answerer.WaitForBoxes(2, 5000));
    EXPECT_EQ("Administrator rights are required for service modification.", answerer.boxes()[1].text);
    EXPECT_TRUE(IsSmsServiceInstalled());
}

} // namespace
