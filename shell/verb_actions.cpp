// What each command-line verb does. Verbs never offer elevation: they are what an elevated
// copy of the program runs.
#include "shell/verb_actions.h"

#include <windows.h>

#include "app/config_files.h"
#include "app/message_box.h"
#include "services/service_control.h"
#include "shell/connection_test.h"
#include "shell/data_folder_guard.h"

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

} // namespace

void RunVerb(const CommandLine& command)
{
    switch (command.verb) {
    case Verb::Stop:
        StopServices(false);
        break;
    case Verb::Start:
        StartServices(false);
        break;
    case Verb::Restart:
        RestartServices(false);
        break;
    case Verb::Install:
        RunInstallVerb(command.quiet);
        break;
    case Verb::Remove:
        RunRemoveVerb(command.quiet);
        break;
    case Verb::DeleteDataDir:
        RunDeleteDataDirVerb();
        break;
    case Verb::ModemTest:
        RunModemTestVerb();
        break;
    case Verb::None:
        break;
    }
}
