#include "app/page_conventions.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "app/app_state.h"
#include "app/message_box.h"
#include "base/ini_rules.h"

LoadingScope StartLoading(PageEdits& edits)
{
    edits.unsaved = false;
    return LoadingScope(edits.loading);
}

void MarkPageChanged(HWND page, PageEdits& edits)
{
    if (edits.loading)
        return;
    PropSheet_Changed(GetParent(page), page);
    edits.unsaved = true;
}

bool QueryUnsavedChanges(HWND page)
{
    return PropSheet_QuerySiblings(GetParent(page), kUnsavedChangesQuery, 0) != 0;
}

bool AnswerUnsavedChangesQuery(HWND page, WPARAM code, const PageEdits& edits)
{
    if (code != kUnsavedChangesQuery)
        return false;
    SetPageResult(page, edits.unsaved ? 1 : 0);
    return true;
}

void HandleQueryCancel(HWND page, bool unsaved)
{
    bool keepOpen = false;
    if (unsaved) {
        keepOpen =
            ShowMessage(page, "Exit without saving configuration changes?", MB_YESNOCANCEL | MB_ICONQUESTION) != IDYES;
    }
    SetPageResult(page, keepOpen ? TRUE : FALSE);
}

bool HandleCommonNotification(HWND page, const NMHDR* header, UnsavedSource source)
{
    switch (header->code) {
    case PSN_KILLACTIVE:
        SetPageResult(page, FALSE);
        return true;
    case PSN_QUERYCANCEL:
        if (source == UnsavedSource::None)
            return false;
        HandleQueryCancel(page, QueryUnsavedChanges(page));
        return true;
    case PSN_HELP:
        OpenHelpDocument(page);
        return true;
    case PSN_WIZFINISH:
        // The wizard's only way to succeed: the sheet's own result is not trusted for it.
        wizardFinished = true;
        SetPageResult(page, FALSE);
        return true;
    }
    return false;
}

void OpenHelpDocument(HWND owner)
{
    if (!appPaths.helpAvailable)
        return;
    std::string folder = appPaths.helpDocument;
    folder.erase(folder.find_last_of('\\') + 1);
    ShellExecuteA(owner, "open", appPaths.helpDocument, nullptr, folder.c_str(), SW_SHOWNORMAL);
}

bool SaveBeforeServiceOperation(HWND page)
{
    if (!QueryUnsavedChanges(page))
        return true;
    if (ShowMessage(page, "Save configuration changes?", MB_YESNOCANCEL | MB_ICONQUESTION) != IDYES)
        return true; // go on with the settings as last saved
    // Each page that saved clears its own changes; a refusing page keeps them.
    return PropSheet_Apply(GetParent(page)) != FALSE;
}

void SetTextIfDifferent(HWND page, int controlId, const char* text)
{
    char current[1024] = "";
    GetDlgItemTextA(page, controlId, current, sizeof current);
    if (lstrcmpiA(current, text) != 0)
        SetDlgItemTextA(page, controlId, text);
}

void SetPageResult(HWND page, LONG_PTR result)
{
    SetWindowLongPtrA(page, DWLP_MSGRESULT, result);
}

void OpenInNotepad(const char* path)
{
    // Notepad is taken from the Windows folder by its full path: a NOTEPAD.EXE in the
    // current folder or on the search path is never run in its place.
    char windows[MAX_PATH] = "";
    UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    std::string application = WithTrailingBackslash(windows) + "NOTEPAD.EXE";
    char commandLine[MAX_PATH + 20];
    snprintf(commandLine, sizeof commandLine, "NOTEPAD.EXE \"%s\"", path);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(application.c_str(), commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}
