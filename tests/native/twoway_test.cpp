// The 2-way rules: keyword entries and the keyword table, the keyword dialog's checks, the
// php-cgi.exe search over a file system in memory, and the 2-Way page's settings.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "base/text.h"
#include "memory_ini.h"
#include "twoway/keyword_form.h"
#include "twoway/keyword_table.h"
#include "twoway/php_locator.h"
#include "twoway/twoway_settings.h"

namespace {

// Paths compared without regard to case, as on Windows; a folder is any path with an
// entry below it or listed in folders.
class FakeFiles : public PhpSearchSystem {
public:
    std::set<std::string> files;   // upper-case full paths
    std::set<std::string> folders; // upper-case, with trailing backslash
    std::set<std::string> links;   // folders that are reparse points
    std::set<std::string> open;    // folders other users may write, upper-case with backslash
    std::map<std::string, std::string> environment;
    std::vector<std::string> drives;
    std::vector<std::string> listed; // the folders listed, in order

    void AddFile(const std::string& path)
    {
        files.insert(AsciiUpper(path));
        for (size_t slash = path.find('\\'); slash != std::string::npos; slash = path.find('\\', slash + 1))
            folders.insert(AsciiUpper(path.substr(0, slash + 1)));
    }
    bool PathExists(const std::string& path) override
    {
        return FileExists(path) || folders.count(AsciiUpper(path) + "\\");
    }
    bool FileExists(const std::string& path) override { return files.count(AsciiUpper(path)) != 0; }
    std::string Environment(const char* name) override { return environment[name]; }
    std::vector<std::string> FixedDriveRoots() override { return drives; }
    std::vector<FolderEntry> ListDirectory(const std::string& directory) override
    {
        listed.push_back(directory);
        std::string prefix = AsciiUpper(directory);
        std::vector<FolderEntry> entries;
        std::set<std::string> seen;
        auto add = [&](const std::string& path, bool directoryEntry) {
            if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0)
                return;
            std::string rest = path.substr(prefix.size());
            size_t slash = rest.find('\\');
            bool below = slash != std::string::npos;
            std::string name = rest.substr(0, slash);
            if (name.empty() || !seen.insert(name).second)
                return;
            bool isFolder = below || directoryEntry;
            entries.push_back({name, isFolder, isFolder && links.count(prefix + name + "\\") != 0});
        };
        for (const std::string& f : files)
            add(f, false);
        for (const std::string& f : folders)
            add(f, true);
        return entries;
    }
    bool OthersMayWrite(const std::string& directory) override { return open.count(AsciiUpper(directory)) != 0; }
};

TEST(KeywordEntry, SplitsAtTheFirstMarkAndJoinsBack)
{
    struct Case {
        const char* entry;
        const char* keyword;
        const char* numbers;
    } const cases[] = {
        {"HELP", "HELP", ""},
        {"HELP##12345", "HELP", "12345"},
        {"A##1##2", "A", "1##2"},
        {"##9", "", "9"},
    };
    for (const Case& c : cases) {
        KeywordEntry entry = SplitKeywordEntry(c.entry);
        EXPECT_EQ(c.keyword, entry.keyword) << c.entry;
        EXPECT_EQ(c.numbers, entry.numbers) << c.entry;
        EXPECT_EQ(c.entry, JoinKeywordEntry(entry)) << c.entry;
    }
}

MemoryIni TableOf(std::initializer_list<const char*> entries)
{
    MemoryIni ini;
    ini.Write(kKeywordsSection, "NewFormat", "Yes");
    unsigned n = 0;
    for (const char* entry : entries)
        ini.Write(kKeywordsSection, "Keyword" + std::to_string(++n), entry);
    return ini;
}

TEST(KeywordTable, EditsKeepTheTableWithoutGaps)
{
    MemoryIni ini = TableOf({"ONE", "TWO", "THREE"});
    ini.Write(kKeywordsSection, "Keyword5", "BEHIND A GAP");
    EXPECT_EQ((std::vector<std::string>{"ONE", "TWO", "THREE"}), ReadKeywordTable(ini));

    ASSERT_TRUE(ChangeKeywordEntry(ini, "two", "Deux"));
    EXPECT_EQ("Deux", ini.Get(kKeywordsSection, "Keyword2"));
    EXPECT_FALSE(ChangeKeywordEntry(ini, "BEHIND A GAP", "X")); // past the table's end

    // Removing Keyword2 of three moves Keyword3 down in one write and drops Keyword3; the
    // other keys of the section stay.
    ini.writes = 0;
    ASSERT_TRUE(DeleteKeywordEntry(ini, "DEUX"));
    EXPECT_EQ(1, ini.writes);
    EXPECT_EQ((std::vector<std::string>{"ONE", "THREE"}), ReadKeywordTable(ini));
    EXPECT_FALSE(ini.Has(kKeywordsSection, "Keyword3"));
    EXPECT_EQ("Yes", ini.Get(kKeywordsSection, "NewFormat"));
    EXPECT_EQ("BEHIND A GAP", ini.Get(kKeywordsSection, "Keyword5"));
    ASSERT_TRUE(AppendKeywordEntry(ini, "FOUR##123"));
    EXPECT_EQ("FOUR##123", ini.Get(kKeywordsSection, "Keyword3"));
    EXPECT_FALSE(DeleteKeywordEntry(ini, "MISSING"));
}

