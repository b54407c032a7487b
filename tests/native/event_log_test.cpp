#include <cstring>
#include <map>
#include <vector>

#include <gtest/gtest.h>

#include "monitoring/event_log_reader.h"
#include "monitoring/event_records.h"

namespace {

using Bytes = std::vector<unsigned char>;

void PutDword(Bytes& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

void PutWord(Bytes& bytes, size_t at, uint16_t value)
{
    bytes[at] = static_cast<unsigned char>(value);
    bytes[at + 1] = static_cast<unsigned char>(value >> 8);
}

// One record in the platform's layout: header, source, computer, the strings, padding to
// four bytes and the length again at the end, as the platform writes it.
Bytes Record(uint32_t number, const std::string& source, uint16_t type, std::vector<std::string> strings,
             uint32_t time = 1700000000)
{
    Bytes bytes(kEventRecordHeaderSize);
    for (const std::string& text : {source, std::string("HOST")})
        bytes.insert(bytes.end(), text.c_str(), text.c_str() + text.size() + 1);
    size_t stringOffset = bytes.size();
    for (const std::string& text : strings)
        bytes.insert(bytes.end(), text.c_str(), text.c_str() + text.size() + 1);
    while (bytes.size() % 4)
        bytes.push_back(0);
    bytes.resize(bytes.size() + 4);
    PutDword(bytes, 0, static_cast<uint32_t>(bytes.size()));
    PutDword(bytes, 4, kEventRecordSignature);
    PutDword(bytes, 8, number);
    PutDword(bytes, 12, time);
    PutDword(bytes, 16, time);
    PutWord(bytes, 24, type);
    PutWord(bytes, 26, static_cast<uint16_t>(strings.size()));
    PutDword(bytes, 36, static_cast<uint32_t>(stringOffset));
    PutDword(bytes, bytes.size() - 4, static_cast<uint32_t>(bytes.size()));
    return bytes;
}

Bytes Joined(const std::vector<Bytes>& records)
{
    Bytes all;
    for (const Bytes& record : records)
        all.insert(all.end(), record.begin(), record.end());
    return all;
}

std::vector<std::string> Walk(const Bytes& bytes)
{
    std::vector<std::string> seen;
    EventRecordWalker walker(bytes.data(), bytes.size());
    EventRecordView record;
    while (walker.Next(record))
        seen.push_back(std::to_string(record.recordNumber) + ":" + std::string(record.sourceName) + ":" +
                       std::string(record.firstString));
    return seen;
}

TEST(EventRecords, FirstStringOnlyWhenPresentAndInsideTheRecord)
{
    Bytes good = Record(7, "QelSMS", kEventError, {"Modem not responding", "second"});
    Bytes none = Record(8, "QelSMS", kEventError, {});
    Bytes pastEnd = Record(9, "QelSMS", kEventError, {"text"});
    PutDword(pastEnd, 36, static_cast<uint32_t>(pastEnd.size()));
    Bytes farAway = Record(10, "QelSMS", kEventError, {"text"});
    PutDword(farAway, 36, 0xFFFFFFF0u);
    Bytes inHeader = Record(11, "QelSMS", kEventError, {"text"});
    PutDword(inHeader, 36, 8);
    Bytes countOnly = Record(12, "QelSMS", kEventError, {"text"});
    PutWord(countOnly, 26, 0); // text where the offset points, but the record says it has none
    Bytes unterminated = Record(13, "QelSMS", kEventError, {"abc"});
    std::fill(unterminated.begin() + 56 + 12, unterminated.end(), 'x');
    Bytes nextRecord = Record(14, "QelSMS", kEventError, {"abc"});
    PutDword(nextRecord, 36, static_cast<uint32_t>(nextRecord.size() + 60)); // inside the buffer, not the record

    EXPECT_EQ(
        (std::vector<std::string>{"7:QelSMS:Modem not responding", "8:QelSMS:", "9:QelSMS:", "10:QelSMS:", "11:QelSMS:",
                                  "12:QelSMS:", "13:QelSMS:", "14:QelSMS:", "7:QelSMS:Modem not responding"}),
        Walk(Joined({good, none, pastEnd, farAway, inHeader, countOnly, unterminated, nextRecord, good})));
}

TEST(EventRecords, WalkStopsAtALengthThatCannotBeARecord)
{
    Bytes good = Record(1, "QelSMS", kEventInformation, {"a"});
    Bytes second = Record(2, "Other", kEventError, {"b"});
    auto withLength = [&](uint32_t length) {
        Bytes bytes = second;
        PutDword(bytes, 0, length);
        return Walk(Joined({good, bytes})).size();
    };
    EXPECT_EQ(2u, Walk(Joined({good, second})).size());
    EXPECT_EQ(1u, withLength(0)) << "a zero length would never advance";
    EXPECT_EQ(1u, withLength(55)) << "shorter than the header";
    EXPECT_EQ(1u, withLength(100000)) << "longer than the buffer";
    EXPECT_EQ(1u, Walk(Joined({good, Bytes(second.begin(), second.begin() + 40)})).size()) << "cut off";
    Bytes sourceRunsOn = Record(3, "QelSMS", kEventError, {});
    std::fill(sourceRunsOn.begin() + 56, sourceRunsOn.end(), 'Q');
    EXPECT_EQ((std::vector<std::string>{"3::"}), Walk(sourceRunsOn)) << "a source without terminator is no source";
}

TEST(EventRecords, SourceCheckAndLineFormat)
{
    EXPECT_TRUE(IsGatewayEventSource("QelSMS"));
    EXPECT_TRUE(IsGatewayEventSource("qelsms"));
    EXPECT_FALSE(IsGatewayEventSource("QelSMS2"));
    EXPECT_FALSE(IsGatewayEventSource("QelMMSC"));
    EXPECT_FALSE(IsGatewayEventSource(""));

    std::tm local{};
    local.tm_year = 2024 - 1900;
    local.tm_mon = 0;
    local.tm_mday = 5;
    local.tm_hour = 7;
    local.tm_min = 8;
    local.tm_sec = 9;
    EventRecordView record;
    record.firstString = "Modem not responding";
    struct Case {
        uint16_t type;
        const char* expected;
    };
    const Case cases[] = {
        {kEventError, "2024-01-05 07:08:09 - Error: Modem not responding"},
        {kEventWarning, "2024-01-05 07:08:09 - Warning: Modem not responding"},
        {kEventInformation, "2024-01-05 07:08:09 - Info: Modem not responding"},
        {kEventSuccess, "2024-01-05 07:08:09 - Info: Modem not responding"},
        {kEventAuditSuccess, "2024-01-05 07:08:09 - Info: Modem not responding"},
        {kEventAuditFailure, "2024-01-05 07:08:09 - Info: Modem not responding"},
        {0x0003, "2024-01-05 07:08:09 - Info: Modem not responding"},
    };
    for (const Case& c : cases) {
        record.eventType = c.type;
        EXPECT_EQ(c.expected, EventLine(record, &local)) << c.type;
    }
    record.eventType = kEventWarning;
    EXPECT_EQ("Warning: Modem not responding", EventLine(record, nullptr)) << "no time when it cannot be converted";
}

// A log in memory: records by number, numbers counting on from the last one, reads counted.
class MemoryLog : public EventLogSource {
public:
    void Add(const std::string& source, const std::string& text, uint16_t type = kEventError)
    {
        records[next] = Record(next, source, type, {text});
        ++next;
    }
    bool Open() override { return opens++, openable; }
    void Close() override {}
    bool OldestRecord(uint32_t& number) override
    {
        number = records.empty() ? 0 : records.begin()->first;
        return true;
    }
    bool RecordCount(uint32_t& count) override
    {
        count = static_cast<uint32_t>(records.size());
        return true;
    }
    size_t ReadForwards(bool seek, uint32_t from, unsigned char* buffer, size_t size) override
    {
        ++reads;
        auto at = seek ? records.find(from) : records.upper_bound(lastRead);
        size_t used = 0;
        for (; at != records.end() && used + at->second.size() <= size && used < blockLimit; ++at) {
            memcpy(buffer + used, at->second.data(), at->second.size());
            used += at->second.size();
            lastRead = at->first;
        }
        return used;
    }
    bool Clear() override
    {
        records.clear();
        next = 1;
        return true;
    }

    std::map<uint32_t, Bytes> records;
    uint32_t next = 1;
    uint32_t lastRead = 0;
    size_t blockLimit = SIZE_MAX; // bytes after which a read stops, to make many small blocks
    bool openable = true;
    int opens = 0;
    int reads = 0;
};

class ListRecorder : public EventListSink {
public:
    bool InsertAtTop(const std::string& line) override
    {
        if (lines.size() >= capacity)
            return false;
        lines.insert(lines.begin(), line);
        return true;
    }
    void ReportCannotOpen() override
    {
        ++cannotOpen;
        if (nested)
            nested->Refresh(*this); // the timer firing inside the message box
    }
    void ReportTooManyEvents() override
    {
        ++tooMany;
        if (nested)
            nested->Refresh(*this);
    }

    std::vector<std::string> lines;
    size_t capacity = SIZE_MAX;
    int cannotOpen = 0;
    int tooMany = 0;
    EventLogReader* nested = nullptr;
};

bool NoTime(uint32_t, std::tm&)
{
    return false;
}

TEST(EventLogReader, NewestFirstOnlyTheGatewaysAndOnlyWhatIsNew)
{
    MemoryLog log;
    log.Add("QelSMS", "one");
    log.Add("Other", "not ours");
    log.Add("qelsms", "two", kEventAuditFailure);
    EventLogReader reader(log, NoTime);
    ListRecorder list;
    reader.StartOpening();
    reader.Refresh(list);
    EXPECT_EQ((std::vector<std::string>{"Info: two", "Error: one"}), list.lines);
    EXPECT_EQ(4u, reader.ReadPosition());

    log.reads = 0;
    reader.Refresh(list);
    reader.Refresh(list);
    EXPECT_EQ(0, log.reads) << "an idle refresh reads nothing";

    log.Add("Other", "x");
    log.Add("QelSMS", "three", kEventWarning);
    reader.Refresh(list);
    EXPECT_EQ((std::vector<std::string>{"Warning: three", "Info: two", "Error: one"}), list.lines);

    log.Clear(); // the viewer's Clear: the list emptied, the position forgotten
    list.lines.clear();
    reader.ForgetPosition();
    log.Add("QelSMS", "after");
    reader.Refresh(list);
    EXPECT_EQ((std::vector<std::string>{"Error: after"}), list.lines);
}

TEST(EventLogReader, ManyBlocksAndAPositionTheLogNoLongerHas)
{
    MemoryLog log;
    for (int i = 0; i < 50; ++i)
        log.Add(i % 5 ? "Other" : "QelSMS", std::to_string(i));
    log.blockLimit = 300; // a few records per read
    EventLogReader reader(log, NoTime);
    ListRecorder list;
    reader.StartOpening();
    reader.Refresh(list);
    EXPECT_EQ(10u, list.lines.size());
    EXPECT_EQ("Error: 45", list.lines.front());
    EXPECT_EQ(51u, reader.ReadPosition());

    // The oldest records overwritten before the viewer read them: it goes on from the oldest left.
    for (int i = 0; i < 30; ++i)
        log.Add("QelSMS", "new" + std::to_string(i));
    for (uint32_t n = 1; n <= 60; ++n)
        log.records.erase(n);
    reader.Refresh(list);
    EXPECT_EQ("Error: new29", list.lines.front());
    EXPECT_EQ("Error: new10", list.lines[19]) << "records 51 to 60 were lost, 61 on are shown";
    EXPECT_EQ(30u, list.lines.size());

    // Cleared by another program: the numbers begin again below the position.
    log.Clear();
    log.Add("QelSMS", "restart");
    reader.Refresh(list);
    EXPECT_EQ("Error: restart", list.lines.front());
}

TEST(EventLogReader, EachReportOnceAndNoRefreshInsideAReport)
{
    MemoryLog log;
    log.openable = false;
    EventLogReader reader(log, NoTime);
    ListRecorder list;
    list.nested = &reader;
    reader.StartOpening();
    for (int tick = 0; tick < 5; ++tick)
        reader.Refresh(list);
    EXPECT_EQ(1, list.cannotOpen);
    EXPECT_EQ(5, log.opens) << "the nested refresh inside the box did not open the log again";
    reader.StartOpening();
    reader.Refresh(list);
    EXPECT_EQ(2, list.cannotOpen) << "shown again by the next opening";

    log.openable = true;
    for (int i = 0; i < 6; ++i)
        log.Add("QelSMS", std::to_string(i));
    list.capacity = 4;
    reader.StartOpening();
    reader.Refresh(list);
    reader.Refresh(list);
    EXPECT_EQ(1, list.tooMany);
    EXPECT_EQ((std::vector<std::string>{"Error: 3", "Error: 2", "Error: 1", "Error: 0"}), list.lines)
        << "the lines shown stay";
    EXPECT_EQ(5u, reader.ReadPosition()) << "the refused event is read again later";
    list.capacity = 10;
    reader.Refresh(list);
    EXPECT_EQ("Error: 5", list.lines.front());
}

} // namespace
