// Where the Status page's figures come from: the services' state and status blocks, the
// outbound queues, the modems' error notes and the traffic counter files.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "monitoring/status_rules.h"

ServiceState SmsServiceState();
ServiceState MmscServiceState();

// "*.REQ" files in the outbound SMS queue and its sub-queues; "*.MMS" files with their
// ".INI" beside them in the outbound MMS queue and its sub-queues. Sub-queues are the
// folders found in the queue: counting never creates one.
unsigned long CountSmsQueue();
unsigned long CountMmsQueue();

// The modem line: each configured modem whose error note says something.
std::string ModemErrorLine();

// The traffic counters of one day. A file is read again only when its size or write time
// has changed since it was last read.
class CounterFiles {
public:
    CounterSums Sum(const char* counterName, const SYSTEMTIME& today);

private:
    struct Cached {
        ULONGLONG size = 0;
        FILETIME written = {};
        bool present = false;
        CounterYear counts = {};
    };
    const CounterYear& Year(const char* counterName, unsigned year);
    std::map<std::string, Cached> files_;
};
