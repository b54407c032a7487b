// The "2-Way Keyword Processor" dialog (DIALOG_EDIT_KW): the actions of one keyword, written
// to its section "2Way-Keyword-<entry>" of SMSGW.INI on OK.
#pragma once

#include <windows.h>

#include <string>

// Opens the modal dialog on a keyword entry (empty for a new keyword). Non-zero for OK: the
// keyword section is then written and entry holds the new keyword entry; adding or changing
// it in [2Way-Keywords] is the caller's task. 0 for Cancel (nothing written), and at once
// when entry is null.
INT_PTR EditKeyword(HWND owner, std::string* entry);
