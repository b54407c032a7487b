#include "spool/spool_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

SpoolRecord Parse(const std::string& file)
{
    SpoolRecord record;
    ParseSpoolRecord(file.data(), file.size(), record);
    return record;
}

SpoolTime Time(int y, int mo, int d, int h, int mi, int s)
{
    SpoolTime t;
    t.year = static_cast<uint16_t>(y);
    t.month = static_cast<uint16_t>(mo);
    t.day = static_cast<uint16_t>(d);
    t.hour = static_cast<uint16_t>(h);
    t.minute = static_cast<uint16_t>(mi);
    t.second = static_cast<uint16_t>(s);
    return t;
}

bool SameRecord(const SpoolRecord& a, const SpoolRecord& b)
{
    const char* const textsA[] = {a.recipient,        a.sender,     a.text,        a.udh,
                                  a.submittedBy,      a.submitUser, a.serviceType, a.billingInfo,
                                  a.validity,         a.route,      a.smppOptions, a.localUserRoute,
                                  a.receiptMessageId, a.modemName,  a.lastError};
    const char* const textsB[] = {b.recipient,        b.sender,     b.text,        b.udh,
                                  b.submittedBy,      b.submitUser, b.serviceType, b.billingInfo,
                                  b.validity,         b.route,      b.smppOptions, b.localUserRoute,
                                  b.receiptMessageId, b.modemName,  b.lastError};
    for (size_t i = 0; i < sizeof textsA / sizeof textsA[0]; ++i) {
        if (strcmp(textsA[i], textsB[i]) != 0)
            return false;
    }
    return a.pid == b.pid && a.dcs == b.dcs && a.binary == b.binary && a.receiptFlags == b.receiptFlags &&
           a.retryCount == b.retryCount && a.lastRetryTime == b.lastRetryTime &&
           a.firstAttemptTime == b.firstAttemptTime;
}

} // namespace

TEST(SpoolRecord, OutboundRequestWithEveryField)
{
    const std::string file = "[SMS]\r\n"
                             "PhoneNumber=+447700900123\r\n"
                             "Sender=Gateway \r\n"
                             "Data=Line one\\r\\nLine two\r\n"
                             "udh=050003CC0201\r\n"
                             "SubmittedBy=web 127.0.0.1\r\n"
                             "SubmitUser=admin\r\n"
                             "ServiceType=CMT\r\n"
                             "BillingInfo=b\r\n"
                             "Validity=1440\r\n"
                             "SMSCRoute=route1\r\n"
                             "SMPPOptions=opt\r\n"
                             "RouteToLocalUser=bob\r\n"
                             "pid=7F\r\n"
                             "dcs=F5\r\n"
                             "binary=Yes\r\n"
                             "ReceiptRequested=1\r\n"
                             "ReceiptMessageId=id-9\r\n"
                             "ModemName=COM3:\r\n"
                             "[ErrorDetail]\r\n"
                             "RetryCount=3\r\n"
                             "LastRetryTime=20150313124501\r\n"
                             "FirstAttemptTime=20150313120000\r\n"
                             "LastErrorInfo=Modem not responding\r\n";
    SpoolRecord r = Parse(file);
    EXPECT_STREQ("+447700900123", r.recipient);
    EXPECT_STREQ("Gateway ", r.sender); // trailing blanks are part of the value
    EXPECT_STREQ("Line one\r\nLine two", r.text);
    EXPECT_STREQ("050003CC0201", r.udh);
    EXPECT_STREQ("web 127.0.0.1", r.submittedBy);
    EXPECT_STREQ("admin", r.submitUser);
    EXPECT_STREQ("CMT", r.serviceType);
    EXPECT_STREQ("b", r.billingInfo);
    EXPECT_STREQ("1440", r.validity);
    EXPECT_STREQ("route1", r.route);
    EXPECT_STREQ("opt", r.smppOptions);
    EXPECT_STREQ("bob", r.localUserRoute);
    EXPECT_EQ(0x7F, r.pid);
    EXPECT_EQ(245, r.dcs);
    EXPECT_TRUE(r.binary);
    EXPECT_EQ(2u, r.receiptFlags);
    EXPECT_STREQ("id-9", r.receiptMessageId);
    EXPECT_STREQ("COM3:", r.modemName);
    EXPECT_EQ(3, r.retryCount);
    EXPECT_EQ(Time(2015, 3, 13, 12, 45, 1), r.lastRetryTime);
    EXPECT_EQ(Time(2015, 3, 13, 12, 0, 0), r.firstAttemptTime);
    EXPECT_STREQ("Modem not responding", r.lastError);
}

