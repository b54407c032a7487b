// An event log kept in a file: raw EVENTLOGRECORD records one after the other, each numbered
// by its own header. The file is read again whenever it changed, so a test can append
// records while the viewer is open; clearing empties it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "monitoring/event_log_source.h"

class FileEventLog : public EventLogSource {
public:
    explicit FileEventLog(std::string path) : path_(std::move(path)) {}

    bool failOpen = false; // every Open fails, as when the log cannot be opened
    int opens = 0;         // counted for the benchmark
    int reads = 0;
    long recordsRead = 0;

    bool Open() override;
    void Close() override {}
    bool OldestRecord(uint32_t& number) override;
    bool RecordCount(uint32_t& count) override;
    size_t ReadForwards(bool seek, uint32_t from, unsigned char* buffer, size_t size) override;
    bool Clear() override;

private:
    struct Entry {
        size_t offset;
        size_t length;
        uint32_t number;
    };
    void Load();

    std::string path_;
    std::vector<unsigned char> bytes_;
    std::vector<Entry> entries_;
    ULONGLONG loadedSize_ = ~0ull;
    FILETIME loadedTime_ = {};
    size_t next_ = 0; // the entry a sequential read starts at
};
