// The "2-Way Keyword Processor" dialog (DIALOG_EDIT_KW): the actions of one keyword, written
// to its section "2Way-Keyword-<entry>" of SMSGW.INI and to the keyword table on OK.
#pragma once

#include <windows.h>

#include <string>

// Opens the modal dialog on a keyword entry (empty for a new keyword). Non-zero for OK: the
// keyword section, then the entry in [2Way-Keywords] (added, or changed on a rename, whose
// old section then goes) are written and entry holds the entry as stored. A refused write
// is shown and keeps the dialog open. 0 for Cancel (nothing written), and at once when
// entry is null.
INT_PTR EditKeyword(HWND owner, std::string* entry);
