// DIALOG_SMSQ: the window of the message viewers.
#pragma once

#define IDC_VIEWER_LIST 101
#define IDC_VIEWER_COUNT 102
