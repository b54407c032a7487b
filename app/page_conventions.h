// What every page of the two property sheets does the same way: the unsaved-changes flag
// and loading guard, the cancel question, Help, saving before a service operation, the
// unsaved-changes query and texts set only when they differ.
#pragma once

#include <windows.h>

// The private code of the unsaved-changes query (PSM_QUERYSIBLINGS, lParam 0).
constexpr WPARAM kUnsavedChangesQuery = 2038;

// A page's fill of its controls must not count as an edit.
struct LoadingGuard {
    bool loading = false;
};

// A control changed after loading: tells the sheet (Apply becomes enabled) and sets
// configDirty. Does nothing while the page is loading.
void MarkPageChanged(HWND page, const LoadingGuard& guard);

// Asks the sheet's pages whether one of them has unsaved changes.
bool QueryUnsavedChanges(HWND page);

// Answers the unsaved-changes query with the page's state; true when the message was the
// query (the dialog procedure then returns TRUE).
bool AnswerUnsavedChangesQuery(HWND page, WPARAM code, bool unsaved);

// PSN_QUERYCANCEL: with unsaved changes asks "Exit without saving configuration
// changes?"; only Yes lets the sheet close. Sets the page's message result.
void HandleQueryCancel(HWND page, bool unsaved);

// What a page consults before Cancel closes the sheet.
enum class UnsavedSource {
    None,               // the page does not ask
    ConfigDirty,        // configDirty
    ConfigDirtyOrSheet, // configDirty, or any page answering the unsaved-changes query
};

// The notifications every page answers alike: leaving the page is accepted, Cancel asks
// when the page's source knows of unsaved changes, Help opens the help document, Finish
// ends the wizard successfully (wizardFinished). True when the notification was one of
// these and is answered.
bool HandleCommonNotification(HWND page, const NMHDR* header, UnsavedSource source);

// PSN_HELP and the Help buttons: opens the help document.
void OpenHelpDocument(HWND owner);

// Before a service operation from a page: with unsaved changes asks "Save configuration
// changes?"; Yes applies all pages. False when a page refused to apply: the operation is
// then abandoned.
bool SaveBeforeServiceOperation(HWND page);

// Sets a control's text unless it already reads the same, compared without regard to case.
void SetTextIfDifferent(HWND page, int controlId, const char* text);

// The page's answer to a notification (DWLP_MSGRESULT).
void SetPageResult(HWND page, LONG_PTR result);

// Starts Notepad from the Windows folder on a file, with the command line
// NOTEPAD.EXE "<path>"; the launch is not waited for.
void OpenInNotepad(const char* path);
