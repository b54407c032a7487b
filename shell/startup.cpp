// Start-up order, the command-line verbs and the outer loop of the setup wizard and the
// main window.
#include "shell/startup.h"

#include <winsock2.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "app/addon_libraries.h"
#include "app/app_state.h"
#include "app/config_files.h"
#include "app/ini_files.h"
#include "app/message_box.h"
#include "app/wait_cursor.h"
#include "app/wait_window.h"
#include "resources/resource_ids.h"
#include "services/service_control.h"
#include "shell/command_line.h"
#include "shell/debug_log_settings.h"
#include "twoway/keyword_table_file.h"
#include "shell/property_sheets.h"
#include "shell/verb_actions.h"
#include "spool/spool_files.h"

namespace {

std::string ReadModem1()
{
    return SmsGatewayIni().Read("SMSGW", "Modem1", MAX_PATH);
}

// The setup wizard works on stopped services with debug logging on.
void PrepareForWizard()
{
    if (IsSmsServiceActive() || IsMmscServiceActive()) {
        WaitCursor busy;
        HWND wait = OpenWaitWindow("Please wait...", "Stopping Services...");
        StopServices(true);
        CloseWaitWindow(wait);
    }
    DebugLogSettings allOn;
    for (bool& enabled : allOn.enabled)
        enabled = true;
    ProfileIniStore smsgw = SmsGatewayIni(), mmsc = MmscIni(), mmswap = DataDirectoryIni("MMSWAP.INI");
    SaveDebugLogSettings(allOn, {smsgw, mmsc, mmswap});
    // Said, not fatal: the wizard's own saves report their files again.
    WritesTaken(nullptr, {&smsgw, &mmsc, &mmswap});
}

// Runs the wizard when needed and then the main window, again while the modem page asks
// for the wizard. False when the wizard was cancelled: the program then ends at once.
bool RunOuterLoop(const CommandLine& command)
{
    for (;;) {
        std::string modem = ReadModem1();
        lstrcpynA(currentModemName, modem.c_str(), sizeof currentModemName);

        if (modem.empty() || wizardRequested || command.wizard) {
            wizardRequested = false;
            PrepareForWizard();
            wizardMode = true;
            bool finished = RunSetupWizard();
            wizardMode = false;
            if (!finished)
                return false;
        }
        RunMainWindow();
        if (!wizardRequested)
            return true;
    }
}

// After the main window: a configured gateway whose services are not running is offered
// to be started.
void OfferServiceActivation()
{
    if (ReadModem1().empty() || (IsSmsServiceActive() && IsMmscServiceActive()))
        return;
    if (ShowMessage(nullptr, "Service is not active, do you wish to activate the service?",
                    MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) == IDYES) {
        WaitCursor busy;
        InstallServices(true);
    }
}

} // namespace

int RunProgram(HINSTANCE instance, const char* commandLine)
{
    RestrictLibrarySearch();
    appInstance = instance;

    WSADATA winsock;
    if (WSAStartup(MAKEWORD(1, 1), &winsock) != 0) {
        printf("Error initializing Winsock\n");
        return -1;
    }

    InitModulePaths();
    PrepareConfiguration();
    UseSupportLibraryGsm7Decoder();
    ConvertOldKeywordTableFile(appPaths.smsIni);

    CommandLine command = ParseCommandLine(commandLine ? commandLine : "");
    if (command.verb != Verb::None) {
        RunVerb(command);
        WSACleanup();
        return 0;
    }

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    std::string unreadable = UnreadableConfigurationMessage();
    if (!unreadable.empty())
        ShowMessage(nullptr, unreadable.c_str(), MB_OK | MB_ICONWARNING | MB_SETFOREGROUND);

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
