// The machinery the four message viewers share: a modal window on DIALOG_SMSQ with a
// virtual list over a row list, sorting by column, the selection kept by key across
// refreshes, a refresh every minute, viewing in Notepad and deleting with a question.
#pragma once

#include <windows.h>

#include "spool/viewer_rows.h"
#include "spool/viewers/viewers.h"

struct ViewerColumn {
    const char* header;
    int widthDivisor; // the column takes the list's client width divided by this
};

// What makes one viewer different from the others.
struct ViewerDefinition {
    const char* title;      // the window title
    const char* countTitle; // the count line before the count
    const ViewerColumn* columns;
    int columnCount;
    int defaultSortState;               // the order of the first fill after each opening
    void (*directory)(char* out);       // the directory keys are relative to
    void (*listRows)(ViewerRows& rows); // reads the queue or store
};

// Per viewer, kept at module level: it outlives one opening of the window.
struct ViewerState {
    explicit ViewerState(int initialSortState) : sortState(initialSortState) {}
    ViewerRows current;
    int sortState;
    CRITICAL_SECTION lock; // exists while the window is open
    char display[500] = "";
};

// The waits of the viewers; tests shorten them, the program never changes them.
struct ViewerTiming {
    UINT refreshMs = 60000;    // the refresh timer
    DWORD swapSettleMs = 1000; // after a refresh swapped in its new rows
    DWORD deleteWaitMs = 2000; // after a file that could not be deleted at once
};
ViewerTiming& QueueViewerTiming();

// The shared dialog procedure; each viewer's own procedure passes its definition and state.
INT_PTR QueueViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, const ViewerDefinition& viewer,
                        ViewerState& state);

// Deletes a file that is still in use, on a worker thread: retries every 5 s for up to
// 120 s. Not waited for; reports nothing.
void StartBackgroundDeleter(const char* path);

// The viewers' row sources.
void ListOutboundSmsQueue(ViewerRows& rows);
