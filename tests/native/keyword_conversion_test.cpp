#include "twoway/keyword_conversion.h"

#include <gtest/gtest.h>

#include "memory_ini.h"

namespace {

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
    ini.Write("2Way-Keyword-JOIN", "RunSendResponse", "Yes"); // left from an earlier table

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
    converted.failFromWrite = 0; // any write would now fail the conversion
    EXPECT_TRUE(ConvertOldKeywordTable(converted));
    EXPECT_FALSE(converted.Has("2Way-Keywords", "Keyword1"));

    MemoryIni empty;
    empty.failFromWrite = 0;
    EXPECT_TRUE(ConvertOldKeywordTable(empty));
    EXPECT_FALSE(empty.Has("2Way-Keywords", "NewFormat"));
}

TEST(KeywordConversion, StopsAtTheFirstGapAndKeepsKeywordsWithoutCommand)
{
    MemoryIni ini;
    ini.Write("SMSGW", "ReceiveSMSCommand1", "PING"); // no tab: a keyword without a command
    ini.Write("SMSGW", "ReceiveSMSCommand2", "HELP\treplytext:hi");
    ini.Write("SMSGW", "ReceiveSMSCommand4", "LOST\treplytext:never");

    ConvertOldKeywordTable(ini);

    EXPECT_EQ("PING", ini.Get("2Way-Keywords", "Keyword1"));
    EXPECT_EQ("", ini.Get("2Way-Keyword-PING", "Run"));
    EXPECT_EQ("HELP", ini.Get("2Way-Keywords", "Keyword2"));
    EXPECT_FALSE(ini.Has("2Way-Keywords", "Keyword4"));
}

TEST(KeywordConversion, WritesEachSectionOnceKeepingItsOtherKeysAndReportsAFailedWrite)
{
    MemoryIni ini;
    ini.Write("SMSGW", "ReceiveSMSCommand1", "HELP\treplytext:one");
    ini.Write("SMSGW", "ReceiveSMSCommand2", "help\tReplyFile:two\tyes"); // the same section
    ini.Write("2way-keywords", "Other", "kept");
    ini.Write("2Way-Keyword-HELP", "Extra", "kept too");
    ini.Write("E-Mail", "Server", "mail");
    ini.writes = 0;

    ASSERT_TRUE(ConvertOldKeywordTable(ini));
    EXPECT_EQ(2, ini.writes); // the keyword's section, then the table
    EXPECT_EQ("kept", ini.Get("2Way-Keywords", "Other"));
    EXPECT_EQ("kept too", ini.Get("2Way-Keyword-HELP", "Extra"));
    EXPECT_EQ("one", ini.Get("2Way-Keyword-HELP", "ReplyText"));
    EXPECT_EQ("two", ini.Get("2Way-Keyword-HELP", "ReplyFile"));
    EXPECT_EQ("Yes", ini.Get("2Way-Keyword-HELP", "RunSendResponse"));
    EXPECT_EQ("mail", ini.Get("E-Mail", "Server"));

    // A write that fails is reported, and the table is never marked converted after it.
    for (int failing = 0; failing < 2; ++failing) {
        MemoryIni full;
        full.Write("SMSGW", "ReceiveSMSCommand1", "HELP\treplytext:one");
        full.writes = 0;
        full.failFromWrite = failing;
        EXPECT_FALSE(ConvertOldKeywordTable(full)) << failing;
        EXPECT_FALSE(full.Has("2Way-Keywords", "NewFormat")) << failing;
    }
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
