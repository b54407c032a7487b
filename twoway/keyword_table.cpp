#include "twoway/keyword_table.h"

#include <cctype>
#include <cstdio>
#include <vector>

#include "base/ini_rules.h"
#include "base/names.h"
#include "base/text.h"
#include "spool/text_decoding.h"

const char kKeywordsSection[] = "2Way-Keywords";
const char kKeywordSectionPrefix[] = "2Way-Keyword-";

namespace {

constexpr size_t kReadChars = kKeywordValueMax + 1;
// The platform reads at most 32767 characters of a section: one that brought fewer than
// this many came back whole.
constexpr size_t kSectionReadWhole = 32000;

std::string KeywordKey(size_t n)
{
    char key[32];
    snprintf(key, sizeof key, "Keyword%u", static_cast<unsigned>(n));
    return key;
}

bool WriteOrDelete(IniStore& ini, const std::string& section, const char* key, const std::string& value)
{
    return value.empty() ? ini.Delete(section, key) : ini.Write(section, key, value);
}

// The keys of a keyword section in the order the list row shows them.
struct ActionKey {
    const char* key;
    std::string KeywordActions::*field;
};
const ActionKey kRowKeys[] = {
    {"DListAdd", &KeywordActions::dListAdd},   {"DListRemove", &KeywordActions::dListRemove},
    {"ReplyFile", &KeywordActions::replyFile}, {"ReplyText", nullptr},
    {"MailTo", &KeywordActions::mailTo},       {"Run", &KeywordActions::run},
};

bool EdgeSpace(const std::string& text)
{
    return !text.empty() &&
           (isspace(static_cast<unsigned char>(text.front())) || isspace(static_cast<unsigned char>(text.back())));
}

// A section read in one go, answering as IniStore::Read answers key by key (the first key
// of the name, without regard to case, its value cut to the reader's buffer). One section
// read instead of a read per key keeps a table of hundreds of keywords quick: each read of
// the file costs about as much as reading a section. Where the whole section cannot say
// what a key-by-key read would give, the key is read on its own: a section that may not
// have come back whole (or whose name has spaces at its ends, which a key read ignores),
// and values in quotes or with spaces at their ends (a key read takes those apart).
class SectionValues {
public:
    SectionValues(IniStore& ini, std::string section) : ini_(ini), section_(std::move(section))
    {
        if (EdgeSpace(section_))
            return;
        entries_ = ini_.ReadSection(section_);
        size_t chars = 0;
        for (const auto& entry : entries_)
            chars += entry.first.size() + entry.second.size() + 2;
        whole_ = chars < kSectionReadWhole;
    }

    std::string Read(const std::string& key)
    {
        if (!whole_)
            return ini_.Read(section_, key, kReadChars);
        for (const auto& entry : entries_) {
            if (!EqualsNoCase(entry.first, key))
                continue;
            const std::string& value = entry.second;
            if (EdgeSpace(value) || value[0] == '"' || value[0] == '\'')
                return ini_.Read(section_, key, kReadChars);
            return value.substr(0, kReadChars - 1);
        }
        return std::string();
    }

    // From now on every key is read on its own.
    void ReadKeyByKey() { whole_ = false; }

private:
    IniStore& ini_;
    std::string section_;
    IniEntries entries_;
    bool whole_ = false;
};

// Key by key: each later entry moves down by one, then the last key goes.
bool MoveEntriesDown(IniStore& smsgw, size_t from, const std::vector<std::string>& table)
{
    bool ok = true;
    for (size_t i = from; i < table.size() && ok; ++i)
        ok = smsgw.Write(kKeywordsSection, KeywordKey(i + 1), table[i]);
    return ok && smsgw.Delete(kKeywordsSection, KeywordKey(table.size() + 1));
}

// Rewrites [2Way-Keywords] with the table's keys set to table (one fewer key than before
// drops the last one) in one write; every other key of the section stays where it is. A
// section too large to be read whole (not every key found in it) is changed key by key.
bool RewriteTable(IniStore& smsgw, size_t from, size_t oldCount, const std::vector<std::string>& table)
{
    IniEntries section = smsgw.ReadSection(kKeywordsSection);
    IniEntries rewritten;
    std::vector<bool> seen(oldCount, false);
    for (const auto& entry : section) {
        size_t n = 0;
        for (; n < oldCount; ++n) {
            if (EqualsNoCase(entry.first, KeywordKey(n + 1)))
                break;
        }
        if (n == oldCount) {
            rewritten.push_back(entry);
        } else if (!seen[n]) {
            seen[n] = true;
            if (n < table.size())
                rewritten.emplace_back(entry.first, table[n]);
        }
    }
    for (bool found : seen) {
        if (!found)
            return MoveEntriesDown(smsgw, from, table);
    }
    return smsgw.WriteSection(kKeywordsSection, rewritten);
}

size_t FindEntry(const std::vector<std::string>& table, const std::string& entry)
{
    for (size_t i = 0; i < table.size(); ++i) {
        if (EqualsNoCase(table[i], entry))
            return i;
    }
    return table.size();
}

} // namespace

KeywordEntry SplitKeywordEntry(const std::string& entry)
{
    size_t marks = entry.find("##");
    if (marks == std::string::npos)
        return {entry, std::string()};
    return {entry.substr(0, marks), entry.substr(marks + 2)};
}

std::string JoinKeywordEntry(const KeywordEntry& entry)
{
    return entry.numbers.empty() ? entry.keyword : entry.keyword + "##" + entry.numbers;
}

