#include "modem/test_message.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
    size_t Read(char* buffer, size_t size) override
    {
        size_t count = position_ < bytes_.size() ? std::min(size, bytes_.size() - position_) : 0;
        memcpy(buffer, bytes_.data() + position_, count);
        position_ += count;
        return count;
    }
    uint64_t Position() override { return position_; }
    void SetPosition(uint64_t position) override { position_ = static_cast<size_t>(position); }

private:
    std::string bytes_;
    size_t position_ = 0;
};

std::vector<std::string> AllLines(const std::string& bytes, size_t bufferSize)
{
    MemorySource source(bytes);
    std::vector<char> buffer(bufferSize, '#');
    std::vector<std::string> lines;
    while (ReadLine(source, buffer.data(), buffer.size()))
        lines.push_back(buffer.data());
    EXPECT_STREQ("", buffer.data()) << "the end of the file leaves an empty buffer";
    return lines;
}

} // namespace

TEST(TestMessage, PhoneNumbers)
{
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"4412345", true}, {"+4412345", true}, {"0", true},     {"+", false},     {"", false},
        {"12 34", false},  {"+44-123", false}, {"++44", false}, {"44+12", false}, {"4412a", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.valid, IsPhoneNumber(c.text)) << '"' << c.text << '"';
}

TEST(TestMessage, FileTexts)
{
    EXPECT_EQ("[SMS]\r\nPhoneNumber=+4412\r\nData=QelSMS Test Message\r\n", SmsRequestText("+4412"));
    EXPECT_EQ("[Routing]\r\nMessageID=TEST00AB\r\n[Recipients]\r\nRecip1=4412/TYPE=VASP:qelsmslite\r\n",
              MmsControlText(0xAB, "4412"));
    EXPECT_EQ("SMSOUT-20260307.LOG", SmsLogName(2026, 3, 7));
    EXPECT_EQ("MMSC-20261231.LOG", MmsLogName(2026, 12, 31));
}

TEST(TestMessage, LineReader)
{
    const struct {
        const char* bytes;
        size_t bufferSize;
        std::vector<std::string> lines;
    } cases[] = {
        {"a\r\nb\nc", 64, {"a", "b", "c"}},
        {"a\rb\r\n\r\nc\n", 64, {"a", "b", "", "c"}},
        {"a\r\r\nb\r\r\r\nc\r\rd", 64, {"a ", "b  ", "c ", "d"}}, // CR CR: a blank
        {"\032\032ab\n\032cd\n", 64, {"ab", "cd"}},               // leading Ctrl-Z dropped
        {"abc def ghij\n", 8, {"abc ", "def ", "ghij"}},          // a full read is cut after its last blank
        {"abcdefg\n", 5, {"abcd", "efg"}},                        // ... or kept whole without one
        {"ab\r\ncd", 4, {"ab", "cd"}},                            // CR ending a read, its LF next
        {"ab\rcd", 4, {"ab", "cd"}},
        {"", 64, {}},
        {"x", 1, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.lines, AllLines(c.bytes, c.bufferSize)) << '"' << c.bytes << "\" in " << c.bufferSize;

    // One read never takes more than 4095 bytes, whatever the buffer.
    std::vector<std::string> lines = AllLines(std::string(5000, 'x') + "\n", 8000);
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(4095u, lines[0].size());
    EXPECT_EQ(905u, lines[1].size());
}

TEST(TestMessage, OutcomeScans)
{
    const TestKind sms = TestKind::Sms, mms = TestKind::Mms;
    const struct {
        TestKind kind;
        const char* log;
        const char* status;
        const char* detail;
    } cases[] = {
        {sms, "t,TEST1A2B,+44,admin,OK,COM3:\r\n", kStatusSent, ""},
        {sms, "t,test1a2b,+44,admin,ok\r\n", kStatusSent, ""},
        {sms, "t,TEST1A2B-1,+44,admin,Ok sent\r\n", kStatusSent, ""},
        {sms, "t,TEST1A2B,+44,admin,ERROR: rejected,COM3:\r\n", kStatusError, "ERROR: rejected"},
        {sms, "t,TEST1A2B,+44,admin,ERROR: x\nt,TEST1A2B,+44,admin,OK\n", kStatusSent, ""},
        {sms, "t,TEST1A2B,+44,admin,OK\nt,TEST1A2B,+44,admin,ERROR: y\n", kStatusError, "ERROR: y"},
        {sms, "t,TEST1A2B,+44,admin,OK\nt,TEST1A2C,+44,admin,ERROR: y\n", kStatusSent, ""},
        {sms, "t,TEST1A2C,+44,admin,OK\nt,TEST1A2,+44,admin,OK\n", "", ""},
        {sms, "t,TEST1A2B,+44,admin\nt,TEST1A2B\n\n", "", ""},
        {mms, "t,VASPOut,admin,+44,qelsmslite,OK,TEST1A2B\r\n", kStatusSent, ""},
        {mms, "t,VASPOut,admin,+44,qelsmslite,ERROR: 500 x,test1a2b,more\r\n", kStatusError, "ERROR: 500 x,test1a2b"},
        {mms, "t,VASPOut,admin,+44,qelsmslite,OK\nt,TEST1A2B,a,b,OK,c\n", "", ""},
    };
    for (const auto& c : cases) {
        MemorySource log(c.log);
        TestOutcome outcome = ScanOutcomeLog(c.kind, log, 0x1A2B);
        EXPECT_EQ(c.status, outcome.status) << c.log;
        EXPECT_EQ(c.detail, outcome.detail) << c.log;
        EXPECT_EQ(*c.status != '\0', outcome.found) << c.log;
    }
}

TEST(TestMessage, IdAvoidsQueuedAndLoggedTests)
{
    std::vector<bool> seen;
    MemorySource smsLog("t,TEST1A2B,+44,admin,OK\nt,test00ff,x,y,OK\nt,TESTXYZ1,x,y,OK\nt,TEST12\n");
    CollectLoggedIds(TestKind::Sms, smsLog, seen);
    MemorySource mmsLog("t,VASPOut,a,b,r,OK,TESTFFFF\nt,TEST0001,a,b,r,OK\n");
    CollectLoggedIds(TestKind::Mms, mmsLog, seen);
    std::set<unsigned> logged;
    for (unsigned id = 0; id < seen.size(); ++id)
        if (seen[id])
            logged.insert(id);
    EXPECT_EQ((std::set<unsigned>{0x1A2B, 0xFF, 0xFFFF}), logged);

    std::set<unsigned> queued = {0x1A2C};
    auto taken = [&](unsigned id) { return seen[id] || queued.count(id) > 0; };
    EXPECT_EQ(0x1A2Du, ChooseTestId(0x51A2B, taken));
    EXPECT_EQ(0x0000u, ChooseTestId(0xFFFF, taken));
    EXPECT_EQ(0x1234u, ChooseTestId(0x1234, taken));
    EXPECT_EQ(0x0005u, ChooseTestId(5, [](unsigned) { return true; }));
}
