#include "monitoring/event_log_reader.h"

#include <memory>
#include <new>

#include "monitoring/event_records.h"

void EventLogReader::StartOpening()
{
    readPosition_ = 0;
    cannotOpenShown_ = false;
    tooManyShown_ = false;
}

void EventLogReader::Refresh(EventListSink& sink)
{
    if (refreshing_)
        return;
    refreshing_ = true;
    if (!source_.Open()) {
        // Shown once per opening: the timer goes on firing while the box is up.
        if (!cannotOpenShown_) {
            cannotOpenShown_ = true;
            sink.ReportCannotOpen();
        }
        refreshing_ = false;
        return;
    }
    if (PositionBehindLog()) {
        std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kEventReadBufferSize]);
        if (buffer) {
            size_t got = source_.ReadForwards(true, readPosition_, buffer.get(), kEventReadBufferSize);
            while (got > 0) {
                ShowBuffer(buffer.get(), got, sink);
                got = source_.ReadForwards(false, 0, buffer.get(), kEventReadBufferSize);
            }
        }
    }
    source_.Close();
    refreshing_ = false;
}

// True when the log holds records the viewer has not read. A position the log no longer
// covers (its records overwritten, or the log cleared by another program so that the
// numbers began again) moves to the oldest record, or the seek would fail on every refresh.
bool EventLogReader::PositionBehindLog()
{
    uint32_t oldest = 0;
    uint32_t count = 0;
    if (!source_.OldestRecord(oldest) || !source_.RecordCount(count))
        return false;
    uint64_t end = uint64_t(oldest) + count;
    if (readPosition_ == 0 || readPosition_ < oldest || readPosition_ > end)
        readPosition_ = oldest;
    return readPosition_ < end;
}

// Hands the gateway's events of one buffer to the list, oldest first; stops at the first
// line the list refuses, which is read again by the next refresh.
bool EventLogReader::ShowBuffer(const unsigned char* data, size_t size, EventListSink& sink)
{
    EventRecordWalker walker(data, size);
    EventRecordView record;
    while (walker.Next(record)) {
        if (IsGatewayEventSource(record.sourceName)) {
            std::tm local{};
            bool known = toLocal_(record.timeGenerated, local);
            if (!sink.InsertAtTop(EventLine(record, known ? &local : nullptr))) {
                if (!tooManyShown_) {
                    tooManyShown_ = true;
                    sink.ReportTooManyEvents();
                }
                return false;
            }
        }
        readPosition_ = record.recordNumber + 1;
    }
    return true;
}
