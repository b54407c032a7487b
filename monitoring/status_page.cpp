// The Status page: once a second, the services' state, the outbound queues, the modems'
// errors and the traffic counters; the service switch and buttons; the viewers, the log
// files and the event log.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <cstring>
#include <string>

#include "app/app_state.h"
#include "app/config_files.h"
#include "app/controls.h"
#include "app/ini_files.h"
#include "app/message_box.h"
#include "app/page_conventions.h"
#include "app/wait_cursor.h"
#include "base/ini_rules.h"
#include "base/text.h"
#include "monitoring/event_log_viewer.h"
#include "monitoring/monitoring_pages.h"
#include "monitoring/status_sources.h"
#include "resources/status_page_ids.h"
#include "services/service_control.h"
#include "spool/viewers/viewers.h"

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshIntervalMs = 1000;
// The queues are counted at most this often.
constexpr DWORD kQueueCountIntervalS = 10;

// The value controls of the counter rows, in the order of kCounterRows.
struct CounterControls {
    int today, last7, last30;
};
const CounterControls kCounterControls[kCounterRowCount] = {
    {167, 168, 169}, {114, 115, 116}, {118, 119, 120}, {122, 123, 124},
    {126, 127, 128}, {130, 131, 132}, {138, 139, 140}, {142, 143, 144},
};

struct StatusPageState {
    bool smsQueueAlert = false;
    bool mmsQueueAlert = false;
    bool modemLineRed = false;
    bool serviceLineRed = false;
    bool inServiceClick = false;
    GatewayServiceMonitor services;
    ModemErrors modemErrors;
    std::string privateDirectory; // found when the page opens
};
StatusPageState statusPage;
// When the queues were last counted, in seconds of the tick count; kept for the process.
DWORD lastQueueCount = 0;
bool queuesCounted = false;

