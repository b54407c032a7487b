// Text rules of the mail login tests: Base64 for AUTH LOGIN, IMAP strings, the checks on
// what the administrator typed, and server text cut for a message box. Portable: no
// windows.h.
#pragma once

#include <string>
#include <vector>

// Standard Base64 with "=" padding.
std::string Base64Encode(const std::string& bytes);

// True when text holds CR, LF or NUL: such a user name or password would end the command
// line and start another.
bool HasLineBreakOrNul(const std::string& text);

// An IMAP string argument: a quoted string with '"' and '\' escaped, or, for text with
// bytes outside 7-bit ASCII, a literal "{n}" whose bytes are sent after the server's
// continuation. Not for text with CR, LF or NUL.
struct ImapArgument {
    bool literal = false;
    std::string text; // the quoted string, or the literal's bytes
};
ImapArgument ImapString(const std::string& text);

// The pieces of "LOGIN user password" as they go out: the first follows the tag, each
// further piece is sent after a continuation. Every piece but the first begins with the
// previous literal's bytes; each ends without the "\r\n" that the sender adds.
std::vector<std::string> ImapLoginPieces(const std::string& user, const std::string& password);

// A message box wraps lines only at blanks: longer runs without one get a line break.
constexpr size_t kMessageRun = 64;
// Server text for a message box: at most limit characters, "..." after a cut, and a line
// break after every kMessageRun characters without a blank or line break.
std::string CutForMessage(const std::string& text, size_t limit = 300);
// The text as one transcript line: CR, LF and other control bytes shown as \r, \n, \xNN.
std::string VisibleMailText(const std::string& text);
