// The two property sheets: the main window and the setup wizard, each built from a table
// of its pages.
#include "shell/property_sheets.h"

#include <windows.h>
#include <commctrl.h>

#include "app/app_state.h"
#include "app/message_box.h"
#include "email/email_pages.h"
#include "modem/modem_pages.h"
#include "monitoring/monitoring_pages.h"
#include "shell/pages.h"
#include "twoway/twoway_pages.h"
#include "users/users_pages.h"

namespace {

struct PageDefinition {
    const char* templateName;
    const char* title;
    DLGPROC procedure;
};

const PageDefinition kMainPages[] = {
    {"DIALOG_STATUS", "Status", StatusPageProc},
    {"DIALOG_MODEM", "Modem", ModemPageProc},
    {"DIALOG_SERVER", "Server", ServerPageProc},
    {"DIALOG_SMSUSERS", "Users", UsersPageProc},
    {"DIALOG_RECV", "2-Way", TwoWayPageProc},
    {"DIALOG_EMAIL", "E-Mail", EmailPageProc},
    {"DIALOG_TESTMSG", "Test Message", TestMessagePageProc},
    {"DIALOG_DEBUGLOGS", "Debug Logs", DebugLogsPageProc},
};

const PageDefinition kWizardPages[] = {
    {"DIALOG_WIZADDMODEM", "QelSMS Lite Setup Wizard:  Select Modem", SelectModemPageProc},
    {"DIALOG_MODEM", "QelSMS Lite Setup Wizard:  Modem Settings", ModemPageProc},
    {"DIALOG_SERVER", "QelSMS Lite Setup Wizard:  Server Settings", ServerPageProc},
    {"DIALOG_WIZCOMPLETE", "QelSMS Lite Setup Wizard:  Configuration Complete", WizardCompletePageProc},
    {"DIALOG_TESTMSG", "QelSMS Lite Setup Wizard:  Send Test Message", TestMessagePageProc},
};

// The main window can be minimised although a property sheet has no minimize box.
int CALLBACK MainWindowCallback(HWND sheet, UINT message, LPARAM)
{
    if (message == PSCB_INITIALIZED) {
        SetWindowLongPtrA(sheet, GWL_STYLE, GetWindowLongPtrA(sheet, GWL_STYLE) | WS_MINIMIZEBOX);
        AppendMenuA(GetSystemMenu(sheet, FALSE), MF_STRING, SC_MINIMIZE, "Minimize");
        DrawMenuBar(sheet);
    }
    return 0;
}

template <size_t N>
INT_PTR RunSheet(const PageDefinition (&definitions)[N], DWORD sheetFlags, PFNPROPSHEETCALLBACK callback)
{
    DWORD helpFlag = appPaths.helpAvailable ? PSP_HASHELP : 0;
    PROPSHEETPAGEA pages[N] = {};
    for (size_t i = 0; i < N; ++i) {
        pages[i].dwSize = sizeof pages[i];
        pages[i].dwFlags = PSP_USETITLE | helpFlag;
        pages[i].hInstance = appInstance;
        pages[i].pszTemplate = definitions[i].templateName;
        pages[i].pszTitle = definitions[i].title;
        pages[i].pfnDlgProc = definitions[i].procedure;
    }

    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | sheetFlags | (appPaths.helpAvailable ? PSH_HASHELP : 0) |
                     (appIcon ? PSH_USEHICON : 0) | (callback ? PSH_USECALLBACK : 0);
    header.hwndParent = nullptr;
    header.hInstance = appInstance;
    header.hIcon = appIcon;
    header.pszCaption = kAppCaption;
    header.nPages = N;
    header.nStartPage = 0;
    header.ppsp = pages;
    header.pfnCallback = callback;
    return PropertySheetA(&header);
}

} // namespace

bool RunSetupWizard()
{
    // Success is Finish alone: some versions of the common controls give a positive
    // result for Cancel after a page applied.
    wizardFinished = false;
    RunSheet(kWizardPages, PSH_WIZARD | PSH_NOAPPLYNOW, nullptr);
    return wizardFinished;
}

void RunMainWindow()
{
    RunSheet(kMainPages, 0, MainWindowCallback);
}
