// The machinery the four message viewers share: a modal window on DIALOG_SMSQ with a
// virtual list over a row list, sorting by column, the selection kept by key across
// refreshes, a refresh every minute, viewing in Notepad and deleting with a question.
#pragma once

#include <windows.h>

#include <string>

#include "spool/store_walker.h"
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
    const char* noneText;   // the count line's word for no message: "Empty" or "None"
    const ViewerColumn* columns;
    int columnCount;
    int defaultSortState;         // the order of the first fill after each opening
    void (*directory)(char* out); // the directory keys are relative to
    // Reads the queue or store; a row whose files are unchanged since the last reading is
    // taken from the cache instead of being read again.
    void (*listRows)(ViewerRows& rows, RowCache& cache);
    // Views a row, given the path of directory + key, under the viewer's lock; null opens
    // the path in Notepad.
    void (*view)(HWND window, const std::string& path);
    // Deletes a row's files, given the path of directory + key; null deletes that file,
    // leaving a BackgroundDeleter on it when it stays.
    void (*deleteFiles)(const std::string& path);
};

// Per viewer, kept at module level: it outlives one opening of the window.
struct ViewerState {
    explicit ViewerState(int initialSortState) : sortState(initialSortState) {}
    ViewerRows current;
    RowCache cache; // the rows of the last reading, by key
    int sortState;
    int shownSortState = 0; // the order of the rows shown: the default one after an opening
    CRITICAL_SECTION lock;  // exists while the window is open
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
// Deletes a file; when it stays, starts a BackgroundDeleter on it and waits deleteWaitMs.
void DeleteOrLeaveToDeleter(const std::string& path);

// The stamp a row is kept by in the RowCache.
inline FileStamp StampOf(const DirectoryEntry& entry)
{
    FileStamp stamp;
    stamp.size = entry.size;
    stamp.lastWriteTime = entry.lastWriteTime;
    stamp.creationTime = entry.creationTime;
    return stamp;
}

// Adds the row the cache keeps for key and these stamps to rows, and keeps it for the next
// reading; false when the cache has none, and the files must be read.
bool TakeCachedRow(RowCache& cache, ViewerRows& rows, const std::string& key, const FileStamp& first,
                   const FileStamp& second = FileStamp());
// Adds a freshly made row to rows and keeps it in the cache.
void AddRow(RowCache& cache, ViewerRows& rows, ViewerRow row, const FileStamp& first,
            const FileStamp& second = FileStamp());

// The viewers' row sources.
void ListOutboundSmsQueue(ViewerRows& rows, RowCache& cache);
void ListOutboundMmsQueue(ViewerRows& rows, RowCache& cache);
void ListReceivedSms(ViewerRows& rows, RowCache& cache);
void ListReceivedMms(ViewerRows& rows, RowCache& cache);
