#include "shell/keyword_conversion.h"

#include <cstdio>
#include <vector>

#include "shell/config_rules.h"

namespace {

constexpr size_t kLineChars = 4096;

struct ActionPrefix {
    const char* prefix;
    const char* key;
};

const ActionPrefix kActions[] = {
    {"replytext:", "ReplyText"},
    {"replyfile:", "ReplyFile"},
    {"mailto:", "MailTo"},
    {"dlistadd:", "DListAdd"},
    {"dlistremove:", "DListRemove"},
};

std::vector<std::string> SplitAtTabs(const std::string& line, size_t maxFields)
{
    std::vector<std::string> fields;
    size_t start = 0;
    while (fields.size() < maxFields) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            break;
        start = tab + 1;
    }
    return fields;
}

std::string Numbered(const char* name, unsigned n)
{
    char key[40];
    snprintf(key, sizeof key, "%s%u", name, n);
    return key;
}

} // namespace

void ConvertOldKeywordTable(IniStore& smsgw)
{
    if (smsgw.Read("SMSGW", "ReceiveSMSCommand1", kLineChars).empty())
        return;
    if (IniBool(smsgw.Read("2Way-Keywords", "NewFormat", 500).c_str()))
        return;

    for (unsigned n = 1;; ++n) {
        std::string line = smsgw.Read("SMSGW", Numbered("ReceiveSMSCommand", n), kLineChars);
        if (line.empty())
            break;

        // keyword, command, response flag, receive number(s); the last two may be missing.
        // A line without a tab is a keyword without a command: it is kept with an empty
        // "Run" so that the table keeps no gap, which would hide the keywords after it.
        std::vector<std::string> fields = SplitAtTabs(line, 4);
        fields.resize(4);
        const std::string& keyword = fields[0];
        const std::string& command = fields[1];
        bool sendResponse = IniBool(fields[2].c_str());
        const std::string& numbers = fields[3];

        std::string entry = numbers.empty() ? keyword : keyword + "##" + numbers;
        smsgw.Write("2Way-Keywords", Numbered("Keyword", n), entry);

        std::string section = "2Way-Keyword-" + entry;
        const char* actionKey = "Run";
        std::string value = command;
        for (const ActionPrefix& action : kActions) {
            std::string prefix = action.prefix;
            if (command.size() >= prefix.size() && EqualsNoCase(command.substr(0, prefix.size()), prefix)) {
                actionKey = action.key;
                value = command.substr(prefix.size());
                break;
            }
        }
        smsgw.Write(section, actionKey, value);
        if (sendResponse)
            smsgw.Write(section, "RunSendResponse", "Yes");
        else
            smsgw.Delete(section, "RunSendResponse");
    }
    smsgw.Write("2Way-Keywords", "NewFormat", "Yes");
}
