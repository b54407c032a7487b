// The Status page's rules.
#include "monitoring/status_rules.h"

#include <cstdio>
#include <map>

#include "base/ini_rules.h"
#include "base/text.h"

const CounterRow kCounterRows[kCounterRowCount] = {
    {{"SMSSUBMIT", nullptr}},         // SMS Submitted
    {{"SMSSENT", nullptr}},           // SMS Sent
    {{"SMSRECEIVED", nullptr}},       // SMS Received
    {{"SMSFAILED", nullptr}},         // SMS Failed
    {{"SMSRETRY", nullptr}},          // SMS Retried
    {{"MMSIN-VASP", "MMSIN-USER"}},   // MMS Processed
    {{"MMSOUT-VASP", "MMSOUT-MMSC"}}, // MMS Sent
    {{"MMSIN-MODEM", nullptr}},       // MMS Received
};

const char kServiceNotActiveForModems[] = "Service is NOT active";

namespace {

constexpr unsigned long kDefaultQueueAlertThreshold = 100;
constexpr unsigned kDaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
// Every Modem<N> up to this number is read, whether or not the ones before it are there.
constexpr unsigned kModemKeysAlwaysRead = 201;

// Adds up to count days of a year's file ending with entry last, going back.
uint64_t SumBack(const CounterYear& year, int last, int count)
{
    uint64_t sum = 0;
    for (int i = last; i >= 0 && count > 0; --i, --count)
        sum += year[static_cast<size_t>(i)];
    return sum;
}

} // namespace

CounterYear ParseCounterFile(const uint8_t* bytes, size_t size)
{
    CounterYear year = {};
    size_t entries = std::min(size / 4, kCounterDays);
    for (size_t i = 0; i < entries; ++i) {
        const uint8_t* p = bytes + i * 4;
        year[i] = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    return year;
}

std::string CounterFileName(const char* counterName, unsigned year)
{
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "-%u.CTR", year);
    return std::string("STATS\\") + counterName + suffix;
}

bool IsCounterLeapYear(unsigned year)
{
    return year % 4 == 0;
}

unsigned DayOfYear(unsigned year, unsigned month, unsigned day)
{
    if (month < 1 || month > 12)
        return day;
    return kDaysBeforeMonth[month - 1] + day + (IsCounterLeapYear(year) && month > 2 ? 1 : 0);
}

CounterSums SumCounter(const CounterYear& thisYear, const CounterYear& lastYear, unsigned year, unsigned month,
                       unsigned day)
{
    int d = static_cast<int>(std::min<unsigned>(DayOfYear(year, month, day), kCounterDays));
    CounterSums sums;
    if (d < 1)
        return sums;
    sums.today = thisYear[static_cast<size_t>(d - 1)];
    sums.last7 = SumBack(thisYear, d - 1, 7);
    sums.last30 = SumBack(thisYear, d - 1, 30);
    int lastDecember31 = IsCounterLeapYear(year - 1) ? 365 : 364;
    if (d < 7)
        sums.last7 += SumBack(lastYear, lastDecember31, 7 - d);
    if (d < 30)
        sums.last30 += SumBack(lastYear, lastDecember31, 30 - d);
    return sums;
}

std::string CounterText(uint64_t count)
{
    return count ? std::to_string(count) : std::string();
}

std::string QueueSizeText(unsigned long count)
{
    return count ? std::to_string(count) : std::string("Empty");
}

bool QueueAlert(unsigned long count, unsigned long threshold)
{
    return threshold != 0 && count > threshold;
}

unsigned long QueueAlertThreshold(const IniEntries& smsgwSection)
{
    for (const auto& [key, value] : smsgwSection) {
        if (EqualsNoCase(key, "AlertEMailQueueSize"))
            return IniNumber(value.c_str());
    }
    return kDefaultQueueAlertThreshold;
}

std::vector<std::string> ConfiguredModems(const IniEntries& smsgwSection)
{
    // The numbered keys, by number; a key is matched as the profile functions match it.
    std::map<unsigned, std::string> numbered;
    for (const auto& [key, value] : smsgwSection) {
        if (key.size() <= 5 || !StartsWithNoCase(key.c_str(), key.size(), "Modem"))
            continue;
        const std::string digits = key.substr(5);
        if (digits.find_first_not_of("0123456789") != std::string::npos || digits[0] == '0' || digits.size() > 9)
            continue;
        numbered.emplace(static_cast<unsigned>(std::stoul(digits)), value);
    }
    std::vector<std::string> modems;
    for (unsigned n = 1;; ++n) {
        auto found = numbered.find(n);
        if (found == numbered.end()) {
            if (n > kModemKeysAlwaysRead)
                break;
            continue;
        }
        if (!found->second.empty())
            modems.push_back(found->second);
        else if (n > kModemKeysAlwaysRead)
            break;
    }
    return modems;
}

void AppendModemError(std::string& line, const std::string& modem, const std::string& note)
{
    std::string entry = modem + " : " + note + "\r\n";
    if (line.size() < kModemLineMax)
        line += entry.substr(0, kModemLineMax - line.size());
}

namespace {

StatusLine OneServiceLine(const ServiceState& service, const char* byte2Error, const char* byte4Error)
{
    if (!service.installed)
        return {"Service is NOT Installed", true};
    if (!service.active)
        return {"Service is NOT Active", true};
    if (service.blockAvailable && service.byte2)
        return {byte2Error, true};
    if (service.blockAvailable && service.byte4)
        return {byte4Error, true};
    return {"Service is Active", false};
}

} // namespace

StatusLine ServiceLine(const ServiceState& sms, const ServiceState& mmsc)
{
    StatusLine line = OneServiceLine(sms, "ERROR:  Web Port already in use", "ERROR:  SMPP Server Port already in use");
    if (line.red)
        return line;
    return OneServiceLine(mmsc, "ERROR:  MM7 Port already in use", "ERROR:  SMPP Port already in use");
}
