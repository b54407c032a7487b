// The mail server login tests the mailbox settings dialog runs before it saves: an SMTP
// login (AUTH LOGIN) to the outgoing server and an IMAP or POP3 login to the incoming one.
#pragma once

#include <windows.h>

// Each connects to server ("host", "host:port", "[v6]:port"; the protocol's default port
// otherwise), with TLS when useTls (STARTTLS or from the first byte), logs in and out, and
// gives true on success. A failure is shown in a message box owned by owner (none without
// an owner), and the transcript of the last run is kept in MAILTRACE.LOG in the program
// data directory.
bool SmtpLoginTest(HWND owner, const char* server, bool useTls, const char* userName, const char* password);
bool ImapLoginTest(HWND owner, const char* server, bool useTls, const char* userName, const char* password);
bool Pop3LoginTest(HWND owner, const char* server, bool useTls, const char* userName, const char* password);
