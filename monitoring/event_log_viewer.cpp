// The event log viewer (DIALOG_EVENT): the gateway's events of the Application log, newest
// at the top, with new ones added by a timer while it is open. The reading itself is in
// event_log_reader; this file moves its lines into the list box and shows its reports.
#include "monitoring/event_log_viewer.h"

#include <optional>

#include "app/app_state.h"
#include "app/message_box.h"
#include "monitoring/event_log_reader.h"
#include "monitoring/event_log_source.h"
#include "resources/event_log_viewer_ids.h"

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr int kHorizontalExtent = 1000; // pixels the list scrolls sideways over

const char kCannotOpen[] = "Unable to open event log";
const char kTooManyEvents[] = "Too many events.  Please use Windows Event Log viewer to view all events.";
const char kClearQuestion[] = "This will clear all events from the application event log for this system, which "
                              "includes events from applications other than QelSMS.\r\n\r\nContinue?";

bool ToLocalTime(uint32_t seconds, std::tm& local)
{
    time_t time = seconds;
    std::tm* converted = localtime(&time);
    if (!converted)
        return false;
    local = *converted;
    return true;
}

// Per opening of the viewer; the read position lives in the reader.
struct EventViewerState {
    EventLogSource* source = nullptr;
    std::optional<EventLogReader> reader;
};
EventViewerState eventViewer;

// The list box as the reader sees it. Drawing is held back from the first line to the end
// of the refresh, so a first fill of thousands of lines draws once.
class ListBoxSink : public EventListSink {
public:
    explicit ListBoxSink(HWND window) : window_(window), list_(GetDlgItem(window, IDC_EVENT_LIST)) {}
    ~ListBoxSink() override { Thaw(); }

    bool InsertAtTop(const std::string& line) override
    {
        if (!frozen_) {
            SendMessageA(list_, WM_SETREDRAW, FALSE, 0);
            frozen_ = true;
        }
        LRESULT at = SendMessageA(list_, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        return at != LB_ERR && at != LB_ERRSPACE;
    }

    void ReportCannotOpen() override { ShowMessage(window_, kCannotOpen, MB_OK | MB_ICONERROR); }

    void ReportTooManyEvents() override
    {
        Thaw();
        ShowMessageCaption(window_, kTooManyEvents, "Warning", MB_OK);
    }

private:
    void Thaw()
    {
        if (!frozen_)
            return;
        frozen_ = false;
        SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list_, nullptr, TRUE);
    }

    HWND window_;
    HWND list_;
    bool frozen_ = false;
};

void Refresh(HWND window)
{
    ListBoxSink sink(window);
    eventViewer.reader->Refresh(sink);
}

void OnInit(HWND window)
{
    SendDlgItemMessageA(window, IDC_EVENT_LIST, LB_SETHORIZONTALEXTENT, kHorizontalExtent, 0);
    eventViewer.reader->StartOpening();
    Refresh(window);
    SetTimer(window, kRefreshTimer, EventViewerTiming().refreshMs, nullptr);
}

void OnClear(HWND window)
{
    if (ShowMessage(window, kClearQuestion, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    EventLogSource& source = *eventViewer.source;
    if (!source.Open()) {
        ShowMessage(window, kCannotOpen, MB_OK | MB_ICONERROR);
        return;
    }
    source.Clear();
    source.Close();
    SendDlgItemMessageA(window, IDC_EVENT_LIST, LB_RESETCONTENT, 0, 0);
    eventViewer.reader->ForgetPosition();
    Refresh(window);
}

void OnCommand(HWND window, WORD id)
{
    switch (id) {
    case IDOK:
    case IDCANCEL:
        EndDialog(window, id);
        break;
    case IDC_EVENT_CLEAR:
        OnClear(window);
        break;
    }
}

INT_PTR CALLBACK EventLogViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInit(window);
        return TRUE;
    case WM_COMMAND:
        OnCommand(window, LOWORD(wParam));
        return TRUE;
    case WM_TIMER:
        if (wParam == kRefreshTimer)
            Refresh(window);
        return TRUE;
    case WM_DESTROY:
        KillTimer(window, kRefreshTimer);
        return FALSE;
    }
    return FALSE;
}

} // namespace

EventLogViewerTiming& EventViewerTiming()
{
    static EventLogViewerTiming timing;
    return timing;
}

void OpenEventLogViewerOn(HWND owner, EventLogSource& source)
{
    eventViewer.source = &source;
    eventViewer.reader.emplace(source, ToLocalTime);
    DialogBoxParamA(appInstance, "DIALOG_EVENT", owner, EventLogViewerProc, 0);
    eventViewer.reader.reset();
}

void OpenEventLogViewer(HWND owner)
{
    OpenEventLogViewerOn(owner, ApplicationEventLog());
}