// A label drawn over the page's background: the page repaints behind it, so that an old
// text does not show through.
void Repaint(HWND page, int id)
{
    RECT area;
    GetWindowRect(GetDlgItem(page, id), &area);
    MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&area), 2);
    RedrawWindow(page, &area, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void SetLabel(HWND page, int id, const std::string& text)
{
    SetItemText(page, id, text);
    Repaint(page, id);
}

bool ShowsText(HWND page, int id, const std::string& text)
{
    return EqualsNoCase(ItemText(page, id), text);
}

DWORD NowSeconds()
{
    return GetTickCount() / 1000;
}

// Shows a queue's size; the label is repainted when the text changes so that its colour
// follows the alert.
void ShowQueue(HWND page, int labelId, int valueId, unsigned long count, unsigned long threshold, bool& alert)
{
    alert = QueueAlert(count, threshold);
    std::string text = QueueSizeText(count);
    if (!ShowsText(page, valueId, text)) {
        SetLabel(page, valueId, text);
        Repaint(page, labelId);
    }
}

void RefreshQueues(HWND page)
{
    if (queuesCounted && NowSeconds() - lastQueueCount < kQueueCountIntervalS)
        return;
    ProfileIniStore smsgw = SmsGatewayIni();
    unsigned long threshold = QueueAlertThreshold(smsgw.ReadSection("SMSGW"));
    ShowQueue(page, IDC_STATUS_SMS_QUEUE_LABEL, IDC_STATUS_SMS_QUEUE, CountSmsQueue(), threshold,
              statusPage.smsQueueAlert);
    ShowQueue(page, IDC_STATUS_MMS_QUEUE_LABEL, IDC_STATUS_MMS_QUEUE, CountMmsQueue(), threshold,
              statusPage.mmsQueueAlert);
    lastQueueCount = NowSeconds();
    queuesCounted = true;
}

void ShowLine(HWND page, int id, const std::string& text, bool red, bool& redFlag)
{
    bool repaint = redFlag != red;
    redFlag = red;
    if (!ShowsText(page, id, text))
        SetLabel(page, id, text);
    else if (repaint)
        Repaint(page, id);
}

void RefreshServiceLines(HWND page, const std::string& privateDirectory, const ServiceState& sms,
                         const ServiceState& mmsc)
{
    if (sms.active) {
        std::string modems = statusPage.modemErrors.Line(privateDirectory);
        ShowLine(page, IDC_STATUS_MODEM_LINE, modems, !modems.empty(), statusPage.modemLineRed);
    } else {
        ShowLine(page, IDC_STATUS_MODEM_LINE, kServiceNotActiveForModems, true, statusPage.modemLineRed);
    }
    StatusLine line = ServiceLine(sms, mmsc);
    ShowLine(page, IDC_STATUS_SERVICE_LINE, line.text, line.red, statusPage.serviceLineRed);
}

void RefreshCounters(HWND page, const std::string& privateDirectory)
{
    SYSTEMTIME today;
    GetLocalTime(&today);
    for (size_t i = 0; i < kCounterRowCount; ++i) {
        const CounterRow& row = kCounterRows[i];
        const CounterControls& controls = kCounterControls[i];
        CounterSums sums = ReadCounterSums(privateDirectory, row.counters[0], today);
        if (row.counters[1]) {
            CounterSums second = ReadCounterSums(privateDirectory, row.counters[1], today);
            sums.today += second.today;
            sums.last7 += second.last7;
            sums.last30 += second.last30;
        }
        SetTextIfDifferent(page, controls.today, CounterText(sums.today).c_str());
        SetTextIfDifferent(page, controls.last7, CounterText(sums.last7).c_str());
        SetTextIfDifferent(page, controls.last30, CounterText(sums.last30).c_str());
    }
}

void RefreshServiceControls(HWND page, const ServiceState& sms, const ServiceState& mmsc)
{
    bool installed = sms.installed && mmsc.installed;
    bool bothActive = sms.active && mmsc.active;
    if (IsChecked(page, IDC_STATUS_RUN_AS_SERVICE) != installed && !statusPage.inServiceClick)
        SetChecked(page, IDC_STATUS_RUN_AS_SERVICE, installed);
    EnableItem(page, IDC_STATUS_STOP, installed && bothActive);
    EnableItem(page, IDC_STATUS_START, installed && !bothActive);
}

void Refresh(HWND page)
{
    RefreshQueues(page);
    ServiceState sms, mmsc;
    ReadServiceStates(statusPage.services, sms, mmsc);
    RefreshServiceLines(page, statusPage.privateDirectory, sms, mmsc);
    RefreshCounters(page, statusPage.privateDirectory);
    RefreshServiceControls(page, sms, mmsc);
}

void OnRunAsService(HWND page)
{
    statusPage.inServiceClick = true;
    if (IsChecked(page, IDC_STATUS_RUN_AS_SERVICE)) {
        if (SaveBeforeServiceOperation(page)) {
            WaitCursor busy;
            InstallServices(true);
        }
    } else if (ShowMessageCaption(page, "Are you sure?", "Remove Service",
                                  MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES) {
        WaitCursor busy;
        RemoveServices(true);
    }
    statusPage.inServiceClick = false;
}

void OnStart(HWND page)
{
    if (!IsChecked(page, IDC_STATUS_RUN_AS_SERVICE) || !SaveBeforeServiceOperation(page))
        return;
    WaitCursor busy;
    StartServices(true);
}

void OnStop(HWND page)
{
    if (!IsChecked(page, IDC_STATUS_RUN_AS_SERVICE))
        return;
    WaitCursor busy;
    StopServices(true);
}

void OnViewLogFiles(HWND page)
{
    ProfileIniStore smsgw = SmsGatewayIni();
    std::string folder = smsgw.Read("SMSGW", "LogDirectory", MAX_PATH);
    if (folder.empty()) {
        char data[MAX_PATH];
        ProgramDataDirectory(data);
        folder = data;
    }
    static const char kFilters[] = "QelSMS Log Files\0*.log\0SMS Out Log Files\0smsout*.log\0"
                                   "SMS In Files\0smsin*.log\0SMS Submit Log Files\0smsweb*.log\0"
                                   "MMSC Log Files\0mmsc*.log\0All Files\0*.*\0";
    char path[262] = "";
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = page;
    dialog.lpstrFilter = kFilters;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof path - 1;
    dialog.lpstrInitialDir = folder.c_str();
    dialog.Flags = OFN_FILEMUSTEXIST;
    if (GetOpenFileNameA(&dialog))
        OpenInNotepad(path);
}

void OnCommand(HWND page, WORD id)
{
    switch (id) {
    case IDC_STATUS_RUN_AS_SERVICE:
        OnRunAsService(page);
        break;
    case IDC_STATUS_START:
        OnStart(page);
        break;
    case IDC_STATUS_STOP:
        OnStop(page);
        break;
    case IDC_STATUS_VIEW_SMS_QUEUE:
        OpenMessageViewer(page, OutboundSmsQueueProc);
        break;
    case IDC_STATUS_VIEW_MMS_QUEUE:
        OpenMessageViewer(page, OutboundMmsQueueProc);
        break;
    case IDC_STATUS_VIEW_RECEIVED_SMS:
        OpenMessageViewer(page, ReceivedSmsViewerProc);
        break;
    case IDC_STATUS_VIEW_RECEIVED_MMS:
        OpenMessageViewer(page, ReceivedMmsViewerProc);
        break;
    case IDC_STATUS_VIEW_LOG_FILES:
        OnViewLogFiles(page);
        break;
    case IDC_STATUS_EVENT_LOG:
        OpenEventLogViewer(page);
        break;
    default:
        return;
    }
    Refresh(page);
}

bool IsAlertControl(int id)
{
    switch (id) {
    case IDC_STATUS_SMS_QUEUE_LABEL:
    case IDC_STATUS_SMS_QUEUE:
        return statusPage.smsQueueAlert;
    case IDC_STATUS_MMS_QUEUE_LABEL:
    case IDC_STATUS_MMS_QUEUE:
        return statusPage.mmsQueueAlert;
    case IDC_STATUS_MODEM_LINE:
        return statusPage.modemLineRed;
    case IDC_STATUS_SERVICE_LINE:
        return statusPage.serviceLineRed;
    }
    return false;
}

// The alert texts in red over the page's own background, which a themed page draws as a
// texture rather than in the button-face colour; everything else as the platform draws it.
INT_PTR OnStaticColour(HDC dc, HWND control)
{
    if (!IsAlertControl(GetDlgCtrlID(control)))
        return FALSE;
    SetTextColor(dc, RGB(255, 0, 0));
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
}

bool OnNotify(HWND page, const NMHDR* header)
{
    switch (header->code) {
    case PSN_SETACTIVE:
        SetPageResult(page, 0);
        return true;
    case PSN_APPLY:
        SetPageResult(page, PSNRET_NOERROR);
        return true;
    }
    return HandleCommonNotification(page, header, UnsavedSource::Sheet);
}

void OnInit(HWND page)
{
    statusPage.smsQueueAlert = statusPage.mmsQueueAlert = false;
    statusPage.modemLineRed = statusPage.serviceLineRed = false;
    statusPage.privateDirectory = PrivateDirectory();
    SetTimer(page, kRefreshTimer, kRefreshIntervalMs, nullptr);
    Refresh(page);
}

} // namespace

INT_PTR CALLBACK StatusPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
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
    case WM_CTLCOLORSTATIC:
        return OnStaticColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_TIMER:
        if (wParam == kRefreshTimer)
            Refresh(page);
        return TRUE;
    case WM_DESTROY:
        KillTimer(page, kRefreshTimer);
        statusPage.services.Close();
        return FALSE;
    }
    return FALSE;
}
