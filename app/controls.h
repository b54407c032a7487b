// Thin helpers over a dialog's controls, so that a page's handlers read as what they do.
#pragma once

#include <windows.h>

#include <string>

void SetChecked(HWND dialog, int id, bool checked);
bool IsChecked(HWND dialog, int id);
void EnableItem(HWND dialog, int id, bool enabled);
std::string ItemText(HWND dialog, int id);
void SetItemText(HWND dialog, int id, const std::string& text);

// Gives a modal dialog of the program its icon in the title bar and the task switcher.
void SetProgramIcon(HWND dialog);
