// What every page of the two property sheets does the same way: the page's own unsaved
// changes and loading guard, the cancel question, Help, saving before a service operation, the
// unsaved-changes query and texts set only when they differ.
#pragma once

#include <windows.h>

// The private code of the unsaved-changes query (PSM_QUERYSIBLINGS, lParam 0).
constexpr WPARAM kUnsavedChangesQuery = 2038;

// A page's own edit state. Each page keeps one: a page's unsaved changes are its own, and
// the sheet learns of them only through the unsaved-changes query, which every page that
// can change answers from here. A page clears `unsaved` only when its own save succeeded.
struct PageEdits {
    bool loading = false; // the page is filling its controls: no change counts as an edit
    bool unsaved = false; // a control changed since the page was loaded or last saved
};

// Sets a loading flag (a page's PageEdits::loading, a dialog's own) for its lifetime; a
// fill inside another fill leaves it set.
class LoadingScope {
public:
    explicit LoadingScope(bool& loading) : loading_(loading), outer_(loading) { loading = true; }
    ~LoadingScope() { loading_ = outer_; }
    LoadingScope(const LoadingScope&) = delete;
    LoadingScope& operator=(const LoadingScope&) = delete;

private:
    bool& loading_;
    bool outer_;
};

// A page starts loading its controls: no unsaved changes, and the fill is not an edit.
// Use as `LoadingScope loading = StartLoading(edits);` at the top of the page's load.
LoadingScope StartLoading(PageEdits& edits);

// A control changed after loading: tells the sheet (Apply becomes enabled) and marks the
// page's own changes unsaved. Does nothing while the page is loading.
void MarkPageChanged(HWND page, PageEdits& edits);

// Asks the sheet's pages whether one of them has unsaved changes.
bool QueryUnsavedChanges(HWND page);

// Answers the unsaved-changes query (PSM_QUERYSIBLINGS) with the page's own state; true
// when the message was the query (the dialog procedure then returns TRUE).
bool AnswerUnsavedChangesQuery(HWND page, WPARAM code, const PageEdits& edits);

// PSN_QUERYCANCEL: with unsaved changes asks "Exit without saving configuration
// changes?"; only Yes lets the sheet close. Sets the page's message result.
void HandleQueryCancel(HWND page, bool unsaved);

// Whether a page asks before Cancel closes the sheet.
enum class UnsavedSource {
    None,  // the page does not ask
    Sheet, // the unsaved-changes query: any page of the sheet with unsaved changes
};

// The notifications every page answers alike: leaving the page is accepted, Cancel asks
// when the page's source knows of unsaved changes, Help opens the help document, Finish
// ends the wizard successfully (wizardFinished). True when the notification was one of
// these and is answered.
bool HandleCommonNotification(HWND page, const NMHDR* header, UnsavedSource source);

// PSN_HELP and the Help buttons: opens the help document.
void OpenHelpDocument(HWND owner);

// Before a service operation from a page: when the unsaved-changes query finds changes,
// asks "Save configuration changes?"; Yes applies all pages. False when a page refused to apply: the operation is
// then abandoned.
bool SaveBeforeServiceOperation(HWND page);

// Sets a control's text unless it already reads the same, compared without regard to case.
void SetTextIfDifferent(HWND page, int controlId, const char* text);

// The page's answer to a notification (DWLP_MSGRESULT).
void SetPageResult(HWND page, LONG_PTR result);

// Starts Notepad from the Windows folder on a file, with the command line
// NOTEPAD.EXE "<path>"; the launch is not waited for.
void OpenInNotepad(const char* path);
