// The layout both MMCORE stores share: a 32-byte header ("magic", format version 1, header
// size, record size, record count, generation, CRC-32 over the header's first 28 bytes and
// all records) and fixed-size records behind it, little-endian. Portable: no windows.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gateway/gwcore/user_store.h"

namespace mmcore {

constexpr size_t kRecordFileHeaderSize = 32;

struct RecordFileView {
    uint32_t count = 0;
    uint32_t generation = 0;
    uint32_t checksum = 0;
    const uint8_t* records = nullptr; // count records of the file's record size
};

// Checks the header, the size against the count, and the checksum.
bool ReadRecordFile(const uint8_t* data, size_t size, const char (&magic)[8], size_t recordSize, RecordFileView& view);
// A file of count zeroed records behind a filled header; SealRecordFile adds the checksum
// once the records are written, and gives it.
std::vector<uint8_t> NewRecordFile(const char (&magic)[8], size_t recordSize, size_t count, uint32_t generation);
uint32_t SealRecordFile(std::vector<uint8_t>& file);

// Reads the store's file: kMissing with data empty, kReadFailed, kCorrupt for a file larger
// than a reader takes, or kOk with the bytes (not yet checked).
userstore::LoadResult ReadStoreBytes(userstore::UserFileSystem& files, std::vector<uint8_t>& data);

} // namespace mmcore