TEST(SpoolRecord, SectionsOrderAndBoundaries)
{
    // The error detail before the message section still counts.
    SpoolRecord r = Parse("[ErrorDetail]\nRetryCount=4\n[SMS]\nPhoneNumber=123\n");
    EXPECT_EQ(4, r.retryCount);
    EXPECT_STREQ("123", r.recipient);

    // Received messages, section names in any case, lines ended by CR alone.
    r = Parse("[sms-in]\rSender=555\rPhoneNumber=777\r");
    EXPECT_STREQ("555", r.sender);
    EXPECT_STREQ("777", r.recipient);

    // A section ends at any line beginning with "["; only the first message section counts.
    r = Parse("[SMS]\nPhoneNumber=1\n[Other]\nSender=2\n[SMS]\nPhoneNumber=3\nSender=4\n");
    EXPECT_STREQ("1", r.recipient);
    EXPECT_STREQ("", r.sender);

    // Keys outside a section, and error keys in the message section, are not read.
    r = Parse("PhoneNumber=1\n[SMS]\nRetryCount=9\nLastErrorInfo=x\n");
    EXPECT_STREQ("", r.recipient);
    EXPECT_EQ(0, r.retryCount);
    EXPECT_STREQ("", r.lastError);

    // No message section ("[SMSX]" does not begin with "[SMS]"): the message fields stay
    // empty, the error detail is still read.
    r = Parse("[SMSX]\nPhoneNumber=1\n[ErrorDetail]\nRetryCount=2");
    EXPECT_STREQ("", r.recipient);
    EXPECT_EQ(2, r.retryCount);
}

TEST(SpoolRecord, KeyMatching)
{
    struct Case {
        const char* line;
        const char* recipient;
    };
    const Case cases[] = {
        {" phonenumber=123", "123"},                              // leading blank and lower case
        {"\t\tPHONENUMBER=123", "123"}, {"PhoneNumber =123", ""}, // blank before "="
        {"PhoneNumber123", ""},         {"PhoneNumber=", ""},
        {"PhoneNumber= 12 ", " 12 "},   {"PhoneNumber=a=b", "a=b"},
    };
    for (const Case& c : cases) {
        SpoolRecord r = Parse(std::string("[SMS]\n") + c.line + "\n");
        EXPECT_STREQ(c.recipient, r.recipient) << c.line;
    }
    // Missing recipient stays empty; a key given twice keeps its last value.
    EXPECT_STREQ("", Parse("[SMS]\nSender=1\n").recipient);
    EXPECT_STREQ("2", Parse("[SMS]\nPhoneNumber=1\nPhoneNumber=2\n").recipient);
    EXPECT_FALSE(Parse("[SMS]\nbinary=Yes\nbinary=No\n").binary);
}

