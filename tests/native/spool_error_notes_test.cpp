#include "spool/error_notes.h"
#include "spool/spool_time.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(ErrorNotes, NamesReplaceSeparators)
{
    EXPECT_EQ("COM3-.ERR", ModemErrorNoteName("COM3:"));
    EXPECT_EQ("a-b-c-d.ERR", ModemErrorNoteName("a:b/c\\d"));
    EXPECT_EQ("QelSMSModem - 10.0.0.2-8080.ERR", ModemErrorNoteName("QelSMSModem - 10.0.0.2:8080"));
    EXPECT_EQ("MMSCROUTE--qelsmslite.ERR", RouteErrorNoteName("qelsmslite"));
    EXPECT_EQ("MMSCROUTE--x-y.ERR", RouteErrorNoteName("x/y"));
    EXPECT_EQ(".ERR", ModemErrorNoteName(nullptr));
}

TEST(ErrorNotes, TextIsTheFirst250Bytes)
{
    char out[kErrorNoteSize + 8];
    memset(out, '#', sizeof out);
    std::string note(400, 'e');
    ErrorNoteText(note.data(), note.size(), out);
    EXPECT_EQ(250u, strlen(out));
    EXPECT_EQ('#', out[kErrorNoteSize]);

    ErrorNoteText("No SIM", 6, out);
    EXPECT_STREQ("No SIM", out);
    ErrorNoteText(nullptr, 10, out);
    EXPECT_STREQ("", out);
}

TEST(DisplayTime, FixedWidthFormOrdersAsText)
{
    char out[kDisplayTimeSize];
    SpoolTime t = ParseSpoolTime("20150313090502");
    FormatCalendarTime(t, out, sizeof out);
    EXPECT_STREQ("2015-03-13 09:05:02", out);

    char later[kDisplayTimeSize];
    FormatCalendarTime(ParseSpoolTime("20150313100000"), later, sizeof later);
    EXPECT_LT(strcmp(out, later), 0);

    char small[8];
    FormatCalendarTime(t, small, sizeof small);
    EXPECT_STREQ("2015-03", small);
}
