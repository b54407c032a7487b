// The event log viewer's reading, apart from its window: each refresh reads only the records
// newer than the last one seen, in blocks of 128 KiB, and hands the gateway's events to the
// list, oldest first, each to go on top. Portable: no windows.h.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "monitoring/event_log_source.h"

constexpr size_t kEventReadBufferSize = 128 * 1024;

// What a refresh does with what it finds; the viewer's window in the program.
class EventListSink {
public:
    virtual ~EventListSink() = default;
    // Puts a line at the top of the list; false when the list refuses it.
    virtual bool InsertAtTop(const std::string& line) = 0;
    virtual void ReportCannotOpen() = 0;    // "Unable to open event log"
    virtual void ReportTooManyEvents() = 0; // "Too many events..."
};

// Converts an event's time to local broken-down time; false when it cannot.
using LocalTimeFunction = bool (*)(uint32_t seconds, std::tm& local);

class EventLogReader {
public:
    EventLogReader(EventLogSource& source, LocalTimeFunction toLocal) : source_(source), toLocal_(toLocal) {}

    // A new opening of the viewer: the read position is unknown again and each report may
    // be shown once more.
    void StartOpening();
    // Reads what is new since the last refresh. A refresh asked for while one is running
    // (from inside a report's message box) does nothing.
    void Refresh(EventListSink& sink);
    // After the log was cleared: the next refresh starts at its oldest record.
    void ForgetPosition() { readPosition_ = 0; }

    uint32_t ReadPosition() const { return readPosition_; }

private:
    bool PositionBehindLog();
    bool ShowBuffer(const unsigned char* data, size_t size, EventListSink& sink);

    EventLogSource& source_;
    LocalTimeFunction toLocal_;
    uint32_t readPosition_ = 0;
    bool refreshing_ = false;
    bool cannotOpenShown_ = false;
    bool tooManyShown_ = false;
};
