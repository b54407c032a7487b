// Where the event log viewer reads its records: the platform's Application log in the
// program, a file of records in the tests. Portable: no windows.h.
#pragma once

#include <cstddef>
#include <cstdint>

class EventLogSource {
public:
    virtual ~EventLogSource() = default;

    // Opens the log; every other call but Close needs it open.
    virtual bool Open() = 0;
    virtual void Close() = 0;
    // The number of the oldest record and the number of records; false when unknown.
    virtual bool OldestRecord(uint32_t& number) = 0;
    virtual bool RecordCount(uint32_t& count) = 0;
    // Fills buffer with as many whole records as fit, oldest first: starting at the record
    // numbered from when seek is set, else after the last record read. The byte count read;
    // 0 when there is nothing more or the read fails.
    virtual size_t ReadForwards(bool seek, uint32_t from, unsigned char* buffer, size_t size) = 0;
    // Removes every record, keeping no backup.
    virtual bool Clear() = 0;
};

// The Application log of the local machine (Win32 only).
EventLogSource& ApplicationEventLog();
