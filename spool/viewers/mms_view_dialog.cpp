#include "spool/viewers/mms_view_dialog.h"

#include <shellapi.h>

#include <memory>
#include <string>

#include "resources/mms_view_dialog_ids.h"
#include "app/config_files.h"
#include "app/controls.h"
#include "app/message_box.h"
#include "app/page_conventions.h"
#include "spool/spool_files.h"
#include "spool/viewers/message_rows.h"

namespace {

// The list's one tab stop, in dialog units: the location after the tab stays out of sight.
constexpr int kLocationTabStop = 300;

struct MmsViewState {
    std::string headerPath; // while the dialog is open
    ShownRows contents{IDC_MMSVIEW_CONTENTS, false};
};
MmsViewState mmsView;

void OnInit(HWND window, const char* headerPath)
{
    HWND contents = GetDlgItem(window, IDC_MMSVIEW_CONTENTS);
    int tabStop = kLocationTabStop;
    SendMessageA(contents, LB_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(&tabStop));
    mmsView.headerPath = headerPath ? headerPath : "";

    auto header = std::make_unique<MmsHeader>();
    std::string text;
    if (ReadMmsHeader(mmsView.headerPath.c_str(), *header, &text)) {
        SetDlgItemTextA(window, IDC_MMSVIEW_HEADER, text.c_str());
        SendDlgItemMessageA(window, IDC_MMSVIEW_HEADER, EM_SETSEL, static_cast<WPARAM>(-1), 0);
        mmsView.contents.Clear(window);
        for (const MmsContentLocation& content : header->contents)
            mmsView.contents.Add(window, ContentItemText(content));
    }
    SendMessageA(contents, LB_SETCURSEL, 0, 0);
    SetFocus(contents);
}

std::string SelectedItem(HWND window)
{
    return mmsView.contents.Selected(window);
}

// The object is opened by the program the system associates with it. That program starts in
// the system folder, not in the message's folder, whose file names the sender chose: a
// handler must not find a library or a file of the sender's there.
void OpenWithShell(HWND window, const std::string& path)
{
    char folder[MAX_PATH] = "";
    UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    ShellExecuteA(window, "open", path.c_str(), nullptr, length > 0 && length < MAX_PATH ? folder : nullptr,
                  SW_SHOWNORMAL);
}

void OnView(HWND window)
{
    ContentDecision decision = DecideContentOpening(SelectedItem(window));
    if (decision.opening == ContentOpening::Nothing)
        return;
    if (decision.opening == ContentOpening::Refused) {
        ShowMessage(window, decision.reason, MB_OK | MB_ICONWARNING);
        return;
    }
    char store[MAX_PATH];
    GetMMSInDirectory(store);
    std::string path = store + decision.location;
    if (decision.opening == ContentOpening::Notepad)
        OpenInNotepad(path.c_str());
    else
        OpenWithShell(window, path);
}

void OnCommand(HWND window, WORD id, WORD code)
{
    switch (id) {
    case IDC_MMSVIEW_VIEW:
        OnView(window);
        break;
    case IDC_MMSVIEW_CONTENTS:
        if (code == LBN_DBLCLK)
            OnView(window);
        break;
    case IDOK:
        EndDialog(window, 1);
        break;
    case IDCANCEL:
        EndDialog(window, 0);
        break;
    }
}

} // namespace

INT_PTR CALLBACK MmsViewDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInit(window, reinterpret_cast<const char*>(lParam));
        return FALSE; // the focus is set: on the content list
    case WM_COMMAND:
        OnCommand(window, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_DESTROY:
        mmsView.headerPath.clear();
        return FALSE;
    }
    return FALSE;
}
