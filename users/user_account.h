// The account records the user dialogs build and the rules for user names. Portable: no
// windows.h.
#pragma once
