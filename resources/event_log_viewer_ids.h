// DIALOG_EVENT: the event log viewer.
#pragma once

#define IDC_EVENT_LIST 101
#define IDC_EVENT_CLEAR 102
