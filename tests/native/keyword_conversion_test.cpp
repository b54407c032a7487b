#include "shell/keyword_conversion.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// An INI file in memory, cutting values to the reader's buffer as the platform does.
class MemoryIni : public IniStore {
public:
    std::map<std::pair<std::string, std::string>, std::string> values;
    int writes = 0;

    std::string Read(const std::string& section, const std::string& key, size_t maxChars) override
    {
        auto it = values.find({section, key});
        if (it == values.end())
            return {};
        return it->second.substr(0, maxChars - 1);
    }
    void Write(const std::string& section, const std::string& key, const std::string& value) override
    {
        values[{section, key}] = value;
        ++writes;
    }
    void Delete(const std::string& section, const std::string& key) override
    {
        values.erase({section, key});
        ++writes;
    }
    bool Has(const std::string& section, const std::string& key) const { return values.count({section, key}) != 0; }
    std::string Get(const std::string& section, const std::string& key) const
    {
        auto it = values.find({section, key});
        return it == values.end() ? "<missing>" : it->second;
    }
};

TEST(KeywordConversion, ConvertsTheOldTableOnce)
{
    MemoryIni ini;
    ini.Write("SMSGW", "ReceiveSMSCommand1", "HELP\treplytext:Call us\tYes\t12345");
    ini.Write("SMSGW", "ReceiveSMSCommand2", "INFO\tREPLYFILE:c:\\info.txt");
    ini.Write("SMSGW", "ReceiveSMSCommand3", "JOIN\tDListAdd:club\tno");
    ini.Write("SMSGW", "ReceiveSMSCommand4", "STOP\tdlistremove:club\t1");
    ini.Write("SMSGW", "ReceiveSMSCommand5", "MAIL\tMailTo:me@example.com");
    ini.Write("SMSGW", "ReceiveSMSCommand6", "RUN\tc:\\scripts\\x.cmd $1\tTRUE\t111,222");
    ini.Write("2Way-Keywords", "2Way-Keyword-JOIN", "stale");
    ini.Write("2Way-Keyword-JOIN", "RunSendResponse", "Yes");   // left from an earlier table

    ConvertOldKeywordTable(ini);

    EXPECT_EQ("HELP##12345", ini.Get("2Way-Keywords", "Keyword1"));
    EXPECT_EQ("Call us", ini.Get("2Way-Keyword-HELP##12345", "ReplyText"));
    EXPECT_EQ("Yes", ini.Get("2Way-Keyword-HELP##12345", "RunSendResponse"));

    EXPECT_EQ("INFO", ini.Get("2Way-Keywords", "Keyword2"));
    EXPECT_EQ("c:\\info.txt", ini.Get("2Way-Keyword-INFO", "ReplyFile"));
    EXPECT_FALSE(ini.Has("2Way-Keyword-INFO", "RunSendResponse"));

    EXPECT_EQ("club", ini.Get("2Way-Keyword-JOIN", "DListAdd"));
    EXPECT_FALSE(ini.Has("2Way-Keyword-JOIN", "RunSendResponse"));
    EXPECT_EQ("club", ini.Get("2Way-Keyword-STOP", "DListRemove"));
    EXPECT_EQ("Yes", ini.Get("2Way-Keyword-STOP", "RunSendResponse"));
    EXPECT_EQ("me@example.com", ini.Get("2Way-Keyword-MAIL", "MailTo"));

    EXPECT_EQ("RUN##111,222", ini.Get("2Way-Keywords", "Keyword6"));
    EXPECT_EQ("c:\\scripts\\x.cmd $1", ini.Get("2Way-Keyword-RUN##111,222", "Run"));
    EXPECT_EQ("Yes", ini.Get("2Way-Keyword-RUN##111,222", "RunSendResponse"));

    EXPECT_EQ("Yes", ini.Get("2Way-Keywords", "NewFormat"));
    EXPECT_FALSE(ini.Has("2Way-Keywords", "Keyword7"));
    // The old lines stay.
    EXPECT_EQ("HELP\treplytext:Call us\tYes\t12345", ini.Get("SMSGW", "ReceiveSMSCommand1"));
}

TEST(KeywordConversion, NewFormatOrNoOldTableLeavesEverythingUntouched)
{
    MemoryIni converted;
    converted.Write("SMSGW", "ReceiveSMSCommand1", "HELP\treplytext:x");
    converted.Write("2Way-Keywords", "NewFormat", "yes");
    int before = converted.writes;
    ConvertOldKeywordTable(converted);
    EXPECT_EQ(before, converted.writes);

    MemoryIni empty;
    ConvertOldKeywordTable(empty);
    EXPECT_EQ(0, empty.writes);
    EXPECT_FALSE(empty.Has("2Way-Keywords", "NewFormat"));
}

TEST(KeywordConversion, StopsAtTheFirstGapAndKeepsKeywordsWithoutCommand)
{
    MemoryIni ini;
    ini.Write("SMSGW", "ReceiveSMSCommand1", "PING");   // no tab: a keyword without a command
    ini.Write("SMSGW", "ReceiveSMSCommand2", "HELP\treplytext:hi");
    ini.Write("SMSGW", "ReceiveSMSCommand4", "LOST\treplytext:never");

    ConvertOldKeywordTable(ini);

    EXPECT_EQ("PING", ini.Get("2Way-Keywords", "Keyword1"));
    EXPECT_EQ("", ini.Get("2Way-Keyword-PING", "Run"));
    EXPECT_EQ("HELP", ini.Get("2Way-Keywords", "Keyword2"));
    EXPECT_FALSE(ini.Has("2Way-Keywords", "Keyword4"));
}

TEST(KeywordConversion, LongLinesAreCutToTheReadBuffer)
{
    MemoryIni ini;
    std::string command = "replytext:" + std::string(5000, 'x');
    ini.Write("SMSGW", "ReceiveSMSCommand1", "LONG\t" + command);
    ConvertOldKeywordTable(ini);
    EXPECT_EQ(4095u - 5u - 10u, ini.Get("2Way-Keyword-LONG", "ReplyText").size());
}

} // namespace
