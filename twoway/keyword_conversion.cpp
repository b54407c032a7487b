#include "twoway/keyword_conversion.h"

#include <cstdio>
#include <vector>

#include "base/ini_rules.h"
#include "base/text.h"

namespace {

constexpr size_t kLineChars = 4096;
const char kKeywordsSection[] = "2Way-Keywords";

struct ActionPrefix {
    const char* prefix;
    const char* key;
};

const ActionPrefix kActions[] = {
    {"replytext:", "ReplyText"}, {"replyfile:", "ReplyFile"},     {"mailto:", "MailTo"},
    {"dlistadd:", "DListAdd"},   {"dlistremove:", "DListRemove"},
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

// A key is replaced where it stands (names compared without regard to case, as the
// profile functions compare them) or appended.
void SetEntry(IniEntries& entries, const std::string& key, const std::string& value)
{
    for (auto& entry : entries) {
        if (EqualsNoCase(entry.first, key)) {
            entry.second = value;
            return;
        }
    }
    entries.emplace_back(key, value);
}

void RemoveEntry(IniEntries& entries, const std::string& key)
{
    for (auto it = entries.begin(); it != entries.end();) {
        if (EqualsNoCase(it->first, key))
            it = entries.erase(it);
        else
            ++it;
    }
}

// The sections being rebuilt, each starting from what the file holds.
class SectionSet {
public:
    explicit SectionSet(IniStore& ini) : ini_(ini) {}

    IniEntries& operator[](const std::string& name)
    {
        for (auto& section : sections_) {
            if (EqualsNoCase(section.first, name))
                return section.second;
        }
        sections_.emplace_back(name, ini_.ReadSection(name));
        return sections_.back().second;
    }

    // Writes every section but the one named last, then that one.
    bool WriteAll(const std::string& last)
    {
        bool ok = true;
        for (const auto& section : sections_) {
            if (!EqualsNoCase(section.first, last))
                ok = ok && ini_.WriteSection(section.first, section.second);
        }
        return ok && ini_.WriteSection(last, (*this)[last]);
    }

private:
    IniStore& ini_;
    std::vector<std::pair<std::string, IniEntries>> sections_;
};

// The action of an old command: the key its prefix names, with the rest as its value;
// "Run" with the whole command otherwise.
void AddAction(IniEntries& section, const std::string& command)
{
    for (const ActionPrefix& action : kActions) {
        std::string prefix = action.prefix;
        if (StartsWithNoCase(command.data(), command.size(), action.prefix)) {
            SetEntry(section, action.key, command.substr(prefix.size()));
            return;
        }
    }
    SetEntry(section, "Run", command);
}

} // namespace

bool NeedsKeywordConversion(IniStore& smsgw)
{
    if (smsgw.Read("SMSGW", "ReceiveSMSCommand1", kLineChars).empty())
        return false;
    return !IniBool(smsgw.Read(kKeywordsSection, "NewFormat", 500).c_str());
}

bool ConvertOldKeywordTable(IniStore& smsgw)
{
    if (!NeedsKeywordConversion(smsgw))
        return true;

    SectionSet sections(smsgw);
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
        const std::string& numbers = fields[3];
        std::string entry = numbers.empty() ? keyword : keyword + "##" + numbers;
        SetEntry(sections[kKeywordsSection], Numbered("Keyword", n), entry);

        IniEntries& section = sections["2Way-Keyword-" + entry];
        AddAction(section, fields[1]);
        if (IniBool(fields[2].c_str()))
            SetEntry(section, "RunSendResponse", "Yes");
        else
            RemoveEntry(section, "RunSendResponse");
    }
    SetEntry(sections[kKeywordsSection], "NewFormat", "Yes");
    return sections.WriteAll(kKeywordsSection);
}
