// The event log viewer: the gateway's events from the Application log, newest first, added
// to while the window is open, and a button that clears the Application log.
#pragma once

#include <windows.h>

class EventLogSource;

// The refresh timer of the viewer; tests shorten it, the program never changes it.
struct EventLogViewerTiming {
    UINT refreshMs = 5000;
};
EventLogViewerTiming& EventViewerTiming();

// Opens the viewer modally over the local machine's Application log.
void OpenEventLogViewer(HWND owner);

// Opens the viewer modally over any source of event records (a test host passes its own).
void OpenEventLogViewerOn(HWND owner, EventLogSource& source);
