#include "twoway/keyword_form.h"

#include "base/text.h"

namespace {

const char kReplyTextEscape[] =
    "The reply text cannot hold a backslash before r or n (as in C:\\reports\\new): the gateway sends \\r and "
    "\\n as line breaks. Type line breaks as they are, and write such a path another way.";
const char kUrlPrefixes[][13] = {"http://", "https://", "httppost://", "httpspost://"};

bool Refuse(KeywordFormProblem& problem, std::string message, KeywordField focus)
{
    problem.message = std::move(message);
    problem.focus = focus;
    return false;
}

bool HasDotInLastComponent(const std::string& path)
{
    size_t slash = path.find_last_of('\\');
    return path.find('.', slash == std::string::npos ? 0 : slash + 1) != std::string::npos;
}

// The name a program-file check ends with when it fails; empty when the file is found.
std::string MissingProgramFile(const std::string& command, FileProbe& files)
{
    std::string program = CommandProgramFile(command);
    if (files.FileExists(program))
        return std::string();
    if (HasDotInLastComponent(program))
        return program;
    program += ".EXE";
    return files.FileExists(program) ? std::string() : program;
}

} // namespace

bool IsUrlCommand(const std::string& command)
{
    for (const char* prefix : kUrlPrefixes) {
        if (StartsWithNoCase(command.data(), command.size(), prefix))
            return true;
    }
    return false;
}

std::string CommandProgramFile(const std::string& command)
{
    std::string text = command;
    if (!text.empty() && text[0] == '"') {
        size_t closing = text.find('"', 1);
        if (closing != std::string::npos)
            return text.substr(1, closing - 1);
        text.erase(0, 1);
    }
    return text.substr(0, text.find(' '));
}

std::string ImageNameToStore(const std::string& chosenPath, const std::string& filesDirectory)
{
    std::string inside = filesDirectory + "\\";
    if (StartsWithNoCase(chosenPath.data(), chosenPath.size(), inside.c_str()))
        return chosenPath.substr(inside.size());
    return chosenPath;
}

std::string FormEntry(const KeywordForm& form)
{
    return JoinKeywordEntry({form.keyword, form.numbers});
}

KeywordActions FormActions(const KeywordForm& form)
{
    KeywordActions actions;
    if (form.replyChecked)
        actions.replyText = form.replyText;
    if (form.imageChecked)
        actions.replyFile = form.imageFile;
    if (form.runChecked)
        actions.run = form.run;
    if (form.mailChecked)
        actions.mailTo = form.mailTo;
    if (form.addChecked)
        actions.dListAdd = form.dListAdd;
    if (form.removeChecked)
        actions.dListRemove = form.dListRemove;
    actions.runSendResponse = form.runSendResponse;
    return actions;
}

bool CheckKeywordForm(const KeywordForm& form, const KeywordFormContext& context, FileProbe& files,
                      KeywordFormProblem& problem)
{
    if (form.keyword.empty())
        return Refuse(problem, "Keyword is required!", KeywordField::Keyword);
    if (const char* rule = KeywordTextProblem(form.keyword))
        return Refuse(problem, std::string("Invalid keyword!\r\nA keyword ") + rule + ".", KeywordField::Keyword);
    std::string entry = FormEntry(form);
    if (entry.size() > kKeywordEntryMax)
        return Refuse(problem,
                      "The keyword and its receive phone numbers are too long: together they must fit in " +
                          std::to_string(kKeywordEntryMax) + " characters.",
                      KeywordField::Keyword);
    if (KeywordEntryTaken(context.table, entry, context.openedEntry))
        return Refuse(problem, "The keyword \"" + entry + "\" is already in the command table.", KeywordField::Keyword);
    if (form.replyChecked && form.replyText.empty())
        return Refuse(problem, "Reply text cannot be blank", KeywordField::ReplyText);
    if (form.replyChecked && !ReplyTextFits(form.replyText))
        return Refuse(problem,
                      "The reply text is too long: with each line break stored as two characters it must fit in " +
                          std::to_string(kKeywordValueMax) + " characters.",
                      KeywordField::ReplyText);
    if (form.replyChecked && ReplyTextHoldsLineBreakEscape(form.replyText))
        return Refuse(problem, kReplyTextEscape, KeywordField::ReplyText);
    if (form.imageChecked && form.imageFile.empty())
        return Refuse(problem, "Reply file must be selected", KeywordField::Browse);
    if (form.imageChecked && !files.PathExists(form.imageFile) &&
        !files.PathExists(context.filesDirectory + "\\" + form.imageFile))
        return Refuse(problem, "Reply file does not exist", KeywordField::Browse);
    if (form.runChecked && form.run.empty())
        return Refuse(problem, "Run command cannot be blank", KeywordField::Command);
    if (form.runChecked && !IsUrlCommand(form.run)) {
        std::string missing = MissingProgramFile(form.run, files);
        if (!missing.empty())
            return Refuse(problem,
                          "Cannot locate program file:  " + missing +
                              "\r\n\r\nPlease specify an http://url, or a valid executable file name.",
                          KeywordField::Command);
    }
    if (form.mailChecked && form.mailTo.empty())
        return Refuse(problem, "E-Mail Address cannot be blank", KeywordField::MailTo);
    if (form.addChecked && form.dListAdd.empty())
        return Refuse(problem, "Distribution list name cannot be blank", KeywordField::DListAdd);
    if (form.removeChecked && form.dListRemove.empty())
        return Refuse(problem, "Distribution list name cannot be blank", KeywordField::DListRemove);
    if (!form.replyChecked && !form.imageChecked && !form.runChecked && !form.mailChecked && !form.addChecked &&
        !form.removeChecked)
        return Refuse(problem, "At least one type of action is required", KeywordField::Keyword);
    return true;
}
