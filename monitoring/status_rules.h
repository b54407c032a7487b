// What the Status page shows, worked out from what it reads: the traffic counters' sums,
// the service line, the modem line, the configured modems and the queue texts. Portable:
// no windows.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/ini_store.h"

// One counter file: a count per day of the year, January 1 first. A missing file, and the
// days a short file does not reach, count 0.
constexpr size_t kCounterDays = 366;
using CounterYear = std::array<uint32_t, kCounterDays>;
CounterYear ParseCounterFile(const uint8_t* bytes, size_t size);

// The counter file's name under the private data directory: "STATS\<name>-<year>.CTR".
std::string CounterFileName(const char* counterName, unsigned year);

// The counters' calendar, as the services write the files: every year divisible by 4 is a
// leap year. dayOfYear is 1 for January 1.
bool IsCounterLeapYear(unsigned year);
unsigned DayOfYear(unsigned year, unsigned month, unsigned day);

struct CounterSums {
    uint64_t today = 0;
    uint64_t last7 = 0;
    uint64_t last30 = 0;
};
// Today, the last 7 and the last 30 days up to today (month 1-12, day 1-31), taking the
// days before January 1 from last year's file.
CounterSums SumCounter(const CounterYear& thisYear, const CounterYear& lastYear, unsigned year, unsigned month,
                       unsigned day);

// The rows of traffic counters, top to bottom: the counter files each row adds up.
struct CounterRow {
    const char* counters[2]; // the second may be null
};
constexpr size_t kCounterRowCount = 8;
extern const CounterRow kCounterRows[kCounterRowCount];

// A count shows as a number, 0 as nothing; a queue of 0 shows "Empty".
std::string CounterText(uint64_t count);
std::string QueueSizeText(unsigned long count);
// A queue is shown in red above the threshold ("AlertEMailQueueSize"); 0 never.
bool QueueAlert(unsigned long count, unsigned long threshold);
// The threshold from [SMSGW], read as the profile functions read a number: 100 when the key
// is missing, otherwise the value's leading digits (an empty value is 0: no colouring).
unsigned long QueueAlertThreshold(const IniEntries& smsgwSection);

// The modems of [SMSGW] "Modem1", "Modem2" ...: every number up to 201 is looked at, and
// beyond it the keys while they are there. Empty entries are left out.
std::vector<std::string> ConfiguredModems(const IniEntries& smsgwSection);

// The modem line: "<modem> : <note>\r\n" for each modem whose error note is not empty, at
// most kModemLineMax characters.
constexpr size_t kModemLineMax = 1023;
void AppendModemError(std::string& line, const std::string& modem, const std::string& note);

// What one service's state gives for the service line.
struct ServiceState {
    bool installed = false;
    bool active = false;
    bool blockAvailable = false; // its status block could be read
    uint8_t byte2 = 0;           // a port of the first kind is taken
    uint8_t byte4 = 0;           // a port of the second kind is taken
};
struct StatusLine {
    std::string text;
    bool red = false;
};
StatusLine ServiceLine(const ServiceState& sms, const ServiceState& mmsc);

extern const char kServiceNotActiveForModems[]; // "Service is NOT active"