std::string KeywordSectionName(const std::string& entry)
{
    return kKeywordSectionPrefix + entry;
}

const char* KeywordTextProblem(const std::string& keyword)
{
    NameFault fault = CheckOutsideName(keyword, NameUse::IniText);
    if (fault != NameFault::None)
        return NameFaultText(fault);
    if (keyword.find("##") != std::string::npos)
        return "cannot contain \"##\"";
    for (char quote : {'"', '\''}) {
        if (keyword.front() == quote || keyword.back() == quote)
            return "cannot begin or end with a quote";
    }
    if (keyword.find(']') != std::string::npos)
        return "cannot contain \"]\"";
    return nullptr;
}

KeywordActions LoadKeywordActions(IniStore& smsgw, const std::string& entry)
{
    std::string section = KeywordSectionName(entry);
    KeywordActions actions;
    for (const ActionKey& key : kRowKeys) {
        if (key.field)
            actions.*key.field = smsgw.Read(section, key.key, kReadChars);
    }
    std::string reply = smsgw.Read(section, "ReplyText", kReadChars);
    UnescapeLineBreaks(&reply[0]);
    actions.replyText = reply.c_str();
    actions.runSendResponse = IniBool(smsgw.Read(section, "RunSendResponse", kReadChars).c_str());
    return actions;
}

bool SaveKeywordActions(IniStore& smsgw, const std::string& entry, const KeywordActions& actions)
{
    std::string section = KeywordSectionName(entry);
    bool ok = WriteOrDelete(smsgw, section, "ReplyText", EscapedReplyText(actions.replyText));
    ok = WriteOrDelete(smsgw, section, "ReplyFile", actions.replyFile) && ok;
    ok = WriteOrDelete(smsgw, section, "Run", actions.run) && ok;
    ok = WriteOrDelete(smsgw, section, "MailTo", actions.mailTo) && ok;
    ok = WriteOrDelete(smsgw, section, "DListAdd", actions.dListAdd) && ok;
    ok = WriteOrDelete(smsgw, section, "DListRemove", actions.dListRemove) && ok;
    ok = WriteOrDelete(smsgw, section, "RunSendResponse", actions.runSendResponse ? "Yes" : "") && ok;
    return ok;
}

std::string EscapedReplyText(const std::string& text)
{
    // Every character may become two; one more for the terminator.
    std::vector<char> buffer(text.size() * 2 + 1, '\0');
    std::copy(text.begin(), text.end(), buffer.begin());
    EscapeLineBreaks(buffer.data(), buffer.size());
    std::string escaped = buffer.data();
    return escaped.size() <= kKeywordValueMax ? escaped : std::string();
}

bool ReplyTextFits(const std::string& text)
{
    return text.empty() || !EscapedReplyText(text).empty();
}

bool ReplyTextHoldsLineBreakEscape(const std::string& text)
{
    return text.find("\\r") != std::string::npos || text.find("\\n") != std::string::npos;
}

std::vector<std::string> ReadKeywordTable(IniStore& smsgw)
{
    SectionValues keys(smsgw, kKeywordsSection);
    std::vector<std::string> table;
    for (size_t n = 1;; ++n) {
        std::string entry = keys.Read(KeywordKey(n));
        if (entry.empty()) {
            // The end of the table is read once more on its own: a section cut short by the
            // platform ends before the table does.
            keys.ReadKeyByKey();
            entry = keys.Read(KeywordKey(n));
        }
        if (entry.empty())
            return table;
        table.push_back(entry);
    }
}

std::string KeywordListRow(IniStore& smsgw, const std::string& entry)
{
    SectionValues section(smsgw, KeywordSectionName(entry));
    std::string row = entry;
    for (const ActionKey& key : kRowKeys) {
        std::string value = section.Read(key.key);
        if (!value.empty())
            row += std::string("\t") + key.key + "=" + value;
    }
    std::string response = section.Read("RunSendResponse");
    if (!response.empty())
        row += "\tRunSendResponse=" + response;
    return row.substr(0, kKeywordValueMax);
}

std::string EntryOfRow(const std::string& row)
{
    return row.substr(0, row.find('\t'));
}

bool KeywordEntryTaken(const std::vector<std::string>& table, const std::string& entry, const std::string& except)
{
    if (!except.empty() && EqualsNoCase(entry, except))
        return false;
    return FindEntry(table, entry) < table.size();
}

bool AppendKeywordEntry(IniStore& smsgw, const std::string& entry)
{
    return smsgw.Write(kKeywordsSection, KeywordKey(ReadKeywordTable(smsgw).size() + 1), entry);
}

bool ChangeKeywordEntry(IniStore& smsgw, const std::string& oldEntry, const std::string& newEntry)
{
    std::vector<std::string> table = ReadKeywordTable(smsgw);
    size_t at = FindEntry(table, oldEntry);
    return at < table.size() && smsgw.Write(kKeywordsSection, KeywordKey(at + 1), newEntry);
}

bool DeleteKeywordEntry(IniStore& smsgw, const std::string& entry)
{
    std::vector<std::string> table = ReadKeywordTable(smsgw);
    size_t at = FindEntry(table, entry);
    if (at == table.size())
        return false;
    size_t oldCount = table.size();
    table.erase(table.begin() + static_cast<std::ptrdiff_t>(at));
    return RewriteTable(smsgw, at, oldCount, table);
}
