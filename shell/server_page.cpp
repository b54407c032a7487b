// The Server page: the ports the gateway services listen on, and one button that installs,
// starts or stops them. The same page is the wizard's third page, where Next saves the
// ports and installs and starts the services.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "app/app_state.h"
#include "app/controls.h"
#include "app/ini_files.h"
#include "app/message_box.h"
#include "app/page_conventions.h"
#include "app/wait_cursor.h"
#include "base/ini_rules.h"
#include "resources/server_page_ids.h"
#include "services/service_control.h"
#include "shell/pages.h"
#include "shell/server_settings.h"

namespace {

constexpr UINT_PTR kStatusTimer = 1;
constexpr UINT kStatusIntervalMs = 1000;

struct ServerPageState {
    PageEdits edits;
};
ServerPageState serverPage;

unsigned long FieldNumber(HWND page, int id)
{
    return IniNumber(ItemText(page, id).c_str());
}

void ShowPort(HWND page, int checkId, int editId, bool enabled, unsigned long port)
{
    SetChecked(page, checkId, enabled);
    SetItemText(page, editId, enabled ? std::to_string(port) : std::string());
}

void ApplyEnabling(HWND page)
{
    bool smpp = IsChecked(page, IDC_SERVER_SMPP_ENABLE);
    bool mm7 = IsChecked(page, IDC_SERVER_MM7_ENABLE);
    EnableItem(page, IDC_SERVER_SMPP_PORT, smpp);
    EnableItem(page, IDC_SERVER_SMPP_PORT_LABEL, smpp);
    EnableItem(page, IDC_SERVER_MM7_PORT, mm7);
    EnableItem(page, IDC_SERVER_MM7_PORT_LABEL, mm7);
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
    ProfileIniStore smsgw = SmsGatewayIni();
    ProfileIniStore mmsc = MmscIni();
    ServerSettings settings = LoadServerSettings(smsgw, mmsc);

    {
        LoadingScope loading = StartLoading(serverPage.edits);
        SetItemText(page, IDC_SERVER_WEB_PORT, std::to_string(settings.webPort));
        ShowPort(page, IDC_SERVER_SMPP_ENABLE, IDC_SERVER_SMPP_PORT, settings.smppEnabled, settings.smppPort);
        ShowPort(page, IDC_SERVER_MM7_ENABLE, IDC_SERVER_MM7_PORT, settings.mm7Enabled, settings.mm7Port);
        ApplyEnabling(page);
    }

    SetTimer(page, kStatusTimer, kStatusIntervalMs, nullptr);
    RefreshStatus(page);
}

ServerSettings SettingsFromControls(HWND page)
{
    ServerSettings settings;
    settings.webPort = FieldNumber(page, IDC_SERVER_WEB_PORT);
    settings.smppEnabled = IsChecked(page, IDC_SERVER_SMPP_ENABLE);
    settings.smppPort = FieldNumber(page, IDC_SERVER_SMPP_PORT);
    settings.mm7Enabled = IsChecked(page, IDC_SERVER_MM7_ENABLE);
    settings.mm7Port = FieldNumber(page, IDC_SERVER_MM7_PORT);
    return settings;
}

// Names the field whose port cannot work and puts the caret in it.
void RefusePort(HWND page, const char* field)
{
    std::string message = std::string("The ") + field + " must be a number from 1 to 65535.";
    ShowMessage(page, message.c_str(), MB_OK | MB_ICONERROR);
    int id = field == kWebPortField    ? IDC_SERVER_WEB_PORT
             : field == kSmppPortField ? IDC_SERVER_SMPP_PORT
                                       : IDC_SERVER_MM7_PORT;
    SetFocus(GetDlgItem(page, id));
    SendDlgItemMessageA(page, id, EM_SETSEL, 0, -1);
}

// Writes the three port keys; false (and nothing written) when a port is refused.
bool Save(HWND page)
{
    ServerSettings settings = SettingsFromControls(page);
    if (const char* field = InvalidPortField(settings)) {
        RefusePort(page, field);
        return false;
    }
    ProfileIniStore smsgw = SmsGatewayIni();
    ProfileIniStore mmsc = MmscIni();
    SaveServerSettings(settings, smsgw, mmsc);
    if (!WritesTaken(page, {&smsgw, &mmsc}))
        return false;
    serverPage.edits.unsaved = false;
    return true;
}

void OnServiceAction(HWND page)
{
    if (IsSmsServiceActive() || IsMmscServiceActive()) {
        WaitCursor busy;
        StopServices(true);
    } else if (SaveBeforeServiceOperation(page)) {
        WaitCursor busy;
        InstallServices(true);
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
            MarkPageChanged(page, serverPage.edits);
        break;
    case IDC_SERVER_SMPP_ENABLE:
    case IDC_SERVER_MM7_ENABLE:
        ApplyEnabling(page);
        MarkPageChanged(page, serverPage.edits);
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
    if (!Save(page)) {
        SetPageResult(page, -1);
        return;
    }
    {
        WaitCursor busy;
        InstallServices(true);
    }
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
        SetPageResult(page, Save(page) ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE);
        return true;
    case PSN_WIZNEXT:
        OnWizardNext(page);
        return true;
    }
    return HandleCommonNotification(page, header, UnsavedSource::Sheet);
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
    case PSM_QUERYSIBLINGS:
        return AnswerUnsavedChangesQuery(page, wParam, serverPage.edits);
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
