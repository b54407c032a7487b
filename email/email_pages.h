// The e-mail subsystem's page and dialogs.
#pragma once

#include <windows.h>

#include "email/email_settings.h"

// DIALOG_EMAIL: a page of the main window.
INT_PTR CALLBACK EmailPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// EDIT_MAILBOX: the kind's mailbox, saved only after both login tests succeed. True after
// OK or after the settings were removed.
bool EditMailbox(HWND owner, MailboxKind kind);

// AUTHEMAILSMS_DIALOG: the authorised senders, written to MMSC.INI on OK.
void EditAuthorisedSenders(HWND owner);