TEST(SpoolRecord, NumbersFlagsAndTimes)
{
    struct HexCase {
        const char* value;
        int dcs;
    };
    const HexCase hexCases[] = {{"F5", 245}, {"0x08", 0}, {"", 0}, {"108", 8}, {"zz", 0}, {"08", 8}};
    for (const HexCase& c : hexCases)
        EXPECT_EQ(c.dcs, Parse(std::string("[SMS]\ndcs=") + c.value + "\n").dcs) << c.value;
    EXPECT_EQ(0, Parse("[SMS]\npid=\n").pid);
    EXPECT_TRUE(Parse("[SMS]\nbinary=true\n").binary);

    struct FlagCase {
        const char* lines;
        uint32_t flags;
    };
    const FlagCase flagCases[] = {
        {"ReceiptDelivered=Yes\nReceiptFailed=1\n", 44},         {"ReceiptDelivered=No\n", 0},
        {"ReplyRequested=true\nNonDelReceiptRequested=Y\n", 65}, {"ReceiptIntransit=yes\n", 20},
        {"ReceiptDelivered=Yes\nReceiptDelivered=No\n", 12}, // bits only ever accumulate
    };
    for (const FlagCase& c : flagCases)
        EXPECT_EQ(c.flags, Parse(std::string("[SMS]\n") + c.lines).receiptFlags) << c.lines;

    struct RetryCase {
        const char* value;
        int32_t count;
    };
    const RetryCase retryCases[] = {
        {"7", 7},
        {"  -2", -2},
        {"+5x", 5},
        {"x5", 0},
        {"", 0},
        {"99999999999", INT32_MAX},
        {"-99999999999", INT32_MIN},
        {"2147483648", INT32_MAX},
        {"-2147483648", INT32_MIN},
    };
    for (const RetryCase& c : retryCases)
        EXPECT_EQ(c.count, ParseRetryCount(c.value)) << c.value;
    EXPECT_EQ(0, ParseRetryCount(nullptr));

    EXPECT_EQ(Time(2000, 1, 1, 0, 0, 0), ParseSpoolTime("20150313"));
    EXPECT_EQ(Time(2000, 1, 1, 0, 0, 0), ParseSpoolTime("2015031312450"));
    EXPECT_EQ(Time(2000, 1, 1, 0, 0, 0), ParseSpoolTime(nullptr));
    EXPECT_EQ(Time(9999, 99, 99, 99, 99, 99), ParseSpoolTime("99999999999999 and more"));
    EXPECT_EQ(Time(2000, 1, 1, 0, 0, 0), Parse("[ErrorDetail]\nLastRetryTime=20150313\n").lastRetryTime);
    EXPECT_EQ(Time(0, 0, 0, 0, 0, 0), Parse("[ErrorDetail]\n").lastRetryTime); // absent: zero
}

TEST(SpoolRecord, ValuesAreCutToTheirLimits)
{
    std::string longValue(20000, 'x');
    SpoolRecord r = Parse("[SMS]\nPhoneNumber=" + longValue + "\nData=" + longValue + "\nSubmitUser=" + longValue +
                          "\n[ErrorDetail]\nLastErrorInfo=" + longValue + "\n");
    EXPECT_EQ(149u, strlen(r.recipient));
    EXPECT_EQ(8191u, strlen(r.text));
    EXPECT_EQ(249u, strlen(r.submitUser));
    EXPECT_EQ(199u, strlen(r.lastError));

    // The cut is made before unescaping: 8191 characters of "\n" pairs give 4095 line feeds
    // and a lone backslash.
    std::string escaped;
    for (int i = 0; i < 5000; ++i)
        escaped += "\\n";
    r = Parse("[SMS]\nData=" + escaped + "\n");
    EXPECT_EQ(4096u, strlen(r.text));
    EXPECT_EQ('\\', r.text[4095]);
}

