// The outbound MMS control file read from its bytes: the plain files the gateway writes give
// their values; anything the profile functions might read otherwise is left to them.
#include "spool/mms_control_file.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kLong(600, 'x');

TEST(MmsControlFile, PlainFilesGiveTheirValuesAndOthersAreLeft)
{
    const struct {
        std::string text;
        bool plain;
        std::string sender;
        std::string retry;
        std::string recipients;
    } rows[] = {
        {"[Routing]\r\nSenderAddress=+441\r\nRetryCount=3\r\nLastErrorInfo=a=b\r\n[Recipients]\r\nTo1=+442/TYPE=PLMN\r\n"
         "To2=\r\n",
         true, "+441", "3", std::string("To1=+442/TYPE=PLMN\0To2=\0\0", 25)},
        // LF alone, no final line break, names in any case, other keys and sections ignored.
        {"[x]\nSenderAddress=no\n\n[routing]\nsenderaddress=+1\nOther=1\n[RECIPIENTS]\nA=1", true, "+1", "",
         std::string("A=1\0\0", 5)},
        {"", true, "", "", std::string(1, '\0')},
        {"[Routing]\r\nSenderAddress=" + kLong + "\r\n", true, kLong.substr(0, 499), "",
         std::string(1, '\0')},
        // A section that would not fit the buffer whole, and one that just does.
        {"[Recipients]\r\nTo=" + std::string(493, 'x') + "\r\n", false, "", "", ""},
        {"[Recipients]\r\nTo=" + std::string(492, 'x') + "\r\n", true, "", "",
         "To=" + std::string(492, 'x') + std::string(2, '\0')},
        // What the profile functions read their own way.
        {"\xEF\xBB\xBF[Routing]\r\nSenderAddress=+1\r\n", false, "", "", ""},
        {std::string("[\0R\0", 4), false, "", "", ""},
        {"[Routing]\r\nSenderAddress=\"+1\"\r\n", false, "", "", ""},
        {"[Routing]\r\nSenderAddress='+1'\r\n", false, "", "", ""},
        {"[Routing]\r\nSenderAddress =+1\r\n", false, "", "", ""},
        {"[Routing]\r\nSenderAddress= +1\r\n", false, "", "", ""},
        {"[Routing]\r\nSenderAddress=+1 \r\n", false, "", "", ""},
        {" [Routing]\r\nSenderAddress=+1\r\n", false, "", "", ""},
        {"[Routing ]\r\nSenderAddress=+1\r\n", false, "", "", ""},
        {"[Other]\r\n[Routing]x\r\nSenderAddress=+1\r\n", false, "", "", ""},
        {"[Rou]ting]\r\nSenderAddress=+1\r\n", false, "", "", ""},
        {"[Other]\r\n[]\r\nSenderAddress=+1\r\n", false, "", "", ""},
        {"[Routing]\r\nSenderAddress\r\n", false, "", "", ""},
        {"[Routing]\r\n=+1\r\n", false, "", "", ""},
        {"[Routing]\r\n;SenderAddress=+1\r\n", false, "", "", ""},
        {"SenderAddress=+1\r\n[Routing]\r\n", false, "", "", ""},
        {"[Routing]\r\nSenderAddress=+1\r\nsenderaddress=+2\r\n", false, "", "", ""},
        {"[Routing]\r\nZ=1\r\nz=2\r\n", false, "", "", ""},
        {"[Routing]\r\nSenderAddress=+1\r\n[ROUTING]\r\nRetryCount=1\r\n", false, "", "", ""},
        {"[Routing]\r\nSenderAddress=+1\rRetryCount=1\r\n", false, "", "", ""},
        {"[Routing]\r\nSenderAddress=+1\tx\r\n", false, "", "", ""},
        {"[Routing]\r\nSenderAddress=\xE9\r\n", false, "", "", ""},
        {std::string("[Routing]\r\nSenderAddress=+1\0\r\n", 30), false, "", "", ""},
        {"[Routing]\r\nSenderAddress=" + std::string(kPlainControlFileLimit, 'x'), false, "", "", ""},
    };
    for (const auto& row : rows) {
        MmsControlFields fields;
        fields.sender = "left";
        ASSERT_EQ(row.plain, ReadPlainMmsControlFile(row.text.data(), row.text.size(), fields)) << row.text;
        if (!row.plain)
            continue;
        EXPECT_EQ(row.sender, fields.sender) << row.text;
        EXPECT_EQ(row.retry, fields.retryCount) << row.text;
        EXPECT_EQ(row.recipients, fields.recipients) << row.text;
    }
}

TEST(MmsControlFile, KeysInTwoSectionsAreNoDuplicates)
{
    std::string text = "[Routing]\r\nTo1=x\r\nLastErrorInfo=Route error\r\n[Recipients]\r\nTo1=+1\r\n[Other]\r\nTo1=y\r\n";
    MmsControlFields fields;
    ASSERT_TRUE(ReadPlainMmsControlFile(text.data(), text.size(), fields));
    EXPECT_EQ("Route error", fields.lastError);
    EXPECT_EQ(std::string("To1=+1\0\0", 8), fields.recipients);
}

} // namespace
