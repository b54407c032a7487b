// Where the Status page's figures come from: the services' state and status blocks, the
// outbound queues, the modems' error notes and the traffic counter files.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "monitoring/status_rules.h"

// Both services' states, with their status blocks' port flags while they run.
void ReadServiceStates(ServiceState& sms, ServiceState& mmsc);

// The private data directory, with its backslash.
std::string PrivateDirectory();

// "*.REQ" files in the outbound SMS queue and its sub-queues; "*.MMS" files with their
// ".INI" beside them in the outbound MMS queue and its sub-queues. Sub-queues are the
// folders found in the queue: counting never creates one.
unsigned long CountSmsQueue();
unsigned long CountMmsQueue();

// The modem line: each configured modem whose error note says something. The modems of
// SMSGW.INI are read again only when the file has changed.
class ModemErrors {
public:
    std::string Line(const std::string& privateDirectory);

private:
    ULONGLONG iniSize_ = 0;
    FILETIME iniWritten_ = {};
    bool known_ = false;
    std::vector<std::string> modems_;
};

// The traffic counters of one day. A file is read again only when its size or write time
// has changed since it was last read.
class CounterFiles {
public:
    CounterSums Sum(const std::string& privateDirectory, const char* counterName, const SYSTEMTIME& today);

private:
    struct Cached {
        ULONGLONG size = 0;
        FILETIME written = {};
        bool present = false;
        CounterYear counts = {};
    };
    const CounterYear& Year(const std::string& privateDirectory, const char* counterName, unsigned year);
    std::map<std::string, Cached> files_;
};
