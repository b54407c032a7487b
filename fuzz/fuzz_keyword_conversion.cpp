// The old 2-way command table in [SMSGW] comes from files administrators edited by hand.
// The first byte picks the "NewFormat" value already in [2Way-Keywords] (or none) and the
// write that fails in a second run; then comes the old table, one ReceiveSMSCommandN per
// line, up to the first NUL; after it, other keys already in the file, one
// "section<TAB>key<TAB>value" per line, up to the next NUL (profile values hold no NUL).
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "../tests/native/memory_ini.h"
#include "base/ini_rules.h"
#include "base/text.h"
#include "twoway/keyword_conversion.h"

namespace {

const size_t kMaxTableLines = 16;
const char* const kNewFormatValues[] = {nullptr, "Yes", "no", "TRUE", "1", "0", "", "y"};

struct OldAction {
    const char* prefix;
    const char* key;
};
const OldAction kOldActions[] = {
    {"REPLYTEXT:", "ReplyText"}, {"REPLYFILE:", "ReplyFile"},     {"MAILTO:", "MailTo"},
    {"DLISTADD:", "DListAdd"},   {"DLISTREMOVE:", "DListRemove"},
};

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

std::string Numbered(const char* name, size_t n)
{
    return name + std::to_string(n);
}

void Fill(MemoryIni& ini, const uint8_t* data, size_t size)
{
    if (const char* newFormat = kNewFormatValues[data[0] & 7])
        ini.Write("2Way-Keywords", "NewFormat", newFormat);
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    size_t end = text.find('\0');
    std::vector<std::string> table = Split(text.substr(0, end), '\n');
    for (size_t n = 1; n <= table.size() && n <= kMaxTableLines; ++n)
        ini.Write("SMSGW", Numbered("ReceiveSMSCommand", n), table[n - 1]);
    if (end != std::string::npos) {
        std::string extra = text.substr(end + 1);
        for (const std::string& line : Split(extra.substr(0, extra.find('\0')), '\n')) {
            std::vector<std::string> fields = Split(line, '\t');
            if (fields.size() >= 3)
                ini.Write(fields[0], fields[1], fields[2]);
        }
    }
    ini.writes = 0;
}

// What one old line asks for: the keyword's table entry, its section, the action key and
// value, and whether the response is sent.
struct OldLine {
    std::string entry;
    std::string section;
    std::string actionKey;
    std::string actionValue;
    bool sendResponse = false;
};

OldLine ReadOldLine(const std::string& line)
{
    std::vector<std::string> fields = Split(line, '\t');
    fields.resize(fields.size() < 4 ? 4 : fields.size());
    OldLine old;
    old.entry = fields[3].empty() ? fields[0] : fields[0] + "##" + fields[3];
    old.section = "2Way-Keyword-" + old.entry;
    old.actionKey = "Run";
    old.actionValue = fields[1];
    std::string upper = AsciiUpper(fields[1]);
    for (const OldAction& action : kOldActions) {
        std::string prefix = action.prefix;
        if (upper.compare(0, prefix.size(), prefix) == 0) {
            old.actionKey = action.key;
            old.actionValue = fields[1].substr(prefix.size());
            break;
        }
    }
    old.sendResponse = IniBool(fields[2].c_str());
    return old;
}

bool IsConversionKey(const std::string& key)
{
    static const char* const kKeys[] = {"Run",      "ReplyText",   "ReplyFile",      "MailTo",
                                        "DListAdd", "DListRemove", "RunSendResponse"};
    for (const char* known : kKeys) {
        if (EqualsNoCase(key, known))
            return true;
    }
    return false;
}

// The table as converted from before into after, by the documented rules.
void CheckConverted(MemoryIni& before, MemoryIni& after)
{
    std::vector<OldLine> lines;
    for (size_t n = 1;; ++n) {
        std::string line = before.Read("SMSGW", Numbered("ReceiveSMSCommand", n), 4096);
        if (line.empty())
            break;
        lines.push_back(ReadOldLine(line));
        Check(after.Get("2Way-Keywords", Numbered("Keyword", n)) == lines.back().entry);
    }
    Check(after.Get("2Way-Keywords", "NewFormat") == "Yes");

    // The last line naming a section decides its action key and response flag.
    std::map<std::string, const OldLine*> last;
    for (const OldLine& line : lines)
        last[AsciiUpper(line.section)] = &line;
    for (const auto& section : last) {
        const OldLine& line = *section.second;
        Check(after.Get(line.section, line.actionKey) == line.actionValue);
        Check(line.sendResponse ? after.Get(line.section, "RunSendResponse") == "Yes"
                                : !after.Has(line.section, "RunSendResponse"));
    }
    // Each section is written once, the table last.
    Check(after.writes == static_cast<int>(last.size()) + 1);

    // Every other key stays: whole sections outside the table, the table's own other keys,
    // and the keyword sections' keys the conversion does not set.
    for (const auto& section : before.sections) {
        const std::string& name = section.first;
        if (!StartsWithNoCase(name.data(), name.size(), "2Way-Keyword")) {
            Check(after.ReadSection(name) == section.second);
            continue;
        }
        bool table = EqualsNoCase(name, "2Way-Keywords");
        for (const auto& entry : section.second) {
            bool converted = table ? EqualsNoCase(entry.first, "NewFormat") : IsConversionKey(entry.first);
            for (size_t n = 1; table && !converted && n <= lines.size(); ++n)
                converted = EqualsNoCase(entry.first, Numbered("Keyword", n));
            if (!converted)
                Check(after.Get(name, entry.first) == entry.second);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    MemoryIni before;
    Fill(before, data, size);
    bool hadTable = !before.Read("SMSGW", "ReceiveSMSCommand1", 4096).empty();
    bool wasNewFormat = IniBool(before.Read("2Way-Keywords", "NewFormat", 500).c_str());

    MemoryIni after = before;
    Check(ConvertOldKeywordTable(after));
    Check(IniBool(after.Read("2Way-Keywords", "NewFormat", 500).c_str()) == (hadTable || wasNewFormat));
    if (!hadTable || wasNewFormat)
        Check(after.sections == before.sections && after.writes == 0);
    else
        CheckConverted(before, after);

    // A second conversion finds nothing to do.
    MemoryIni again = after;
    again.writes = 0;
    Check(ConvertOldKeywordTable(again));
    Check(again.sections == after.sections && again.writes == 0);

    // A refused write is reported and never leaves the table marked converted; without one
    // the result is the same as before.
    MemoryIni failing = before;
    failing.failFromWrite = data[0] >> 3;
    bool converted = ConvertOldKeywordTable(failing);
    Check(converted == (failing.writes <= failing.failFromWrite));
    if (converted)
        Check(failing.sections == after.sections);
    else
        Check(IniBool(failing.Read("2Way-Keywords", "NewFormat", 500).c_str()) == wasNewFormat);
    return 0;
}
