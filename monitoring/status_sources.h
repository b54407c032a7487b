// Where the Status page's figures come from: the services' state and status blocks, the
// outbound queues, the modems' error notes and the traffic counter files.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "monitoring/status_rules.h"
#include "services/service_control.h"

// Both services' states, with their status blocks' port flags while they run.
void ReadServiceStates(GatewayServiceMonitor& services, ServiceState& sms, ServiceState& mmsc);

// The private data directory, with its backslash.
std::string PrivateDirectory();

// "*.REQ" files in the outbound SMS queue and its sub-queues; "*.MMS" files with their
// ".INI" beside them in the outbound MMS queue and its sub-queues. Sub-queues are the
// folders found in the queue: counting never creates one.
unsigned long CountSmsQueue();
unsigned long CountMmsQueue();

// The modem line: each configured modem whose error note says something. The notes are
// read on every call; the modems of SMSGW.INI only when the file has changed.
class ModemErrors {
public:
    std::string Line(const std::string& privateDirectory);

private:
    struct Modem {
        std::string name;
        std::string note; // its note's file name in capitals
    };
    ULONGLONG iniSize_ = 0;
    FILETIME iniWritten_ = {};
    bool known_ = false;
    std::vector<Modem> modems_;
};

// The traffic counters of one day from the counter's files, read on every call (a file
// rewritten in place with its size and time kept shows at once).
CounterSums ReadCounterSums(const std::string& privateDirectory, const char* counterName, const SYSTEMTIME& today);
