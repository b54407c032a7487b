#include "gateway/mmcore/record_file.h"

#include <cstring>

namespace mmcore {

namespace {

constexpr uint32_t kFormatVersion = 1;

void PutU32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t GetU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

uint32_t ChecksumOf(const uint8_t* file, size_t size)
{
    uint32_t crc = userstore::Crc32(file, kRecordFileHeaderSize - 4);
    return userstore::Crc32(file + kRecordFileHeaderSize, size - kRecordFileHeaderSize, crc);
}

} // namespace

bool ReadRecordFile(const uint8_t* data, size_t size, const char (&magic)[8], size_t recordSize, RecordFileView& view)
{
    if (!data || size < kRecordFileHeaderSize || memcmp(data, magic, sizeof magic) != 0)
        return false;
    if (GetU32(data + 8) != kFormatVersion || GetU32(data + 12) != kRecordFileHeaderSize ||
        GetU32(data + 16) != recordSize)
        return false;
    uint32_t count = GetU32(data + 20);
    // Division, not multiplication: a huge count must not wrap around.
    size_t body = size - kRecordFileHeaderSize;
    if (body % recordSize != 0 || body / recordSize != count)
        return false;
    if (ChecksumOf(data, size) != GetU32(data + 28))
        return false;
    view.count = count;
    view.generation = GetU32(data + 24);
    view.checksum = GetU32(data + 28);
    view.records = data + kRecordFileHeaderSize;
    return true;
}

std::vector<uint8_t> NewRecordFile(const char (&magic)[8], size_t recordSize, size_t count, uint32_t generation)
{
    std::vector<uint8_t> file(kRecordFileHeaderSize + count * recordSize, 0);
    uint8_t* p = file.data();
    memcpy(p, magic, sizeof magic);
    PutU32(p + 8, kFormatVersion);
    PutU32(p + 12, static_cast<uint32_t>(kRecordFileHeaderSize));
    PutU32(p + 16, static_cast<uint32_t>(recordSize));
    PutU32(p + 20, static_cast<uint32_t>(count));
    PutU32(p + 24, generation);
    return file;
}

uint32_t SealRecordFile(std::vector<uint8_t>& file)
{
    uint32_t checksum = ChecksumOf(file.data(), file.size());
    PutU32(file.data() + 28, checksum);
    return checksum;
}

userstore::LoadResult ReadStoreBytes(userstore::UserFileSystem& files, std::vector<uint8_t>& data)
{
    data.clear();
    switch (files.ReadFile(data)) {
    case userstore::UserFileSystem::ReadStatus::kMissing:
        data.clear();
        return userstore::LoadResult::kMissing;
    case userstore::UserFileSystem::ReadStatus::kFailed:
        return userstore::LoadResult::kReadFailed;
    case userstore::UserFileSystem::ReadStatus::kOk:
        break;
    }
    return data.size() > files.LargestFile() ? userstore::LoadResult::kCorrupt : userstore::LoadResult::kOk;
}

} // namespace mmcore
