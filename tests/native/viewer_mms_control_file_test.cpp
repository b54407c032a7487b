#include "spool/viewers/mms_control_file.h"

#include <gtest/gtest.h>

#include <string>

#include "spool/viewer_rows.h"
#include "base/text.h"
#include "spool/viewers/message_rows.h"

namespace {

MmsControlFields Parse(const std::string& file)
{
    MmsControlFields fields;
    ParseMmsControlFile(file.data(), file.size(), fields);
    return fields;
}

// The row texts the viewer makes of a control file.
std::string Row(const std::string& file)
{
    MmsControlFields f = Parse(file);
    return f.sender + " | " + MmsRecipientsText(f.recipients.data(), f.recipients.size()) + " | " +
           RetryStatusText(LeadingCount(f.retryCount.c_str()), f.lastError.c_str());
}

} // namespace

TEST(MmsControlFile, ReadAsThePrivateProfileFunctionsReadIt)
{
    const struct {
        std::string file;
        const char* row;
    } cases[] = {
        {"[Routing]\r\nSenderAddress=+100\r\n[Recipients]\r\nTo1=+111/TYPE=PLMN\r\nTo2=+222\r\n",
         "+100 | +111, +222 | Queued"},
        {"[routing]\nsenderaddress = +100 \nRETRYCOUNT=2\nLastErrorInfo=  No route  \n",
         "+100 |  | Retry -  2 attempt(s) - No route"},
        {"  [ Routing ]  \n\tSenderAddress=\"+100\"\n", "+100 |  | Queued"}, // quotes dropped
        {"[Routing]\nRetryCount=-1\nLastErrorInfo=x\n", " |  | Queued"},
        {"[Routing]\nRetryCount=3x\n", " |  | Retry -  3 attempt(s)"},
        // The first section and the first key of a name count; other sections are no part.
        {"[Routing]\nSenderAddress=a\nSenderAddress=b\n[Routing]\nSenderAddress=c\n[Other]\nSenderAddress=d\n",
         "a |  | Queued"},
        {"SenderAddress=outside\n[Routing]\n", " |  | Queued"},
        // A recipient line without "=" ends the list; blank lines are no lines.
        {"[Recipients]\n1=a\n\n  2 = b  \nnoequals\n3=c\n", " | a, b | Queued"},
        {"[Recipients]\n1=a\n2=b\n3=c\n4=d\n5=e\n6=f\n[Routing]\nSenderAddress=s\n", "s | 6 recipients | Queued"},
        {std::string("[Routing]\nSenderAddress=a\0b\n", 26), "a |  | Queued"}, // NUL ends the text
        {"\xEF\xBB\xBF[Routing]\nSenderAddress=bom\n", "bom |  | Queued"},
        {"", " |  | Queued"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.row, Row(c.file)) << c.file;
}

TEST(MmsControlFile, LongValuesAndSectionsAreCutAsTheirBuffers)
{
    MmsControlFields f = Parse("[Routing]\nSenderAddress=" + std::string(700, 's') + "\n");
    EXPECT_EQ(std::string(499, 's'), f.sender);

    std::string many = "[Recipients]\n";
    for (int i = 0; i < 60; ++i)
        many += "To" + std::to_string(i) + "=+4412345678\n";
    f = Parse(many);
    ASSERT_EQ(500u, f.recipients.size());
    EXPECT_EQ(std::string(2, '\0'), f.recipients.substr(498));
    // Only what the buffer held is counted: 29 whole lines and the cut one ("To29=+441234567").
    EXPECT_EQ("30 recipients", MmsRecipientsText(f.recipients.data(), f.recipients.size()));
}

TEST(ViewerRows, SortingBySortKeysGivesTheComparisonsOrder)
{
    auto lower = [](const std::string& text) {
        std::string key = text;
        for (char& c : key)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        return key;
    };
    std::vector<ViewerRow> rows;
    for (const char* text : {"b", "C", "a", "", "B2", "c"}) {
        ViewerRow row;
        row.texts = {std::string("K") + text, text};
        rows.push_back(row);
    }
    for (int state : {1, -1, 2, -2, 0, 9}) {
        std::vector<ViewerRow> byCompare = rows, byKeys = rows;
        SortRows(byCompare, state, CompareNoCase);
        SortRowsByKeys(byKeys, state, lower);
        for (size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(lower(byCompare[i].texts[1]), lower(byKeys[i].texts[1])) << state;
    }
}
