// The Status page's sums, lines and texts.
#include "monitoring/status_rules.h"

#include <gtest/gtest.h>

namespace {

// A year's file whose entry i holds i + 1 (so a sum names the days it took).
CounterYear Numbered(uint32_t offset = 0)
{
    CounterYear year = {};
    for (size_t i = 0; i < year.size(); ++i)
        year[i] = static_cast<uint32_t>(i + 1 + offset);
    return year;
}

struct SumCase {
    unsigned year, month, day;
    uint64_t today, last7, last30;
};

// This year's entries hold day numbers 1..366; last year's hold 1001..1366.
const SumCase kSumCases[] = {
    // January 3: today, January 2 and 1, plus December 31 to 28 of last year (2025: entry 364).
    {2026, 1, 3, 3, 3 + 2 + 1 + 1365 + 1364 + 1363 + 1362, 6 + (1365 + 1339) * 27 / 2},
    // January 1 after a leap year: December 31 is entry 365.
    {2025, 1, 1, 1, 1 + 1366 + 1365 + 1364 + 1363 + 1362 + 1361, 1 + (1366 + 1338) * 29 / 2},
    // March 1 of a leap year is day 61; of other years day 60.
    {2028, 3, 1, 61, 61 + 60 + 59 + 58 + 57 + 56 + 55, (61 + 32) * 30 / 2},
    {2027, 3, 1, 60, 60 + 59 + 58 + 57 + 56 + 55 + 54, (60 + 31) * 30 / 2},
    // December 31: the last entry of the year's file.
    {2024, 12, 31, 366, (366 + 360) * 7 / 2, (366 + 337) * 30 / 2},
    {2026, 12, 31, 365, (365 + 359) * 7 / 2, (365 + 336) * 30 / 2},
    // No day 0: nothing is summed.
    {2026, 1, 0, 0, 0, 0},
};

TEST(StatusRules, CounterSumsReachIntoLastYear)
{
    for (const SumCase& c : kSumCases) {
        CounterSums sums = SumCounter(Numbered(), Numbered(1000), c.year, c.month, c.day);
        EXPECT_EQ(sums.today, c.today) << c.year << "-" << c.month << "-" << c.day;
        EXPECT_EQ(sums.last7, c.last7) << c.year << "-" << c.month << "-" << c.day;
        EXPECT_EQ(sums.last30, c.last30) << c.year << "-" << c.month << "-" << c.day;
    }
}

TEST(StatusRules, MonthsStartOnTheirDayOfTheYear)
{
    const unsigned firstDays[12] = {1, 32, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335};
    for (unsigned month = 1; month <= 12; ++month) {
        EXPECT_EQ(DayOfYear(2027, month, 1), firstDays[month - 1]) << month;
        EXPECT_EQ(DayOfYear(2028, month, 1), firstDays[month - 1] + (month > 2 ? 1 : 0)) << month;
    }
}

TEST(StatusRules, CounterFileIsReadAsFarAsItGoes)
{
    std::vector<uint8_t> bytes(400, 0);
    bytes[396] = 7;                                         // entry 99: day 100
    bytes[0] = 1, bytes[1] = 2, bytes[2] = 3, bytes[3] = 4; // January 1, little-endian
    CounterYear year = ParseCounterFile(bytes.data(), bytes.size());
    EXPECT_EQ(year[0], 0x04030201u);
    EXPECT_EQ(year[99], 7u);
    EXPECT_EQ(year[100], 0u);
    std::vector<uint8_t> longer(1500, 1);
    year = ParseCounterFile(longer.data(), longer.size());
    EXPECT_EQ(year[365], 0x01010101u);                   // entry 365 is the last read; bytes after 1464 ignored
    EXPECT_EQ(ParseCounterFile(bytes.data(), 3)[0], 0u); // a part of an entry is none
    EXPECT_EQ(CounterFileName("MMSIN-VASP", 2026), "STATS\\MMSIN-VASP-2026.CTR");
}

TEST(StatusRules, QueueAndCounterTexts)
{
    EXPECT_EQ(QueueSizeText(0), "Empty");
    EXPECT_EQ(QueueSizeText(12), "12");
    EXPECT_EQ(CounterText(0), "");
    EXPECT_EQ(CounterText(5000000000ull), "5000000000");
    EXPECT_FALSE(QueueAlert(100, 100));
    EXPECT_TRUE(QueueAlert(101, 100));
    EXPECT_FALSE(QueueAlert(100000, 0));
    // The threshold as the profile functions read a number: a missing key 100, an empty value 0.
    const std::pair<IniEntries, unsigned long> thresholds[] = {
        {{}, 100},
        {{{"AlertEMailQueueSizes", "5"}}, 100},
        {{{"alertemailqueuesize", ""}}, 0},
        {{{"AlertEMailQueueSize", "25x"}, {"AlertEMailQueueSize", "7"}}, 25},
    };
    for (const auto& [section, threshold] : thresholds)
        EXPECT_EQ(QueueAlertThreshold(section), threshold) << (section.empty() ? "missing" : section[0].second);
}

TEST(StatusRules, ConfiguredModemsReadUpTo201ThenWhilePresent)
{
    // Modem201 empty is passed over as any below it; past it the first gap ends the list.
    IniEntries section = {{"Modem1", "COM1:"}, {"Modem3", "COM3:"}, {"modem200", "COM200:"}, {"Modem2", ""},
                          {"Modem201", ""},    {"Modem202", "B"},   {"Modem204", "D"},       {"Modem01", "X"},
                          {"ModemX", "Y"},     {"Modem", "Z"},      {"Modem1", "dup"}};
    EXPECT_EQ(ConfiguredModems(section), (std::vector<std::string>{"COM1:", "COM3:", "COM200:", "B"}));
    IniEntries many;
    for (int n = 1; n <= 250; ++n)
        many.emplace_back("Modem" + std::to_string(n), "M" + std::to_string(n));
    EXPECT_EQ(ConfiguredModems(many).size(), 250u);
}

TEST(StatusRules, ModemLineIsCut)
{
    std::string line;
    AppendModemError(line, "COM1:", "No SIM");
    EXPECT_EQ(line, "COM1: : No SIM\r\n");
    for (int i = 0; i < 10; ++i)
        AppendModemError(line, "Modem", std::string(200, 'x'));
    EXPECT_EQ(line.size(), kModemLineMax);
}

struct LineCase {
    ServiceState sms, mmsc;
    const char* text;
    bool red;
};

ServiceState State(bool installed, bool active, bool block = false, uint8_t b2 = 0, uint8_t b4 = 0)
{
    return ServiceState{installed, active, block, b2, b4};
}

const LineCase kLineCases[] = {
    {State(false, false), State(true, true), "Service is NOT Installed", true},
    {State(true, false), State(true, true), "Service is NOT Active", true},
    {State(true, true, true, 1, 1), State(false, false), "ERROR:  Web Port already in use", true},
    {State(true, true, true, 0, 1), State(true, true), "ERROR:  SMPP Server Port already in use", true},
    {State(true, true, false, 1, 1), State(true, true), "Service is Active", false},
    {State(true, true, true), State(false, false), "Service is NOT Installed", true},
    {State(true, true, true), State(true, false), "Service is NOT Active", true},
    {State(true, true, true), State(true, true, true, 1, 0), "ERROR:  MM7 Port already in use", true},
    {State(true, true, true), State(true, true, true, 0, 2), "ERROR:  SMPP Port already in use", true},
    {State(true, true, true), State(true, true, true), "Service is Active", false},
};

TEST(StatusRules, ServiceLineShowsTheFirstProblem)
{
    for (const LineCase& c : kLineCases) {
        StatusLine line = ServiceLine(c.sms, c.mmsc);
        EXPECT_EQ(line.text, c.text);
        EXPECT_EQ(line.red, c.red) << c.text;
    }
}

} // namespace
