// Thin helpers over a dialog's controls, so that a page's handlers read as what they do.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

void SetChecked(HWND dialog, int id, bool checked);
bool IsChecked(HWND dialog, int id);
void EnableItem(HWND dialog, int id, bool enabled);
std::string ItemText(HWND dialog, int id);
void SetItemText(HWND dialog, int id, const std::string& text);

// The text of the selected entry of a combo box filled by others (the dial-up library),
// whole whatever its length; empty when none is selected. A page's own rows are ShownRows.
std::string ComboSelectionText(HWND dialog, int id);

// Gives a modal dialog of the program its icon in the title bar and the task switcher.
void SetProgramIcon(HWND dialog);

// The rows of a list box or combo box, kept by the page: the control only shows them and
// its text is never read back (Wine's ANSI LB_GETTEXT overruns on rows of more than about
// 511 characters). Each row is kept at the index the control gives it, sorted or not.
class ShownRows {
public:
    ShownRows(int id, bool combo) : id_(id), combo_(combo) {}
    // Empties the control and the rows.
    void Clear(HWND dialog);
    // Adds a row where the control puts it (sorted or at the end), or at the end of a sorted
    // control too (Append); gives its index, or -1 when the control refused it.
    LRESULT Add(HWND dialog, const std::string& text);
    LRESULT Append(HWND dialog, const std::string& text);
    void Remove(HWND dialog, LRESULT index);
    const std::vector<std::string>& Rows() const { return rows_; }
    // The row at index (from a selection message), or "" when there is none.
    std::string At(LRESULT index) const;
    std::string Selected(HWND dialog) const;
    // The index of the first row equal to text (exactly), or -1.
    LRESULT Find(const std::string& text) const;
    size_t Count() const { return rows_.size(); }

private:
    LRESULT Keep(LRESULT index, const std::string& text);

    int id_;
    bool combo_;
    std::vector<std::string> rows_;
};
