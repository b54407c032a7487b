// The 2-way keyword table of SMSGW.INI: [2Way-Keywords] "Keyword1", "Keyword2", ... (numbered
// without gaps; the first missing or empty one ends the table), each a keyword entry (the
// keyword, optionally "##" and the receive phone numbers it is limited to), and one section
// "2Way-Keyword-<entry>" per entry with its actions. Portable: no windows.h.
#pragma once

#include <string>
#include <vector>

#include "base/ini_store.h"

extern const char kKeywordsSection[];      // "2Way-Keywords"
extern const char kKeywordSectionPrefix[]; // "2Way-Keyword-"

// The longest keyword entry: the gateway reads entries and the section names built from them
// into 1024-byte buffers, so "2Way-Keyword-" + entry must fit in 1023 characters.
constexpr size_t kKeywordEntryMax = 1023 - 13;
// A list row (and every value read) is cut at this many characters.
constexpr size_t kKeywordValueMax = 1023;

struct KeywordEntry {
    std::string keyword;
    std::string numbers; // receive phone numbers; empty: every number
};

// "HELP##123" -> {"HELP", "123"}, split at the first "##"; "HELP" -> {"HELP", ""}.
KeywordEntry SplitKeywordEntry(const std::string& entry);
// The keyword, then "##" and the numbers when there are any.
std::string JoinKeywordEntry(const KeywordEntry& entry);
std::string KeywordSectionName(const std::string& entry);

// Why a keyword cannot be kept in the table, as words ending "A keyword ..."; null when it
// can. The name rule for INI texts (CheckOutsideName: not empty, no blanks at either end, no
// tabs or line breaks), then the table's own: no "##" inside (it ends the keyword), no quote
// at either end (the profile functions take them off), no "]" (it would end the section
// name).
const char* KeywordTextProblem(const std::string& keyword);

// The actions of one keyword, as its section holds them.
struct KeywordActions {
    std::string replyText; // line breaks as they are shown; stored with "\r" and "\n"
    std::string replyFile;
    std::string run;
    std::string mailTo;
    std::string dListAdd;
    std::string dListRemove;
    bool runSendResponse = false;
};

KeywordActions LoadKeywordActions(IniStore& smsgw, const std::string& entry);
// Writes ReplyText, ReplyFile, Run, MailTo, DListAdd, DListRemove and RunSendResponse in this
// order: each value that is not empty (RunSendResponse "Yes" when set), each other key deleted.
// The reply text must fit (EscapedReplyText). False when a write failed.
bool SaveKeywordActions(IniStore& smsgw, const std::string& entry, const KeywordActions& actions);

// The reply text as stored: each CR as "\r", each LF as "\n" (the gateway's message text
// rule; a backslash is kept as it is). Empty when the stored form would not fit in
// kKeywordValueMax characters and the text is not empty: ReplyTextFits tells.
std::string EscapedReplyText(const std::string& text);
bool ReplyTextFits(const std::string& text);
// True when the text holds a backslash before a lower-case r or n: the gateway reads those
// pairs back as line breaks, so such a text cannot be stored as typed.
bool ReplyTextHoldsLineBreakEscape(const std::string& text);

// The table's entries in order, up to the first missing or empty key.
std::vector<std::string> ReadKeywordTable(IniStore& smsgw);

// The list row of an entry: the entry, then for each of DListAdd, DListRemove, ReplyFile,
// ReplyText, MailTo, Run, RunSendResponse that is not empty in its section a tab and
// "Key=value"; cut at kKeywordValueMax characters.
std::string KeywordListRow(IniStore& smsgw, const std::string& entry);
// The entry a row starts with (up to its first tab).
std::string EntryOfRow(const std::string& row);

// True when the table holds entry (compared without regard to case) other than the one
// being edited (except; empty for a new keyword).
bool KeywordEntryTaken(const std::vector<std::string>& table, const std::string& entry, const std::string& except);

// Appends at the first free "Keyword%u".
bool AppendKeywordEntry(IniStore& smsgw, const std::string& entry);
// Writes newEntry over the first key whose value equals oldEntry without regard to case.
// False when there is none or the write failed.
bool ChangeKeywordEntry(IniStore& smsgw, const std::string& oldEntry, const std::string& newEntry);
// Removes the first key whose value equals entry without regard to case: the later entries
// move down by one and the last key is deleted. False when there is none or a write failed.
bool DeleteKeywordEntry(IniStore& smsgw, const std::string& entry);
