// The Debug Logs page: switches the services' debug logs on and off and opens them.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "resources/debug_logs_page_ids.h"
#include "shell/app_state.h"
#include "shell/config_files.h"
#include "shell/config_rules.h"
#include "shell/page_conventions.h"
#include "shell/pages.h"

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshIntervalMs = 5000;

struct DebugLog {
    int checkId;
    int viewId;
    const char* iniName;   // in the program data directory
    const char* section;
    const char* logName;
};

const DebugLog kLogs[] = {
    {IDC_DEBUG_SMS, IDC_DEBUG_VIEW_SMS, "SMSGW.INI", "SMSGW", "SMSDEBUG.LOG"},
    {IDC_DEBUG_MMSC, IDC_DEBUG_VIEW_MMSC, "MMSC.INI", "MMSC", "MMSCDEBUG.LOG"},
    {IDC_DEBUG_MMSWAP, IDC_DEBUG_VIEW_MMSWAP, "MMSWAP.INI", "MMSWAP", "MMSWAPDEBUG.LOG"},
};

struct DebugLogsPageState {
    LoadingGuard guard;
};
DebugLogsPageState debugLogsPage;

std::string InDataDirectory(const char* name)
{
    char directory[MAX_PATH];
    ProgramDataDirectory(directory);
    return std::string(directory) + name;
}

void Refresh(HWND page)
{
    for (const DebugLog& log : kLogs)
        EnableWindow(GetDlgItem(page, log.viewId), FileExists(InDataDirectory(log.logName).c_str()));
}

void OnInit(HWND page)
{
    debugLogsPage.guard.loading = true;
    for (const DebugLog& log : kLogs) {
        char value[500] = "";
        IniRead(InDataDirectory(log.iniName).c_str(), log.section, "Debug", value, sizeof value);
        CheckDlgButton(page, log.checkId, IniBool(value) ? BST_CHECKED : BST_UNCHECKED);
    }
    debugLogsPage.guard.loading = false;
    Refresh(page);
    SetTimer(page, kRefreshTimer, kRefreshIntervalMs, nullptr);
}

void Apply(HWND page)
{
    for (const DebugLog& log : kLogs) {
        std::string ini = InDataDirectory(log.iniName);
        if (IsDlgButtonChecked(page, log.checkId) == BST_CHECKED)
            IniWrite(ini.c_str(), log.section, "Debug", "Yes");
        else
            IniDelete(ini.c_str(), log.section, "Debug");
    }
}

void OnCommand(HWND page, WORD id)
{
    for (const DebugLog& log : kLogs) {
        if (id == log.checkId)
            MarkPageChanged(page, debugLogsPage.guard);
        else if (id == log.viewId)
            OpenInNotepad(InDataDirectory(log.logName).c_str());
    }
}

bool OnNotify(HWND page, const NMHDR* header)
{
    switch (header->code) {
    case PSN_SETACTIVE:
        SetPageResult(page, 0);
        return true;
    case PSN_APPLY:
        Apply(page);
        SetPageResult(page, PSNRET_NOERROR);
        return true;
    }
    return HandleCommonNotification(page, header, UnsavedSource::ConfigDirtyOrSheet);
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
        return AnswerUnsavedChangesQuery(page, wParam, configDirty);
    case WM_DESTROY:
        KillTimer(page, kRefreshTimer);
        return FALSE;
    }
    return FALSE;
}
