// The Modem page in this process, with the elevated instance of its connection test stood
// in for by a program that is still running when the page stops waiting for it.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/app_state.h"
#include "app/config_files.h"
#include "modem/modem_pages.h"
#include "resources/modem_page_ids.h"
#include "services/service_control.h"
#include "test_support.h"

namespace {

int launches = 0;

// An "elevated instance" that takes three seconds and writes no result.
bool LaunchSlowInstance(const char*, const char*, HANDLE* process)
{
    ++launches;
    std::string command =
        "\"" + TestProgramFolder() + "qauto.exe\" hold --path \"" + TestProgramFolder() + "qauto.exe\" --ms 3000";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    CloseHandle(info.hThread);
    *process = info.hProcess;
    return true;
}

TEST(ModemPage, NoSecondTestWhileTheFirstInstanceStillRuns)
{
    TempFolder root("modem-page");
    DirectoryOverrides overrides(root / "data\\", root / "private\\", root / "program\\");
    PrepareConfiguration();
    WriteWholeFile(appPaths.smsIni, "[SMSGW]\r\nModem1=Wavecom GSM\r\n[Modem - Wavecom GSM]\r\n"
                                    "WAPGatewayIP=10.0.0.8\r\nMMSURL=http://mmsc/\r\n");
    appInstance = GetModuleHandleA(nullptr);
    ServicePlatform saved = ServicePlatformHooks();
    ServicePlatformHooks().launchElevated = LaunchSlowInstance;
    DWORD savedWait = ModemConnectionTestTiming().waitMs;
    ModemConnectionTestTiming().waitMs = 200;
    launches = 0;

    // A page is a child window: a plain window stands in for the sheet.
    HWND host =
        CreateWindowA("STATIC", "", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400, nullptr, nullptr, appInstance, nullptr);
    HWND page = CreateDialogParamA(appInstance, "DIALOG_MODEM", host, ModemPageProc, 0);
    ASSERT_NE(page, nullptr);
    {
        MessageBoxAnswerer answerer;
        // The first test stops waiting while its instance still runs: no result, no message.
        SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_MODEM_TEST, BN_CLICKED), 0);
        // A second one must not start: that instance's late result would be taken for its own.
        SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_MODEM_TEST, BN_CLICKED), 0);
        ASSERT_TRUE(answerer.WaitForBoxes(1, 5000));
        EXPECT_EQ(answerer.boxes()[0].text, "The previous connection test is still running.\r\n\r\n"
                                            "Please wait until it has ended before testing again.");
    }
    EXPECT_EQ(launches, 1);
    DestroyWindow(host);
    ModemConnectionTestTiming().waitMs = savedWait;
    ServicePlatformHooks() = saved;
}

} // namespace