TEST(KeywordTable, ASectionTooLargeToReadWholeIsChangedKeyByKey)
{
    // The platform reads at most 32 KB of a section: a table past that is not rewritten from
    // what was read (which would drop the entries beyond it).
    class CutSection : public MemoryIni {
    public:
        IniEntries ReadSection(const std::string& section) override
        {
            IniEntries entries = MemoryIni::ReadSection(section);
            entries.resize(2);
            return entries;
        }
    } ini;
    for (const char* entry : {"A", "B", "C", "D"})
        AppendKeywordEntry(ini, entry);
    ASSERT_TRUE(DeleteKeywordEntry(ini, "B"));
    EXPECT_EQ((std::vector<std::string>{"A", "C", "D"}), ReadKeywordTable(ini));
}

// The platform's profile functions as far as the section reads differ from key reads: a key
// read takes a value out of its quotes, a section read stops at 32767 characters. Counts
// both kinds of read.
class ProfileLikeIni : public MemoryIni {
public:
    int reads = 0;
    int sectionReads = 0;

    std::string Read(const std::string& section, const std::string& key, size_t maxChars) override
    {
        ++reads;
        std::string value = MemoryIni::Read(section, key, std::string::npos);
        value.erase(0, value.find_first_not_of(" \t"));
        value.erase(value.find_last_not_of(" \t") + 1);
        if (value.size() > 1 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        return value.substr(0, maxChars - 1);
    }
    IniEntries ReadSection(const std::string& section) override
    {
        ++sectionReads;
        IniEntries cut;
        size_t room = 32765; // "key=value\0" lines; the last one that does not fit is cut
        for (const auto& entry : MemoryIni::ReadSection(section)) {
            std::string line = entry.first + "=" + entry.second;
            if (line.size() + 1 > room)
                line.resize(room - 1);
            size_t equals = line.find('=');
            cut.emplace_back(line.substr(0, equals), equals == std::string::npos ? "" : line.substr(equals + 1));
            room -= line.size() + 1;
            if (room < 2)
                break;
        }
        return cut;
    }
};

TEST(KeywordTable, ReadWholeSectionsAnswerAsKeyByKeyReads)
{
    // Each case: the keyword section's lines and the list row they give.
    struct Case {
        IniEntries section;
        const char* row;
    };
    const std::string big(40000, 'n');
    const Case cases[] = {
        {{{"Run", "x.exe"}, {"DListAdd", "News"}}, "K\tDListAdd=News\tRun=x.exe"},
        {{{"replytext", "first"}, {"ReplyText", "second"}}, "K\tReplyText=first"},     // the first key, any case
        {{{"MailTo", "\"a@b.c\""}, {"Run", "'x y'"}}, "K\tMailTo=a@b.c\tRun=x y"},     // quotes taken off
        {{{"Note", big}, {"ReplyText", "past the cut"}}, "K\tReplyText=past the cut"}, // beyond 32767
        {{{"RunSendResponse", "Yes"}, {"Run", ""}}, "K\tRunSendResponse=Yes"},
        {{{"Run", " x.exe"}, {"MailTo", "a@b.c\t"}}, "K\tMailTo=a@b.c\tRun=x.exe"}, // blanks at one end
    };
    for (const Case& c : cases) {
        ProfileLikeIni ini;
        ini.sections.emplace_back("2Way-Keyword-K", c.section);
        EXPECT_EQ(c.row, KeywordListRow(ini, "K")) << c.row;
    }

    // A table: one read of its section and one of each keyword's, the end read once more.
    ProfileLikeIni ini;
    std::vector<std::string> table;
    for (int n = 1; n <= 50; ++n) {
        table.push_back("K" + std::to_string(n));
        AppendKeywordEntry(ini, table.back());
        ini.Write("2Way-Keyword-" + table.back(), "ReplyText", "hi");
    }
    ini.reads = ini.sectionReads = 0;
    ASSERT_EQ(table, ReadKeywordTable(ini));
    for (const std::string& entry : table)
        EXPECT_EQ(entry + "\tReplyText=hi", KeywordListRow(ini, entry));
    EXPECT_EQ(51, ini.sectionReads);
    EXPECT_EQ(1, ini.reads);

    // Entries past the platform's cut, and one in quotes, are still read.
    ProfileLikeIni long_;
    for (int n = 1; n <= 40; ++n)
        AppendKeywordEntry(long_, std::string(1000, static_cast<char>('A' + n % 26)));
    long_.Write(kKeywordsSection, "Keyword2", "\"TWO \"");
    long_.Write(kKeywordsSection, "Keyword3", std::string(1100, 'x'));
    std::vector<std::string> read = ReadKeywordTable(long_);
    ASSERT_EQ(40u, read.size());
    EXPECT_EQ("TWO ", read[1]);
    EXPECT_EQ(std::string(kKeywordValueMax, 'x'), read[2]); // cut as a key read cuts it
    ProfileLikeIni small;
    small.Write(kKeywordsSection, "Keyword1", std::string(1100, 'x'));
    EXPECT_EQ(std::vector<std::string>{std::string(kKeywordValueMax, 'x')}, ReadKeywordTable(small));
    EXPECT_EQ(std::string(1000, 'A' + 40 % 26), read[39]);
}

TEST(KeywordTable, DuplicatesAreFoundWithoutRegardToCaseExceptTheEntryEdited)
{
    std::vector<std::string> table = {"HELP", "STOP##123"};
    EXPECT_TRUE(KeywordEntryTaken(table, "help", ""));
    EXPECT_TRUE(KeywordEntryTaken(table, "Stop##123", "HELP"));
    EXPECT_FALSE(KeywordEntryTaken(table, "HeLp", "HELP")); // the keyword edited itself
    EXPECT_FALSE(KeywordEntryTaken(table, "STOP", ""));     // other receive numbers
}

TEST(KeywordActions, SavedKeysFollowTheActionsAndReadBack)
{
    MemoryIni ini;
    KeywordActions actions;
    actions.replyText = "Line one\r\nC:\\files";
    actions.run = "http://x/?s=@@SENDER@@";
    actions.runSendResponse = true;
    ASSERT_TRUE(SaveKeywordActions(ini, "HELP##1", actions));
    EXPECT_EQ("Line one\\r\\nC:\\files", ini.Get("2Way-Keyword-HELP##1", "ReplyText"));
    EXPECT_EQ("Yes", ini.Get("2Way-Keyword-HELP##1", "RunSendResponse"));
    EXPECT_EQ("HELP##1\tReplyText=Line one\\r\\nC:\\files\tRun=http://x/?s=@@SENDER@@\tRunSendResponse=Yes",
              KeywordListRow(ini, "HELP##1"));
    KeywordActions back = LoadKeywordActions(ini, "HELP##1");
    EXPECT_EQ(actions.replyText, back.replyText);
    ini.Write("2Way-Keyword-B", "ReplyText", "\\nB");
    EXPECT_EQ("\nB", LoadKeywordActions(ini, "B").replyText); // a break first
    EXPECT_TRUE(back.runSendResponse);

    KeywordActions other;
    other.dListAdd = "News";
    other.mailTo = "a@b.c";
    ASSERT_TRUE(SaveKeywordActions(ini, "help##1", other));
    EXPECT_EQ("HELP##1\tDListAdd=News\tMailTo=a@b.c", KeywordListRow(ini, "HELP##1"));
}

TEST(KeywordActions, ARefusedWriteOfAnyOneKeyIsReported)
{
    class RefusingIni : public MemoryIni {
    public:
        std::string refused;
        bool Write(const std::string& s, const std::string& k, const std::string& v) override
        {
            return !EqualsNoCase(k, refused) && MemoryIni::Write(s, k, v);
        }
    };
    KeywordActions all;
    all.replyText = all.replyFile = all.run = all.mailTo = all.dListAdd = all.dListRemove = "x";
    all.runSendResponse = true;
    for (const char* key : {"ReplyText", "ReplyFile", "Run", "MailTo", "DListAdd", "DListRemove", "RunSendResponse"}) {
        RefusingIni ini;
        ini.refused = key;
        EXPECT_FALSE(SaveKeywordActions(ini, "K", all)) << key;
    }
}

TEST(KeywordActions, TheEscapedReplyMustFitTheGatewaysBuffer)
{
    std::string full(kKeywordValueMax - 1, 'x');
    EXPECT_TRUE(ReplyTextFits(full + "x"));
    EXPECT_FALSE(ReplyTextFits(full + "\n")); // one break grows the text past 1023
    EXPECT_EQ("", EscapedReplyText(full + "\n"));
    EXPECT_EQ("a\\rb\\n", EscapedReplyText("a\rb\n"));
    MemoryIni ini;
    EXPECT_EQ(std::string(kKeywordValueMax, 'y'), KeywordListRow(ini, std::string(2000, 'y')));
}

KeywordForm ValidForm()
{
    KeywordForm form;
    form.keyword = "HELP";
    form.replyChecked = true;
    form.replyText = "hi";
    return form;
}

TEST(KeywordForm, ChecksComeInOrderWithTheirMessageAndFocus)
{
    FakeFiles files;
    files.AddFile("C:\\Data\\FILES\\logo.png");
    files.AddFile("C:\\tools\\run.exe");
    files.AddFile("C:\\tools\\script.bat");
    files.folders.insert("C:\\TOOLS\\DIR.EXE\\");
    KeywordFormContext context{{"HELP", "STOP"}, "HELP", "C:\\Data\\FILES"};
    using F = KeywordField;
    auto missing = [](const char* file) {
        return std::string("Cannot locate program file:  ") + file +
               "\r\n\r\nPlease specify an http://url, or a valid executable file name.";
    };

    const std::string escape = "The reply text cannot hold a backslash before r or n (as in C:\\reports\\new): the "
                               "gateway sends \\r and \\n as line breaks. Type line breaks as they are, and write "
                               "such a path another way.";

    struct Case {
        const char* name;
        void (*change)(KeywordForm&);
        std::string message; // empty: accepted
        F focus;
    } const cases[] = {
        {"valid", [](KeywordForm&) {}, "", F::Keyword},
        {"no keyword",
         [](KeywordForm& f) {
             f.keyword.clear();
             f.replyText.clear();
         },
         "Keyword is required!", F::Keyword},
        {"blanks only", [](KeywordForm& f) { f.keyword = "   "; }, "Invalid keyword!\r\nA keyword cannot begin with a blank.",
         F::Keyword},
        {"entry too long", [](KeywordForm& f) { f.numbers.assign(kKeywordEntryMax - 5, '1'); },
         "The keyword and its receive phone numbers are too long: together they must fit in 1010 characters.",
         F::Keyword},
        {"longest entry", [](KeywordForm& f) { f.numbers.assign(kKeywordEntryMax - 6, '1'); }, "", F::Keyword},
        {"duplicate", [](KeywordForm& f) { f.keyword = "stop"; },
         "The keyword \"stop\" is already in the command table.", F::Keyword},
        {"no reply text", [](KeywordForm& f) { f.replyText.clear(); }, "Reply text cannot be blank", F::ReplyText},
        {"reply too long", [](KeywordForm& f) { f.replyText = std::string(1000, 'x') + std::string(12, '\n'); },
         "The reply text is too long: with each line break stored as two characters it must fit in 1023 characters.",
         F::ReplyText},
        {"reply escape r", [](KeywordForm& f) { f.replyText = "C:\\reports\\new"; }, escape, F::ReplyText},
        {"reply escape n", [](KeywordForm& f) { f.replyText = "a\\nb"; }, escape, F::ReplyText},
        {"reply backslashes", [](KeywordForm& f) { f.replyText = "C:\\files\\R\\N\r\n\\"; }, "", F::Keyword},
        {"no image", [](KeywordForm& f) { f.imageChecked = true; }, "Reply file must be selected", F::Browse},
        {"image missing",
         [](KeywordForm& f) {
             f.imageChecked = true;
             f.imageFile = "gone.png";
         },
         "Reply file does not exist", F::Browse},
        {"image relative",
         [](KeywordForm& f) {
             f.imageChecked = true;
             f.imageFile = "LOGO.PNG";
         },
         "", F::Keyword},
        {"image full path",
         [](KeywordForm& f) {
             f.imageChecked = true;
             f.imageFile = "C:\\Data\\FILES\\logo.png";
         },
         "", F::Keyword},
        {"no command", [](KeywordForm& f) { f.runChecked = true; }, "Run command cannot be blank", F::Command},
        {"url",
         [](KeywordForm& f) {
             f.runChecked = true;
             f.run = "HTTPS://nowhere/@@SMS@@";
         },
         "", F::Keyword},
        {"post url",
         [](KeywordForm& f) {
             f.runChecked = true;
             f.run = "httpspost://h/p";
         },
         "", F::Keyword},
        {"exe added",
         [](KeywordForm& f) {
             f.runChecked = true;
             f.run = "C:\\tools\\run @@FULLSMS@@";
         },
         "", F::Keyword},
        {"quoted",
         [](KeywordForm& f) {
             f.runChecked = true;
             f.run = "\"C:\\tools\\script.bat\" a b";
         },
         "", F::Keyword},
        {"notepad",
         [](KeywordForm& f) {
             f.runChecked = true;
             f.run = "notepad";
         },
         missing("notepad.EXE"), F::Command},
        {"dot first",
         [](KeywordForm& f) {
             f.runChecked = true;
             f.run = ".x";
         },
         missing(".x"), F::Command},
        {"dot after the folder",
         [](KeywordForm& f) {
             f.runChecked = true;
             f.run = "C:\\tools\\.x";
         },
         missing("C:\\tools\\.x"), F::Command},
        {"dotted name",
         [](KeywordForm& f) {
             f.runChecked = true;
             f.run = "C:\\tools\\x.cmd";
         },
         missing("C:\\tools\\x.cmd"), F::Command},
        {"a folder",
         [](KeywordForm& f) {
             f.runChecked = true;
             f.run = "C:\\tools\\dir.exe";
         },
         missing("C:\\tools\\dir.exe"), F::Command},
        {"no address", [](KeywordForm& f) { f.mailChecked = true; }, "E-Mail Address cannot be blank", F::MailTo},
        {"no add list", [](KeywordForm& f) { f.addChecked = true; }, "Distribution list name cannot be blank",
         F::DListAdd},
        {"no remove list", [](KeywordForm& f) { f.removeChecked = true; }, "Distribution list name cannot be blank",
         F::DListRemove},
        {"no action",
         [](KeywordForm& f) {
             f.replyChecked = false;
             f.runSendResponse = true;
         },
         "At least one type of action is required", F::Keyword},
    };
    for (const Case& c : cases) {
        KeywordForm form = ValidForm();
        c.change(form);
        KeywordFormProblem problem;
        bool accepted = CheckKeywordForm(form, context, files, problem);
        EXPECT_EQ(c.message.empty(), accepted) << c.name << ": " << problem.message;
        if (c.message.empty())
            continue;
        EXPECT_EQ(c.message, problem.message) << c.name;
        EXPECT_EQ(c.focus, problem.focus) << c.name;
    }
}

// Keywords the audit stored and then could not read back, edit or remove.
TEST(KeywordTable, KeywordsThatCannotRoundTripAreRefused)
{
    const struct {
        const char* keyword;
        const char* problem; // null: kept
    } rows[] = {
        {"TWO", nullptr},
        {"a;[=b \xE9", nullptr},
        {"   ", "cannot begin with a blank"},
        {" TWO2", "cannot begin with a blank"},
        {"TWO2 ", "cannot end with a blank"},
        {"TW\tO", "cannot contain tabs, line breaks or other control characters"},
        {"TWO\r\nX", "cannot contain tabs, line breaks or other control characters"},
        {"TWO##", "cannot contain \"##\""},
        {"##77", "cannot contain \"##\""},
        {"T#W#O", nullptr},
        {"\"TWO\"", "cannot begin or end with a quote"},
        {"TWO'", "cannot begin or end with a quote"},
        {"'TWO", "cannot begin or end with a quote"},
        {"T\"W'O", nullptr},
        {"a]b", "cannot contain \"]\""},
        {"TWO.", nullptr},
    };
    for (const auto& row : rows) {
        const char* problem = KeywordTextProblem(row.keyword);
        EXPECT_STREQ(row.problem ? row.problem : "(kept)", problem ? problem : "(kept)") << row.keyword;
    }
}

TEST(KeywordForm, CommandsAndImagesAreTakenApartAsStored)
{
    EXPECT_EQ("C:\\a b\\x.exe", CommandProgramFile("\"C:\\a b\\x.exe\" arg"));
    EXPECT_EQ("C:\\a", CommandProgramFile("\"C:\\a b"));
    EXPECT_EQ("", CommandProgramFile("\"\" arg")); // empty quotes name no program
    EXPECT_EQ("run.exe", CommandProgramFile("run.exe @@SMS@@"));
    EXPECT_FALSE(IsUrlCommand("ftp://x"));
    EXPECT_EQ("sub\\logo.png", ImageNameToStore("c:\\data\\files\\sub\\logo.png", "C:\\Data\\FILES"));
    EXPECT_EQ("C:\\Data\\FILES2\\a.png", ImageNameToStore("C:\\Data\\FILES2\\a.png", "C:\\Data\\FILES"));

    KeywordForm form = ValidForm();
    form.numbers = "555";
    form.mailTo = "kept@only.when.checked";
    form.runSendResponse = true;
    KeywordActions actions = FormActions(form);
    EXPECT_EQ("HELP##555", FormEntry(form));
    EXPECT_EQ("", actions.mailTo);
    EXPECT_TRUE(actions.runSendResponse);
}

TEST(PhpLocator, FindsTheProgramInItsOrderAndStoresNothingUnconfirmed)
{
    const std::string tail = "\\" + std::string(244, 'a') + "\\php-cgi.exe";
    const std::string onC = "C:" + tail, onD = "D:" + tail, onE = "E:" + tail; // 259 characters: the longest path
    const std::string dirE = onE.substr(0, onE.size() - 12);
    const std::string path260 = "E:\\b;E:\\" + std::string(252, 'a');
    const std::string path261 = path260 + "a";
    struct Case {
        const char* name;
        const char* stored; // PHP-CGI.EXE before
        const char* phprc;
        const char* path;
        const char* file;  // where php-cgi.exe lies
        const char* found; // "" when not found
        bool fromConfiguration;
        const char* storedAfter;
    } const cases[] = {
        {"stored", "C:\\php\\php-cgi.exe", "", "", "C:\\php\\php-cgi.exe", "C:\\php\\php-cgi.exe", true,
         "C:\\php\\php-cgi.exe"},
        {"stale, then drives", "C:\\old\\php-cgi.exe", "", "", "D:\\x\\y\\PHP-CGI.EXE", "D:\\x\\y\\PHP-CGI.EXE", false,
         "<missing>"},
        {"phprc", "", "C:\\php", "", "C:\\php\\php-cgi.exe", "C:\\php\\php-cgi.exe", false, "<missing>"},
        {"phprc backslash", "", "C:\\php\\", "", "C:\\php\\php-cgi.exe", "C:\\php\\php-cgi.exe", false, "<missing>"},
        {"third of path", "", "", "E:\\a; E:\\c;E:\\b", "E:\\b\\php-cgi.exe", "E:\\b\\php-cgi.exe", false, "<missing>"},
        {"path of 260", "", "", path260.c_str(), "E:\\b\\php-cgi.exe", "E:\\b\\php-cgi.exe", false, "<missing>"},
        {"path of 261", "", "", path261.c_str(), "E:\\b\\php-cgi.exe", "", false, "<missing>"},
        {"stored, longest", onC.c_str(), "", "", onC.c_str(), onC.c_str(), true, onC.c_str()},
        {"phprc, longest", "", dirE.c_str(), "", onE.c_str(), onE.c_str(), false, "<missing>"},
        {"drive, longest", "", "", "", onD.c_str(), onD.c_str(), false, "<missing>"},
        {"phprc in an open folder", "", "C:\\open", "", "C:\\open\\php-cgi.exe", "C:\\open\\php-cgi.exe", false,
         "<missing>"},
        {"phprc too long", "",
         "C:\\php\\aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
         "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
         "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
         "", "", "", false, "<missing>"},
        {"under Q", "", "", "", "C:\\Q\\php-cgi.exe", "", false, "<missing>"},
        {"under mmscdata", "", "", "", "C:\\x\\mmscdata\\php-cgi.exe", "", false, "<missing>"},
        {"through a link", "", "", "", "C:\\link\\php-cgi.exe", "", false, "<missing>"},
        {"not a drive", "", "", "", "E:\\php-cgi.exe", "", false, "<missing>"},
        {"first drive, then no more", "", "", "", "C:\\tools\\php-cgi.exe", "C:\\tools\\php-cgi.exe", false,
         "<missing>"},
        {"planted where others write", "", "", "", "C:\\open\\php-cgi.exe", "", false, "<missing>"},
        {"below an open folder", "", "", "", "C:\\open\\sub\\php-cgi.exe", "", false, "<missing>"},
        {"on a drive whose root others write", "", "", "", "D:\\php-cgi.exe", "", false, "<missing>"},
        {"a program others may overwrite", "", "", "", "C:\\tools\\open\\php-cgi.exe", "", false, "<missing>"},
    };
    for (const Case& c : cases) {
        FakeFiles files;
        files.drives = {"C:\\", "D:\\"};
        files.AddFile(c.file);
        files.AddFile("C:\\other\\readme.txt");
        files.links.insert("C:\\LINK\\");
        files.open.insert("C:\\OPEN\\");
        files.open.insert("C:\\TOOLS\\OPEN\\PHP-CGI.EXE");
        if (std::string(c.name) == "on a drive whose root others write")
            files.open.insert("D:\\");
        files.environment["PHPRC"] = c.phprc;
        files.environment["PATH"] = c.path;
        MemoryIni ini;
        if (*c.stored)
            ini.Write("SMSGW", "PHP-CGI.EXE", c.stored);
        PhpSearchResult result = LocatePhpCgi(ini, files);
        EXPECT_EQ(*c.found != 0, result.found) << c.name;
        EXPECT_EQ(c.fromConfiguration, result.stored) << c.name;
        EXPECT_TRUE(EqualsNoCase(c.found, result.path)) << c.name << ": " << result.path;
        EXPECT_EQ(result.found ? "" : kPhpNotAvailableMessage, result.message) << c.name;
        EXPECT_EQ(*c.stored && !c.fromConfiguration ? c.stored : "", result.gone) << c.name;
        EXPECT_TRUE(EqualsNoCase(c.storedAfter, ini.Get("SMSGW", "PHP-CGI.EXE"))) << c.name;
    }
    MemoryIni ini;
    AdoptPhpCgi(ini, "D:\\x\\php-cgi.exe"); // once the administrator said yes
    EXPECT_EQ("D:\\x\\php-cgi.exe", ini.Get("SMSGW", "PHP-CGI.EXE"));
}

TEST(PhpLocator, TheDriveSearchEndsAtItsFolderLimitAndSaysSo)
{
    FakeFiles files;
    files.drives = {"C:\\", "D:\\"};
    for (int i = 0; i < 50; ++i)
        files.AddFile("C:\\f" + std::to_string(i) + "\\x.txt");
    files.AddFile("D:\\php-cgi.exe");
    MemoryIni ini;
    PhpSearchResult result = LocatePhpCgi(ini, files, 10);
    EXPECT_FALSE(result.found);
    EXPECT_TRUE(result.searchCut);
    EXPECT_EQ(kPhpSearchStoppedMessage, result.message);
    EXPECT_EQ(10u, files.listed.size());
    EXPECT_TRUE(LocatePhpCgi(ini, files, 100).found); // a larger bound reaches D:
}

TEST(PhpLocator, TheScriptDirectoryEndsInABackslash)
{
    const std::string longest = "D:\\" + std::string(256, 'a'); // 259 characters
    const struct {
        std::string stored, directory;
    } rows[] = {
        {"", "C:\\Data\\PHP\\"},
        {"D:\\scripts", "D:\\scripts\\"},
        {longest, longest + "\\"},
        {longest + "b", longest + "\\"}, // read as the platform reads it: 259 characters at most
    };
    for (const auto& row : rows) {
        MemoryIni ini;
        ini.Write("SMSGW", "PHPDir", row.stored);
        EXPECT_EQ(row.directory, PhpScriptDirectory(ini, "C:\\Data\\")) << row.stored;
    }
}

struct TwoWayCase {
    const char* name;
    const char* stored; // "section|key|value;..." in the file before
    bool modem;
    const char* shown; // what LoadTwoWaySettings gives, as Describe writes it
};

const char kRoute[] = "Modem - COM1";

void Store(MemoryIni& ini, const std::string& entries)
{
    size_t start = 0;
    while (start < entries.size()) {
        size_t end = entries.find(';', start);
        std::string item = entries.substr(start, end - start);
        size_t a = item.find('|'), b = item.find('|', a + 1);
        std::string section = item.substr(0, a);
        ini.Write(section == "R" ? kRoute : section, item.substr(a + 1, b - a - 1), item.substr(b + 1));
        start = end == std::string::npos ? entries.size() : end + 1;
    }
}

std::string Describe(const TwoWaySettings& s)
{
    const char* routing[] = {"in", "sms", "mm7", "mail", "post"};
    return std::string(s.receiveSms ? "S" : "-") + (s.receiveMms ? "M" : "-") + (s.routeLocal ? " local:" : " 2way:") +
           s.localUser + " " + s.charset + " " + routing[static_cast<int>(s.mmsRouting)] + ":" + s.mmsEmail +
           s.postUrl + (s.phpEnable ? " php" : "") + (s.phpAllowRemote ? " remote" : "");
}

TEST(TwoWaySettings, LoadShowsWhatTheFileHolds)
{
    const TwoWayCase cases[] = {
        {"empty", "", true, "-- 2way: utf-8 in:"},
        {"receive mms needs sms", "SMSGW|ReceiveMMS|Yes", true, "-- 2way: utf-8 in:"},
        {"local user", "R|RouteLocal|BOB;SMSGW|ReceiveMMS|yes", true, "SM local:BOB utf-8 in:"},
        {"user not accepting", "SMSGW|ReceiveSMS|Yes;R|RouteLocal|carol", true, "S- 2way: utf-8 in:"},
        {"no modem", "R|RouteLocal|bob;R|MMSRouting|qelsmslitemm7;SMSGW|2WayMMSToSMS|Yes", false, "-- 2way: utf-8 in:"},
        {"mm7", "R|MMSRouting|QelSmsLiteMM7;SMSGW|ReceiveSMSCharset|iso-8859-1", true, "-- 2way: iso-8859-1 mm7:"},
        {"mail", "R|MMSRouting|a@b.c", true, "-- 2way: utf-8 mail:a@b.c"},
        {"not an address", "R|MMSRouting|nowhere", true, "-- 2way: utf-8 in:"},
        {"sms commands", "SMSGW|2WayMMSToSMS|Yes;R|2WayMMSPostURL|http://x", true, "-- 2way: utf-8 sms:"},
        {"post url", "R|2WayMMSPostURL|http://x/up", true, "-- 2way: utf-8 post:http://x/up"},
        {"post url of old versions", "SMSGW|2WayMMSPostURL|http://old", true, "-- 2way: utf-8 post:http://old"},
        {"php", "SMSGW|PHPEnable|Yes;SMSGW|PHPAllowRemote|1", true, "-- 2way: utf-8 in: php remote"},
    };
    for (const TwoWayCase& c : cases) {
        MemoryIni ini;
        Store(ini, c.stored);
        EXPECT_EQ(c.shown, Describe(LoadTwoWaySettings(ini, c.modem ? kRoute : "", {"alice", "bob"}))) << c.name;
    }
}

TEST(TwoWaySettings, SaveWritesEachKeyOrDeletesIt)
{
    struct Case {
        const char* name;
        void (*change)(TwoWaySettings&);
        bool modem;
        const char* written; // "key=value" in write order, "key-" for a deleted key
    } const cases[] = {
        {"defaults", [](TwoWaySettings&) {}, true,
         "SMSGW.ReceiveSMS=No SMSGW.ReceiveMMS=No SMSGW.PHPEnable=No SMSGW.PHPAllowRemote=No R.RouteLocal- "
         "SMSGW.ReceiveSMSCharset=utf-8 R.MMSRouting- SMSGW.2WayMMSToSMS- R.2WayMMSPostURL- SMSGW.2WayMMSPostURL-"},
        {"everything",
         [](TwoWaySettings& s) {
             s.receiveSms = s.receiveMms = s.routeLocal = s.phpEnable = s.phpAllowRemote = true;
             s.localUser = "bob";
             s.charset = "(default)";
             s.mmsRouting = MmsRouting::PostUrl;
             s.postUrl = "host/upload";
         },
         true,
         "SMSGW.ReceiveSMS=Yes SMSGW.ReceiveMMS=Yes SMSGW.PHPEnable=Yes SMSGW.PHPAllowRemote=Yes R.RouteLocal=bob "
         "SMSGW.ReceiveSMSCharset- R.MMSRouting- SMSGW.2WayMMSToSMS- R.2WayMMSPostURL=http://host/upload "
         "SMSGW.2WayMMSPostURL-"},
        {"mms without sms",
         [](TwoWaySettings& s) {
             s.receiveMms = true;
             s.mmsRouting = MmsRouting::Mm7;
         },
         true,
         "SMSGW.ReceiveSMS=No SMSGW.ReceiveMMS=No SMSGW.PHPEnable=No SMSGW.PHPAllowRemote=No R.RouteLocal- "
         "SMSGW.ReceiveSMSCharset=utf-8 R.MMSRouting=qelsmslitemm7 SMSGW.2WayMMSToSMS- R.2WayMMSPostURL- "
         "SMSGW.2WayMMSPostURL-"},
        {"address without @",
         [](TwoWaySettings& s) {
             s.mmsRouting = MmsRouting::Email;
             s.mmsEmail = "x";
         },
         true,
         "SMSGW.ReceiveSMS=No SMSGW.ReceiveMMS=No SMSGW.PHPEnable=No SMSGW.PHPAllowRemote=No R.RouteLocal- "
         "SMSGW.ReceiveSMSCharset=utf-8 R.MMSRouting- SMSGW.2WayMMSToSMS- R.2WayMMSPostURL- SMSGW.2WayMMSPostURL-"},
        {"no modem",
         [](TwoWaySettings& s) {
             s.mmsRouting = MmsRouting::SmsCommands;
             s.routeLocal = true;
         },
         false,
         "SMSGW.ReceiveSMS=No SMSGW.ReceiveMMS=No SMSGW.PHPEnable=No SMSGW.PHPAllowRemote=No "
         "SMSGW.ReceiveSMSCharset=utf-8"},
    };
    class Recorder : public MemoryIni {
    public:
        std::string log;
        bool Write(const std::string& s, const std::string& k, const std::string& v) override
        {
            log += (log.empty() ? "" : " ") + Short(s) + "." + k + "=" + v;
            return MemoryIni::Write(s, k, v);
        }
        bool Delete(const std::string& s, const std::string& k) override
        {
            log += (log.empty() ? "" : " ") + Short(s) + "." + k + "-";
            return MemoryIni::Delete(s, k);
        }
        static std::string Short(const std::string& s) { return s == kRoute ? "R" : s; }
    };
    for (const auto& c : cases) {
        TwoWaySettings settings;
        settings.charset = "utf-8";
        c.change(settings);
        Recorder ini;
        SaveTwoWaySettings(settings, ini, c.modem ? kRoute : "");
        EXPECT_EQ(c.written, ini.log) << c.name;
    }
    Recorder ini;
    TwoWaySettings post;
    post.mmsRouting = MmsRouting::PostUrl;
    post.postUrl = "https://up";
    SaveTwoWaySettings(post, ini, kRoute);
    EXPECT_EQ("-- 2way: utf-8 post:https://up", Describe(LoadTwoWaySettings(ini, kRoute, {})));
}

TEST(TwoWaySettings, TheStoredCharsetIsSelectedOrDefault)
{
    std::vector<std::string> entries = {"(default)", "iso-8859-1", "UTF-8", "utf-7"};
    EXPECT_EQ(2u, CharsetSelection(entries, ""));
    EXPECT_EQ(1u, CharsetSelection(entries, "ISO-8859-1"));
    EXPECT_EQ(0u, CharsetSelection(entries, "utf")); // whole entries only
    EXPECT_EQ(0u, CharsetSelection({"(default)"}, ""));
    EXPECT_TRUE(IsListedCharset("", "1252"));
    EXPECT_TRUE(IsListedCharset("utf-8", ""));
    EXPECT_FALSE(IsListedCharset("", ""));
}

} // namespace
