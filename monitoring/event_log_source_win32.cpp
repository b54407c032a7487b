// The viewer's records from the Application log of the local machine.
#include <windows.h>

#include "monitoring/event_log_source.h"

namespace {

class ApplicationLog : public EventLogSource {
public:
    bool Open() override
    {
        log_ = OpenEventLogA(nullptr, "Application");
        return log_ != nullptr;
    }

    void Close() override
    {
        if (log_)
            CloseEventLog(log_);
        log_ = nullptr;
    }

    bool OldestRecord(uint32_t& number) override
    {
        DWORD value = 0;
        if (!GetOldestEventLogRecord(log_, &value))
            return false;
        number = value;
        return true;
    }

    bool RecordCount(uint32_t& count) override
    {
        DWORD value = 0;
        if (!GetNumberOfEventLogRecords(log_, &value))
            return false;
        count = value;
        return true;
    }

    size_t ReadForwards(bool seek, uint32_t from, unsigned char* buffer, size_t size) override
    {
        DWORD flags = EVENTLOG_FORWARDS_READ | (seek ? EVENTLOG_SEEK_READ : EVENTLOG_SEQUENTIAL_READ);
        DWORD read = 0;
        DWORD needed = 0;
        if (!ReadEventLogA(log_, flags, seek ? from : 0, buffer, static_cast<DWORD>(size), &read, &needed))
            return 0;
        return read;
    }

    bool Clear() override { return ClearEventLogA(log_, nullptr) != FALSE; }

private:
    HANDLE log_ = nullptr;
};

} // namespace

EventLogSource& ApplicationEventLog()
{
    static ApplicationLog log;
    return log;
}
