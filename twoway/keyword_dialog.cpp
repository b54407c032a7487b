// The keyword processor dialog: moves one keyword's actions between its controls and a
// KeywordForm; the checks and the section's keys are the portable keyword_form and
// keyword_table.
#include "twoway/keyword_dialog.h"

#include <commdlg.h>

#include "app/app_state.h"
#include "app/config_files.h"
#include "app/controls.h"
#include "app/ini_files.h"
#include "app/message_box.h"
#include "app/page_conventions.h"
#include "base/text.h"
#include "resources/keyword_dialog_ids.h"
#include "twoway/keyword_form.h"

namespace {

constexpr DWORD kChosenPathBuffer = 261;
constexpr size_t kFieldLimit = 1023;

struct KeywordDialogState {
    std::string* entry;
    std::string openedEntry;
    bool initialising = false;
};

KeywordDialogState& StateOf(HWND dialog)
{
    return *reinterpret_cast<KeywordDialogState*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// Each action: its check box and the field whose text switches it.
struct ActionControls {
    int check;
    int field;
};
const ActionControls kTypedActions[] = {
    {IDC_KEYWORD_REPLY, IDC_KEYWORD_REPLY_TEXT},
    {IDC_KEYWORD_RUN, IDC_KEYWORD_COMMAND},
    {IDC_KEYWORD_MAIL, IDC_KEYWORD_MAIL_ADDRESS},
    {IDC_KEYWORD_ADD_LIST, IDC_KEYWORD_ADD_LIST_NAME},
    {IDC_KEYWORD_REMOVE_LIST, IDC_KEYWORD_REMOVE_LIST_NAME},
};

class WindowsFileProbe final : public FileProbe {
public:
    bool PathExists(const std::string& path) override { return ::PathExists(path.c_str()); }
    bool FileExists(const std::string& path) override { return ::FileExists(path.c_str()); }
};

std::string FilesDirectory()
{
    char data[MAX_PATH] = "";
    ProgramDataDirectory(data);
    return std::string(data) + "FILES";
}

void ShowAction(HWND dialog, int check, int field, const std::string& value)
{
    SetItemText(dialog, field, value);
    SetChecked(dialog, check, !value.empty());
}

void ShowEntry(HWND dialog, const std::string& entry)
{
    KeywordEntry parts = SplitKeywordEntry(entry);
    SetItemText(dialog, IDC_KEYWORD, parts.keyword);
    SetItemText(dialog, IDC_KEYWORD_NUMBERS, parts.numbers);
    ProfileIniStore smsgw = SmsGatewayIni();
    KeywordActions actions = LoadKeywordActions(smsgw, entry);
    ShowAction(dialog, IDC_KEYWORD_ADD_LIST, IDC_KEYWORD_ADD_LIST_NAME, actions.dListAdd);
    ShowAction(dialog, IDC_KEYWORD_REMOVE_LIST, IDC_KEYWORD_REMOVE_LIST_NAME, actions.dListRemove);
    ShowAction(dialog, IDC_KEYWORD_MAIL, IDC_KEYWORD_MAIL_ADDRESS, actions.mailTo);
    ShowAction(dialog, IDC_KEYWORD_IMAGE, IDC_KEYWORD_IMAGE_FILE, actions.replyFile);
    ShowAction(dialog, IDC_KEYWORD_REPLY, IDC_KEYWORD_REPLY_TEXT, actions.replyText);
    ShowAction(dialog, IDC_KEYWORD_RUN, IDC_KEYWORD_COMMAND, actions.run);
    SetChecked(dialog, IDC_KEYWORD_SEND_OUTPUT, actions.runSendResponse);
}

void OnInit(HWND dialog, KeywordDialogState& state)
{
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&state));
    LoadingScope loading(state.initialising);
    SetProgramIcon(dialog);
    for (int id : {IDC_KEYWORD_NUMBERS_LABEL, IDC_KEYWORD_NUMBERS, IDC_KEYWORD_NUMBERS_HINT})
        ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
    for (const ActionControls& action : kTypedActions)
        SendDlgItemMessageA(dialog, action.field, EM_LIMITTEXT, kFieldLimit, 0);
    SendDlgItemMessageA(dialog, IDC_KEYWORD, EM_LIMITTEXT, kKeywordEntryMax, 0);
    if (!state.entry->empty())
        ShowEntry(dialog, *state.entry);
}

void OnFieldChanged(HWND dialog, int field)
{
    if (StateOf(dialog).initialising)
        return;
    for (const ActionControls& action : kTypedActions) {
        if (action.field == field)
            SetChecked(dialog, action.check, !ItemText(dialog, field).empty());
    }
}

void OnBrowse(HWND dialog)
{
    std::string files = FilesDirectory();
    if (!PathExists(files.c_str()))
        CreateDirectoryA(files.c_str(), nullptr);
    char chosen[kChosenPathBuffer] = "";
    OPENFILENAMEA open = {};
    open.lStructSize = sizeof open;
    open.hwndOwner = dialog;
    open.lpstrFilter = "Images\0*.jpg;*.jpeg;*.png;*.gif\0All Files\0*.*\0";
    open.nFilterIndex = 1;
    open.lpstrFile = chosen;
    open.nMaxFile = sizeof chosen;
    open.lpstrInitialDir = files.c_str();
    open.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&open) || !PathExists(chosen))
        return;
    SetItemText(dialog, IDC_KEYWORD_IMAGE_FILE, ImageNameToStore(chosen, files));
    SetChecked(dialog, IDC_KEYWORD_IMAGE, true);
}

