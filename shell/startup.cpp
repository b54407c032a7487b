// Start-up order, the command-line verbs and the outer loop of the setup wizard and the
// main window.
#include "shell/startup.h"

#include <winsock2.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "resources/resource_ids.h"
#include "services/service_control.h"
#include "services/wait_cursor.h"
#include "shell/app_state.h"
#include "shell/command_line.h"
#include "shell/config_files.h"
#include "shell/connection_test.h"
#include "shell/data_folder_guard.h"
#include "shell/ini_store.h"
#include "shell/keyword_conversion.h"
#include "shell/message_box.h"
#include "shell/property_sheets.h"
#include "shell/wait_window.h"
#include "spool/spool_files.h"

namespace {

void RunInstallVerb(bool quiet)
{
    bool ok = InstallServices(false);
    if (quiet)
        return;
    if (ok)
        ShowServiceMessage("Service successfully installed!", MB_OK | MB_ICONINFORMATION);
    else
        ShowServiceMessage("Service installation failed!", MB_OK | MB_ICONERROR);
}

void RunRemoveVerb(bool quiet)
{
    StopServices(false);
    bool ok = RemoveServices(false);
    if (quiet)
        return;
    if (ok)
        ShowServiceMessage("Service successfully removed!", MB_OK | MB_ICONINFORMATION);
    else
        ShowServiceMessage("Service removal failed!", MB_OK | MB_ICONERROR);
}

// Deletes the private data directory, never when it is a folder the system or the program
// lives in, a folder above one of them or a drive root: then nothing is asked.
void RunDeleteDataDirVerb()
{
    char privateDirectory[MAX_PATH];
    PrivateDataDirectory(privateDirectory);
    if (!IsDeletableDataFolder(privateDirectory))
        return;
    if (ShowServiceMessage("Delete Configuration files for QelSMS?", MB_YESNO | MB_ICONQUESTION) == IDYES)
        DeleteTree(privateDirectory);
}

void RunModemTestVerb()
{
    if (HasServiceRights()) {
        RunConnectionTest();
        return;
    }
    const char message[] = "Administrative rights are required for this test.";
    WriteConnectionTestResult(message);
    ShowServiceMessage(message, MB_OK | MB_ICONERROR);
}

void RunVerb(const CommandLine& command)
{
    switch (command.verb) {
    case Verb::StopService: StopServices(false); break;
    case Verb::StartService: StartServices(false); break;
    case Verb::RestartService: RestartServices(false); break;
    case Verb::InstallService: RunInstallVerb(command.quiet); break;
    case Verb::RemoveService: RunRemoveVerb(command.quiet); break;
    case Verb::DeleteDataDir: RunDeleteDataDirVerb(); break;
    case Verb::ModemTest: RunModemTestVerb(); break;
    case Verb::None: break;
    }
}

void ReadModem1(char* out, DWORD size)
{
    IniRead(appPaths.smsIni, "SMSGW", "Modem1", out, size);
}

// The setup wizard works on stopped services with debug logging on.
void PrepareForWizard()
{
    if (IsSmsServiceActive() || IsMmscServiceActive()) {
        HCURSOR previous = WaitCursorOn();
        HWND wait = OpenWaitWindow("Please wait...", "Stopping Services...");
        StopServices(true);
        CloseWaitWindow(wait);
        WaitCursorOff(previous);
    }
    char dataDirectory[MAX_PATH];
    ProgramDataDirectory(dataDirectory);
    std::string mmswapIni = std::string(dataDirectory) + "MMSWAP.INI";
    IniWrite(appPaths.smsIni, "SMSGW", "Debug", "Yes");
    IniWrite(appPaths.mmscIni, "MMSC", "Debug", "Yes");
    IniWrite(mmswapIni.c_str(), "MMSWAP", "Debug", "Yes");
}

// Runs the wizard when needed and then the main window, again while the modem page asks
// for the wizard. False when the wizard was cancelled: the program then ends at once.
bool RunOuterLoop(const CommandLine& command)
{
    for (;;) {
        char modem[MAX_PATH] = "";
        ReadModem1(modem, MAX_PATH);
        lstrcpynA(currentModemName, modem, sizeof currentModemName);

        if (!modem[0] || wizardRequested || command.wizard) {
            wizardRequested = false;
            PrepareForWizard();
            wizardMode = true;
            bool finished = RunSetupWizard();
            wizardMode = false;
            if (!finished)
                return false;
        }
        configDirty = false;
        RunMainWindow();
        if (!wizardRequested)
            return true;
    }
}

// After the main window: a configured gateway whose services are not running is offered
// to be started.
void OfferServiceActivation()
{
    char modem[MAX_PATH] = "";
    ReadModem1(modem, MAX_PATH);
    if (!modem[0] || (IsSmsServiceActive() && IsMmscServiceActive()))
        return;
    if (ShowMessage(nullptr, "Service is not active, do you wish to activate the service?",
                    MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) == IDYES) {
        HCURSOR previous = WaitCursorOn();
        InstallServices(true);
        WaitCursorOff(previous);
    }
}

} // namespace

int RunProgram(HINSTANCE instance, const char* commandLine)
{
    appInstance = instance;

    WSADATA winsock;
    if (WSAStartup(MAKEWORD(1, 1), &winsock) != 0) {
        printf("Error initializing Winsock\n");
        return -1;
    }

    InitModulePaths();
    PrepareConfiguration();
    UseSupportLibraryGsm7Decoder();
    ConvertOldKeywordTable(*OpenPrivateProfile(appPaths.smsIni));

    CommandLine command = ParseCommandLine(commandLine ? commandLine : "");
    if (command.verb != Verb::None) {
        RunVerb(command);
        WSACleanup();
        return 0;
    }

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    appIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APPLICATION_ICON));
    if (!appIcon)
        ShowMessageCaption(nullptr, "Error loading Icon", "Debug", MB_OK | MB_SETFOREGROUND);

    if (!RunOuterLoop(command)) {
        WSACleanup();
        return 0;
    }
    OfferServiceActivation();
    return WSACleanup();
}
