// The three reply readers of the mail login tests: an SMTP reply (possibly multi-line), a
// POP3 status line and an IMAP tagged reply. Each read starts a new buffer, takes what the
// stream says is available, turns NUL bytes into spaces and stops on a complete reply, a
// time-out, a closed connection or 1 MiB of text. Portable: no windows.h.
#pragma once

#include <string>

#include "email/mail_stream.h"

// A reader stops once this much is held without a complete reply.
constexpr size_t kMailReplyLimit = 0x100000;

struct MailReply {
    bool complete = false;  // a final line (SMTP), a line end (POP3), the tagged line (IMAP)
    bool good = false;      // 2xx/3xx/0xx (SMTP), "+OK" (POP3), "OK" (IMAP)
    bool continued = false; // IMAP: the read ended on a "+" continuation line
    bool timedOut = false;  // the read ended at one of its time limits
    std::string text;       // everything read, NULs as spaces
    std::string stop;       // why the read ended without a complete reply
};

// Reads until a final reply line: three digits and a space; lines with a hyphen after the
// code continue the reply, other lines are ignored. Gives up when seconds have passed, with
// or without data.
MailReply ReadSmtpReply(MailStream& stream, const MailClock& clock, unsigned seconds);
// Reads until a line end, for at most seconds; good when the line begins, after spaces,
// with "+OK".
MailReply ReadPop3Line(MailStream& stream, const MailClock& clock, unsigned seconds);
// Reads until the line that begins with tag (e.g. "A0001 ") is complete, skipping untagged
// lines, giving up after timing.imapIdle seconds without data or timing.imapTotal in all;
// good when the text after the tag begins, after spaces, with "OK". With continuation, a
// line that begins with "+" also ends the read (good: an IMAP literal may follow).
MailReply ReadImapReply(MailStream& stream, const MailClock& clock, const MailTiming& timing, const std::string& tag,
                        bool continuation = false);
