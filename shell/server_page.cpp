// The Server page: the ports the gateway services listen on, and one button that installs,
// starts or stops them. The same page is the wizard's third page, where Next saves the
// ports and installs and starts the services.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "resources/server_page_ids.h"
#include "services/service_control.h"
#include "services/wait_cursor.h"
#include "shell/app_state.h"
#include "shell/config_files.h"
#include "shell/config_rules.h"
#include "shell/message_box.h"
#include "shell/page_conventions.h"
#include "shell/pages.h"
#include "shell/port_rules.h"

namespace {

constexpr UINT_PTR kStatusTimer = 1;
constexpr UINT kStatusIntervalMs = 1000;

struct ServerPageState {
    LoadingGuard guard;
};
ServerPageState serverPage;

unsigned long FieldNumber(HWND page, int id)
{
    char text[32] = "";
    GetDlgItemTextA(page, id, text, sizeof text);
    return IniNumber(text);
}

void ShowPort(HWND page, int checkId, int editId, unsigned long port)
{
    CheckDlgButton(page, checkId, port ? BST_CHECKED : BST_UNCHECKED);
    char text[16] = "";
    if (port)
        snprintf(text, sizeof text, "%lu", port);
    SetDlgItemTextA(page, editId, text);
}

void ApplyEnabling(HWND page)
{
    bool smpp = IsDlgButtonChecked(page, IDC_SERVER_SMPP_ENABLE) == BST_CHECKED;
    bool mm7 = IsDlgButtonChecked(page, IDC_SERVER_MM7_ENABLE) == BST_CHECKED;
    EnableWindow(GetDlgItem(page, IDC_SERVER_SMPP_PORT), smpp);
    EnableWindow(GetDlgItem(page, IDC_SERVER_SMPP_PORT_LABEL), smpp);
    EnableWindow(GetDlgItem(page, IDC_SERVER_MM7_PORT), mm7);
    EnableWindow(GetDlgItem(page, IDC_SERVER_MM7_PORT_LABEL), mm7);
}

void RefreshStatus(HWND page)
{
    if (IsSmsServiceActive() || IsMmscServiceActive()) {
        SetTextIfDifferent(page, IDC_SERVER_STATUS, "Active");
        SetTextIfDifferent(page, IDC_SERVER_ACTION, "Stop Service");
    } else {
        SetTextIfDifferent(page, IDC_SERVER_STATUS, "Not Active");
        bool installed = IsSmsServiceInstalled() && IsMmscServiceInstalled();
        SetTextIfDifferent(page, IDC_SERVER_ACTION, installed ? "Start Service" : "Install Service");
    }
}

void OnInit(HWND page)
{
    serverPage.guard.loading = true;
    char value[500] = "";
    IniRead(appPaths.smsIni, "SMSGW", "WebPort", value, sizeof value);
    unsigned long webPort = IniNumber(value);
    char text[16];
    snprintf(text, sizeof text, "%lu", webPort ? webPort : kDefaultWebPort);
    SetDlgItemTextA(page, IDC_SERVER_WEB_PORT, text);

    IniRead(appPaths.smsIni, "SMSGW", "SMPPPort", value, sizeof value);
    ShowPort(page, IDC_SERVER_SMPP_ENABLE, IDC_SERVER_SMPP_PORT, IniNumber(value));
    IniRead(appPaths.mmscIni, "MMSC", "WebPort", value, sizeof value);
    ShowPort(page, IDC_SERVER_MM7_ENABLE, IDC_SERVER_MM7_PORT, IniNumber(value));
    ApplyEnabling(page);
    serverPage.guard.loading = false;

    SetTimer(page, kStatusTimer, kStatusIntervalMs, nullptr);
    RefreshStatus(page);
}

// Refuses a port that cannot work, naming the field; true when all three are usable.
bool ValidatePorts(HWND page, ServerPorts& ports)
{
    ports.webPort = FieldNumber(page, IDC_SERVER_WEB_PORT);
    ports.smppEnabled = IsDlgButtonChecked(page, IDC_SERVER_SMPP_ENABLE) == BST_CHECKED;
    ports.smppPort = FieldNumber(page, IDC_SERVER_SMPP_PORT);
    ports.mm7Enabled = IsDlgButtonChecked(page, IDC_SERVER_MM7_ENABLE) == BST_CHECKED;
    ports.mm7Port = FieldNumber(page, IDC_SERVER_MM7_PORT);

    const char* field = InvalidPortField(ports);
    if (!field)
        return true;
    std::string message = std::string("The ") + field + " must be a number from 1 to 65535.";
    ShowMessage(page, message.c_str(), MB_OK | MB_ICONERROR);
    int id = field == kWebPortField    ? IDC_SERVER_WEB_PORT
             : field == kSmppPortField ? IDC_SERVER_SMPP_PORT
                                       : IDC_SERVER_MM7_PORT;
    SetFocus(GetDlgItem(page, id));
    SendDlgItemMessageA(page, id, EM_SETSEL, 0, -1);
    return false;
}

// Writes the three port keys; false (and nothing written) when a port is refused.
bool ApplySettings(HWND page)
{
    ServerPorts ports;
    if (!ValidatePorts(page, ports))
        return false;
    StoredPorts stored = PortsToStore(ports);
    char text[16];
    snprintf(text, sizeof text, "%lu", stored.webPort);
    IniWrite(appPaths.smsIni, "SMSGW", "WebPort", text);
    if (stored.smppPort) {
        snprintf(text, sizeof text, "%lu", stored.smppPort);
        IniWrite(appPaths.smsIni, "SMSGW", "SMPPPort", text);
    } else {
        IniDelete(appPaths.smsIni, "SMSGW", "SMPPPort");
    }
    if (stored.mm7Port) {
        snprintf(text, sizeof text, "%lu", stored.mm7Port);
        IniWrite(appPaths.mmscIni, "MMSC", "WebPort", text);
    } else {
        IniDelete(appPaths.mmscIni, "MMSC", "WebPort");
    }
    configDirty = false;
    return true;
}

void OnServiceAction(HWND page)
{
    if (IsSmsServiceActive() || IsMmscServiceActive()) {
        HCURSOR previous = WaitCursorOn();
        StopServices(true);
        WaitCursorOff(previous);
    } else if (SaveBeforeServiceOperation(page)) {
        HCURSOR previous = WaitCursorOn();
        InstallServices(true);
        WaitCursorOff(previous);
    }
    RefreshStatus(page);
}

void OnCommand(HWND page, WORD id, WORD code)
{
    switch (id) {
    case IDC_SERVER_WEB_PORT:
    case IDC_SERVER_SMPP_PORT:
    case IDC_SERVER_MM7_PORT:
        if (code == EN_CHANGE)
            MarkPageChanged(page, serverPage.guard);
        break;
    case IDC_SERVER_SMPP_ENABLE:
    case IDC_SERVER_MM7_ENABLE:
        ApplyEnabling(page);
        MarkPageChanged(page, serverPage.guard);
        break;
    case IDC_SERVER_ACTION:
        OnServiceAction(page);
        break;
    }
}

// In the wizard, Next saves the ports and installs and starts the services; the wizard
// moves on whatever the outcome.
void OnWizardNext(HWND page)
{
    if (!ApplySettings(page)) {
        SetPageResult(page, -1);
        return;
    }
    HCURSOR previous = WaitCursorOn();
    InstallServices(true);
    WaitCursorOff(previous);
    SetPageResult(page, 0);
}

bool OnNotify(HWND page, const NMHDR* header)
{
    switch (header->code) {
    case PSN_SETACTIVE:
        if (wizardMode)
            PropSheet_SetWizButtons(GetParent(page), PSWIZB_BACK | PSWIZB_NEXT);
        SetPageResult(page, 0);
        return true;
    case PSN_APPLY:
        SetPageResult(page, ApplySettings(page) ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE);
        return true;
    case PSN_WIZNEXT:
        OnWizardNext(page);
        return true;
    }
    return HandleCommonNotification(page, header, UnsavedSource::ConfigDirty);
}

} // namespace

INT_PTR CALLBACK ServerPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInit(page);
        return TRUE;
    case WM_COMMAND:
        OnCommand(page, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        return OnNotify(page, reinterpret_cast<const NMHDR*>(lParam));
    case WM_TIMER:
        if (wParam == kStatusTimer)
            RefreshStatus(page);
        return TRUE;
    case WM_DESTROY:
        KillTimer(page, kStatusTimer);
        return FALSE;
    }
    return FALSE;
}