// Each line fills the parser's line buffer (256 bytes reserved) to its end: a value read
// past the end of its line leaves the buffer, which the sanitizer reports.
TEST(SpoolRecord, ValuesAreReadWithinTheirLine)
{
    auto filling = [](std::string line, char pad) {
        line.resize(256, pad);
        return line + "\n";
    };
    SpoolRecord r = Parse("[SMS]\n" + filling("binary=Yes", 's') + "[ErrorDetail]\n" +
                          filling("LastRetryTime=20150313124501", ' ') + filling("FirstAttemptTime=20150313", '0'));
    EXPECT_TRUE(r.binary);
    EXPECT_EQ(Time(2015, 3, 13, 12, 45, 1), r.lastRetryTime);
    EXPECT_EQ(Time(2015, 3, 13, 0, 0, 0), r.firstAttemptTime);
}

TEST(SpoolRecord, UntrustedBytesGiveABoundedRecord)
{
    // Only a header; no line ends at all; NUL bytes end the text.
    EXPECT_STREQ("", Parse("[SMS]").recipient);
    EXPECT_STREQ("1", Parse("[SMS]\nPhoneNumber=1").recipient);
    EXPECT_STREQ("", Parse("PhoneNumber=1[SMS]").recipient);
    EXPECT_STREQ("", Parse(std::string("[SMS]\nPhoneNumber=1\0002\nSender=3\n", 30)).sender);
    EXPECT_STREQ("1", Parse(std::string("[SMS]\nPhoneNumber=1\0002\n", 23)).recipient);
    EXPECT_STREQ("", Parse(std::string("\0[SMS]\nPhoneNumber=1\n", 21)).recipient);
    EXPECT_STREQ("", Parse("").recipient);

    // High bytes are text, not blanks to skip.
    EXPECT_STREQ("", Parse("[SMS]\n\xA0PhoneNumber=1\n").recipient);

    // Megabytes on one line, then more fields.
    std::string huge = "[SMS]\nData=" + std::string(4 << 20, 'A') + "\nPhoneNumber=5\n";
    SpoolRecord r = Parse(huge);
    EXPECT_EQ(8191u, strlen(r.text));
    EXPECT_STREQ("5", r.recipient);
}

TEST(SpoolRecord, FedInAnyPiecesGivesTheSameRecord)
{
    const std::string file = "  \r\n[ErrorDetail]\r\nRetryCount= 12\r\n\r\n[SMS-IN]\r\n\tPhoneNumber=+1\r\n"
                             "Data=a\\r\\nb\r\nReceiptFailed=1\r\ndcs=08\n\n\rbinary=1";
    SpoolRecord whole = Parse(file);
    EXPECT_EQ(12, whole.retryCount);
    EXPECT_STREQ("a\r\nb", whole.text);
    for (size_t piece : {1u, 2u, 3u, 7u, 64u}) {
        SpoolRecord pieces;
        SpoolRecordParser parser(pieces);
        for (size_t at = 0; at < file.size(); at += piece)
            parser.Feed(file.data() + at, std::min(piece, file.size() - at));
        parser.Finish();
        EXPECT_TRUE(SameRecord(whole, pieces)) << piece;
    }
}

TEST(SpoolRecord, TheParserIsDoneOnlyWhenNoByteCanChangeTheRecord)
{
    using namespace std::string_literals;
    struct Case {
        std::string text;
        bool done;
    } const cases[] = {
        {"[SMS]\nPhoneNumber=1\n", false},
        {"[SMS]\nPhoneNumber=1\n[ErrorDetail]\nRetryCount=2\n", false},
        {"[SMS]\nPhoneNumber=1\n[ErrorDetail]\nRetryCount=2\n[Other]\n", true},
        {"[ErrorDetail]\n[Other]\n[SMS]\n", false}, // the message section is still open
        {"[SMS]\nPhoneNumber=1\n[Other]\n", false}, // [ErrorDetail] may follow
        {"[SMS]\nPhoneNumber=1\0[ErrorDetail]"s, true},
    };
    for (const Case& c : cases) {
        SpoolRecord record;
        SpoolRecordParser parser(record);
        parser.Feed(c.text.data(), c.text.size());
        EXPECT_EQ(c.done, parser.Done()) << c.text;
    }
}
