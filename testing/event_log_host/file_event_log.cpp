#include "file_event_log.h"

#include <cstring>

namespace {

uint32_t Dword(const unsigned char* at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

} // namespace

// Reads the file again when its size or time differ from the last reading. The records are
// found by their lengths alone; what is in them is the viewer's business.
void FileEventLog::Load()
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path_.c_str(), GetFileExInfoStandard, &data)) {
        bytes_.clear();
        entries_.clear();
        loadedSize_ = ~0ull;
        return;
    }
    ULONGLONG size = (ULONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (size == loadedSize_ && CompareFileTime(&data.ftLastWriteTime, &loadedTime_) == 0)
        return;
    HANDLE file = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    bytes_.resize(static_cast<size_t>(size));
    DWORD got = 0;
    BOOL ok = size == 0 || ReadFile(file, bytes_.data(), static_cast<DWORD>(size), &got, nullptr);
    CloseHandle(file);
    bytes_.resize(ok ? got : 0);
    loadedSize_ = size;
    loadedTime_ = data.ftLastWriteTime;
    entries_.clear();
    for (size_t at = 0; bytes_.size() - at >= 12;) {
        size_t length = Dword(&bytes_[at]);
        if (length < 12 || length > bytes_.size() - at)
            break;
        entries_.push_back({at, length, Dword(&bytes_[at + 8])});
        at += length;
    }
}

bool FileEventLog::Open()
{
    ++opens;
    if (failOpen)
        return false;
    Load();
    return true;
}

bool FileEventLog::OldestRecord(uint32_t& number)
{
    Load();
    number = entries_.empty() ? 0 : entries_.front().number;
    return true;
}

bool FileEventLog::RecordCount(uint32_t& count)
{
    Load();
    count = static_cast<uint32_t>(entries_.size());
    return true;
}

size_t FileEventLog::ReadForwards(bool seek, uint32_t from, unsigned char* buffer, size_t size)
{
    ++reads;
    Load();
    if (seek) {
        next_ = entries_.size();
        for (size_t i = 0; i < entries_.size(); ++i)
            if (entries_[i].number == from) {
                next_ = i;
                break;
            }
    }
    size_t used = 0;
    for (; next_ < entries_.size() && used + entries_[next_].length <= size; ++next_) {
        memcpy(buffer + used, &bytes_[entries_[next_].offset], entries_[next_].length);
        used += entries_[next_].length;
        ++recordsRead;
    }
    return used;
}

bool FileEventLog::Clear()
{
    HANDLE file = CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    Load();
    return true;
}
