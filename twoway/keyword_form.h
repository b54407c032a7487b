// The "2-Way Keyword Processor" dialog's fields and the checks OK makes on them, in the
// order it makes them. Portable: no windows.h.
#pragma once

#include <string>
#include <vector>

#include "twoway/file_probe.h"
#include "twoway/keyword_table.h"

struct KeywordForm {
    std::string keyword;
    std::string numbers; // the hidden receive numbers, passed through
    bool replyChecked = false;
    std::string replyText;
    bool imageChecked = false;
    std::string imageFile;
    bool runChecked = false;
    std::string run;
    bool runSendResponse = false;
    bool mailChecked = false;
    std::string mailTo;
    bool addChecked = false;
    std::string dListAdd;
    bool removeChecked = false;
    std::string dListRemove;
};

// The field a refused form puts the focus on.
enum class KeywordField { Keyword, ReplyText, Browse, Command, MailTo, DListAdd, DListRemove };

struct KeywordFormProblem {
    std::string message;
    KeywordField focus = KeywordField::Keyword;
};

struct KeywordFormContext {
    std::vector<std::string> table; // the keyword table's entries
    std::string openedEntry;        // the entry the dialog was opened with ("" for a new one)
    std::string filesDirectory;     // the FILES directory, without trailing backslash
};

// False with the first problem when OK must be refused.
bool CheckKeywordForm(const KeywordForm& form, const KeywordFormContext& context, FileProbe& files,
                      KeywordFormProblem& problem);

// The entry the form saves: the keyword, then "##" and the numbers when there are any.
std::string FormEntry(const KeywordForm& form);
// The values the keyword section receives: each action's field when its box is checked.
KeywordActions FormActions(const KeywordForm& form);

// A command the gateway fetches as a URL ("http://", "https://", "httppost://",
// "httpspost://", any letter case): never checked as a program file.
bool IsUrlCommand(const std::string& command);
// The program file a command names: the text between its quotes when it begins with one
// (an unpaired opening quote is dropped), otherwise the text up to the first space.
std::string CommandProgramFile(const std::string& command);
// An image chosen in the open-file dialog as the keyword stores it: the name relative to
// the FILES directory when it lies inside it, otherwise the full path.
std::string ImageNameToStore(const std::string& chosenPath, const std::string& filesDirectory);