KeywordForm FormFromControls(HWND dialog)
{
    KeywordForm form;
    form.keyword = ItemText(dialog, IDC_KEYWORD);
    form.numbers = ItemText(dialog, IDC_KEYWORD_NUMBERS);
    form.replyChecked = IsChecked(dialog, IDC_KEYWORD_REPLY);
    form.replyText = ItemText(dialog, IDC_KEYWORD_REPLY_TEXT);
    form.imageChecked = IsChecked(dialog, IDC_KEYWORD_IMAGE);
    form.imageFile = ItemText(dialog, IDC_KEYWORD_IMAGE_FILE);
    form.runChecked = IsChecked(dialog, IDC_KEYWORD_RUN);
    form.run = ItemText(dialog, IDC_KEYWORD_COMMAND);
    form.runSendResponse = IsChecked(dialog, IDC_KEYWORD_SEND_OUTPUT);
    form.mailChecked = IsChecked(dialog, IDC_KEYWORD_MAIL);
    form.mailTo = ItemText(dialog, IDC_KEYWORD_MAIL_ADDRESS);
    form.addChecked = IsChecked(dialog, IDC_KEYWORD_ADD_LIST);
    form.dListAdd = ItemText(dialog, IDC_KEYWORD_ADD_LIST_NAME);
    form.removeChecked = IsChecked(dialog, IDC_KEYWORD_REMOVE_LIST);
    form.dListRemove = ItemText(dialog, IDC_KEYWORD_REMOVE_LIST_NAME);
    return form;
}

int FocusControl(KeywordField field)
{
    switch (field) {
    case KeywordField::ReplyText:
        return IDC_KEYWORD_REPLY_TEXT;
    case KeywordField::Browse:
        return IDC_KEYWORD_BROWSE;
    case KeywordField::Command:
        return IDC_KEYWORD_COMMAND;
    case KeywordField::MailTo:
        return IDC_KEYWORD_MAIL_ADDRESS;
    case KeywordField::DListAdd:
        return IDC_KEYWORD_ADD_LIST_NAME;
    case KeywordField::DListRemove:
        return IDC_KEYWORD_REMOVE_LIST_NAME;
    case KeywordField::Keyword:
        break;
    }
    return IDC_KEYWORD;
}

void OnOk(HWND dialog)
{
    KeywordDialogState& state = StateOf(dialog);
    KeywordForm form = FormFromControls(dialog);
    ProfileIniStore smsgw = SmsGatewayIni();
    KeywordFormContext context{ReadKeywordTable(smsgw), state.openedEntry, FilesDirectory()};
    WindowsFileProbe files;
    KeywordFormProblem problem;
    if (!CheckKeywordForm(form, context, files, problem)) {
        ShowMessage(dialog, problem.message.c_str(), MB_OK | MB_ICONERROR);
        SetFocus(GetDlgItem(dialog, FocusControl(problem.focus)));
        return;
    }
    // A change of letter case only keeps the stored spelling. The actions go first, then
    // the table entry that points at them, then a renamed entry's old section.
    std::string entry = FormEntry(form);
    bool added = state.openedEntry.empty();
    bool renamed = !added && !EqualsNoCase(entry, state.openedEntry);
    if (!added && !renamed)
        entry = state.openedEntry;
    bool saved = SaveKeywordActions(smsgw, entry, FormActions(form));
    if (saved && added)
        saved = AppendKeywordEntry(smsgw, entry);
    if (saved && renamed)
        saved = ChangeKeywordEntry(smsgw, state.openedEntry, entry) &&
                smsgw.DeleteSection(KeywordSectionName(state.openedEntry));
    if (!saved && !WritesTaken(dialog, {&smsgw}))
        return;
    *state.entry = entry;
    EndDialog(dialog, 1);
}

void OnCommand(HWND dialog, WORD id, WORD code)
{
    switch (id) {
    case IDOK:
        OnOk(dialog);
        break;
    case IDCANCEL:
        EndDialog(dialog, 0);
        break;
    case IDC_KEYWORD_BROWSE:
        OnBrowse(dialog);
        break;
    default:
        if (code == EN_CHANGE)
            OnFieldChanged(dialog, id);
        break;
    }
}

INT_PTR CALLBACK KeywordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        auto* state = reinterpret_cast<KeywordDialogState*>(lParam);
        if (!state->entry) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        OnInit(dialog, *state);
        return TRUE;
    }
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

INT_PTR EditKeyword(HWND owner, std::string* entry)
{
    KeywordDialogState state;
    state.entry = entry;
    if (entry)
        state.openedEntry = *entry;
    return DialogBoxParamA(appInstance, "DIALOG_EDIT_KW", owner, KeywordDialogProc, reinterpret_cast<LPARAM>(&state));
}
