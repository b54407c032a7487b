#include "app/controls.h"

#include "app/app_state.h"

#include <cstring>

void SetChecked(HWND dialog, int id, bool checked)
{
    CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool IsChecked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void EnableItem(HWND dialog, int id, bool enabled)
{
    EnableWindow(GetDlgItem(dialog, id), enabled ? TRUE : FALSE);
}

std::string ItemText(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    int length = control ? GetWindowTextLengthA(control) : 0;
    std::string text(static_cast<size_t>(length) + 1, '\0');
    if (length > 0)
        GetWindowTextA(control, &text[0], length + 1);
    text.resize(strlen(text.c_str()));
    return text;
}

void SetItemText(HWND dialog, int id, const std::string& text)
{
    SetDlgItemTextA(dialog, id, text.c_str());
}

std::string ComboSelectionText(HWND dialog, int id)
{
    LRESULT index = SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0);
    LRESULT length = index < 0 ? CB_ERR : SendDlgItemMessageA(dialog, id, CB_GETLBTEXTLEN, index, 0);
    if (length < 0)
        return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    if (SendDlgItemMessageA(dialog, id, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&text[0])) < 0)
        return std::string();
    text.resize(strlen(text.c_str()));
    return text;
}

void SetProgramIcon(HWND dialog)
{
    if (appIcon)
        SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon));
}

void ShownRows::Clear(HWND dialog)
{
    SendDlgItemMessageA(dialog, id_, combo_ ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
    rows_.clear();
}

LRESULT ShownRows::Add(HWND dialog, const std::string& text)
{
    return Keep(SendDlgItemMessageA(dialog, id_, combo_ ? CB_ADDSTRING : LB_ADDSTRING, 0,
                                    reinterpret_cast<LPARAM>(text.c_str())),
                text);
}

LRESULT ShownRows::Append(HWND dialog, const std::string& text)
{
    return Keep(SendDlgItemMessageA(dialog, id_, combo_ ? CB_INSERTSTRING : LB_INSERTSTRING, static_cast<WPARAM>(-1),
                                    reinterpret_cast<LPARAM>(text.c_str())),
                text);
}

LRESULT ShownRows::Keep(LRESULT index, const std::string& text)
{
    if (index < 0 || static_cast<size_t>(index) > rows_.size())
        return -1;
    rows_.insert(rows_.begin() + index, text);
    return index;
}

void ShownRows::Remove(HWND dialog, LRESULT index)
{
    if (index < 0 || static_cast<size_t>(index) >= rows_.size())
        return;
    SendDlgItemMessageA(dialog, id_, combo_ ? CB_DELETESTRING : LB_DELETESTRING, static_cast<WPARAM>(index), 0);
    rows_.erase(rows_.begin() + index);
}

std::string ShownRows::At(LRESULT index) const
{
    return index >= 0 && static_cast<size_t>(index) < rows_.size() ? rows_[static_cast<size_t>(index)]
                                                                    : std::string();
}

std::string ShownRows::Selected(HWND dialog) const
{
    return At(SendDlgItemMessageA(dialog, id_, combo_ ? CB_GETCURSEL : LB_GETCURSEL, 0, 0));
}

LRESULT ShownRows::Find(const std::string& text) const
{
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i] == text)
            return static_cast<LRESULT>(i);
    }
    return -1;
}
