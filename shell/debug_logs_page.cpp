// The Debug Logs page: switches the services' debug logs on and off and opens them.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "app/app_state.h"
#include "app/config_files.h"
#include "app/controls.h"
#include "app/ini_files.h"
#include "app/page_conventions.h"
#include "resources/debug_logs_page_ids.h"
#include "shell/debug_log_settings.h"
#include "shell/pages.h"

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshIntervalMs = 5000;

struct DebugLogControls {
    int checkId;
    int viewId;
};

// In the order of kDebugLogFiles.
const DebugLogControls kControls[kDebugLogCount] = {
    {IDC_DEBUG_SMS, IDC_DEBUG_VIEW_SMS},
    {IDC_DEBUG_MMSC, IDC_DEBUG_VIEW_MMSC},
    {IDC_DEBUG_MMSWAP, IDC_DEBUG_VIEW_MMSWAP},
};

struct DebugLogsPageState {
    PageEdits edits;
};
DebugLogsPageState debugLogsPage;

std::string LogPath(size_t log)
{
    char directory[MAX_PATH];
    ProgramDataDirectory(directory);
    return std::string(directory) + kDebugLogFiles[log].logName;
}

void Refresh(HWND page)
{
    for (size_t log = 0; log < kDebugLogCount; ++log)
        EnableItem(page, kControls[log].viewId, FileExists(LogPath(log).c_str()));
}

void OnInit(HWND page)
{
    ProfileIniStore smsgw = SmsGatewayIni(), mmsc = MmscIni(), mmswap = DataDirectoryIni("MMSWAP.INI");
    DebugLogSettings settings = LoadDebugLogSettings({smsgw, mmsc, mmswap});

    {
        LoadingScope loading = StartLoading(debugLogsPage.edits);
        for (size_t log = 0; log < kDebugLogCount; ++log)
            SetChecked(page, kControls[log].checkId, settings.enabled[log]);
    }

    Refresh(page);
    SetTimer(page, kRefreshTimer, kRefreshIntervalMs, nullptr);
}

// False, with the message shown, when a file refused the change.
bool Save(HWND page)
{
    DebugLogSettings settings;
    for (size_t log = 0; log < kDebugLogCount; ++log)
        settings.enabled[log] = IsChecked(page, kControls[log].checkId);
    ProfileIniStore smsgw = SmsGatewayIni(), mmsc = MmscIni(), mmswap = DataDirectoryIni("MMSWAP.INI");
    SaveDebugLogSettings(settings, {smsgw, mmsc, mmswap});
    if (!WritesTaken(page, {&smsgw, &mmsc, &mmswap}))
        return false;
    debugLogsPage.edits.unsaved = false;
    return true;
}

void OnCommand(HWND page, WORD id)
{
    for (size_t log = 0; log < kDebugLogCount; ++log) {
        if (id == kControls[log].checkId)
            MarkPageChanged(page, debugLogsPage.edits);
        else if (id == kControls[log].viewId)
            OpenInNotepad(LogPath(log).c_str());
    }
}

bool OnNotify(HWND page, const NMHDR* header)
{
    switch (header->code) {
    case PSN_SETACTIVE:
        SetPageResult(page, 0);
        return true;
    case PSN_APPLY:
        SetPageResult(page, Save(page) ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE);
        return true;
    }
    return HandleCommonNotification(page, header, UnsavedSource::Sheet);
}

} // namespace

INT_PTR CALLBACK DebugLogsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInit(page);
        return TRUE;
    case WM_COMMAND:
        OnCommand(page, LOWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        return OnNotify(page, reinterpret_cast<const NMHDR*>(lParam));
    case WM_TIMER:
        if (wParam == kRefreshTimer)
            Refresh(page);
        return TRUE;
    case PSM_QUERYSIBLINGS:
        return AnswerUnsavedChangesQuery(page, wParam, debugLogsPage.edits);
    case WM_DESTROY:
        KillTimer(page, kRefreshTimer);
        return FALSE;
    }
    return FALSE;
}
