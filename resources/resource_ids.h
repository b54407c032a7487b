// Identifiers shared by the resource scripts and the code.
#pragma once

#define IDI_APPLICATION_ICON 1

// WAITDLG: the modeless wait window.
#define IDC_WAIT_TEXT 1444
