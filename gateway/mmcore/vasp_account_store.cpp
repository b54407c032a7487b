// The VASP account store's format, its name rules and the commit sequence.
#include "gateway/mmcore/vasp_account_store.h"

#include <cstring>

namespace vaspaccount {

namespace {

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
    uint32_t crc = userstore::Crc32(file, kHeaderSize - 4);
    return userstore::Crc32(file + kHeaderSize, size - kHeaderSize, crc);
}

// Loads the store as it is now for a change.
CommitResult LoadForChange(userstore::UserFileSystem& files, AccountStore& store)
{
    switch (LoadAccountFile(files, store)) {
    case userstore::LoadResult::kReadFailed:
        return CommitResult::kReadFailed;
    case userstore::LoadResult::kCorrupt:
        return CommitResult::kCorrupt;
    case userstore::LoadResult::kOk:
    case userstore::LoadResult::kMissing:
        break;
    }
    return CommitResult::kOk;
}

CommitResult WriteStore(userstore::UserFileSystem& files, AccountStore& store, AccountStore& out)
{
    if (kHeaderSize + store.Records().size() * kRecordSize > files.LargestFile())
        return CommitResult::kTooLarge;
    ++store.stamp.generation;
    std::vector<uint8_t> content = SerializeAccountFile(store);
    if (!userstore::ReplaceFileContent(files, content))
        return CommitResult::kWriteFailed;
    store.stamp.checksum = GetU32(content.data() + 28);
    out = std::move(store);
    return CommitResult::kOk;
}

} // namespace

bool IsValidAccountName(const std::string& name)
{
    return !name.empty() && name.size() <= kLongestName && name.find('\0') == std::string::npos;
}

bool AccountNameOfRecord(const VASPUserRecord& record, std::string& name)
{
    const void* end = memchr(record.userName, '\0', sizeof record.userName);
    if (!end || end == record.userName)
        return false;
    name.assign(record.userName, static_cast<const char*>(end));
    return true;
}

int AccountStore::Find(const std::string& name) const
{
    for (size_t i = 0; i < records_.size(); ++i) {
        if (userstore::NamesEqual(records_[i].userName, name.c_str()))
            return static_cast<int>(i);
    }
    return -1;
}

bool AccountStore::AddOrReplace(const VASPUserRecord& record)
{
    std::string name;
    if (!AccountNameOfRecord(record, name))
        return false;
    int index = Find(name);
    if (index >= 0)
        records_[static_cast<size_t>(index)] = record;
    else
        records_.push_back(record);
    return true;
}

bool AccountStore::Remove(const std::string& name)
{
    int index = Find(name);
    if (index < 0)
        return false;
    records_.erase(records_.begin() + index);
    return true;
}

bool ParseAccountFile(const uint8_t* data, size_t size, AccountStore& out)
{
    if (!data || size < kHeaderSize || memcmp(data, kMagic, sizeof kMagic) != 0)
        return false;
    if (GetU32(data + 8) != kFormatVersion || GetU32(data + 12) != kHeaderSize || GetU32(data + 16) != kRecordSize)
        return false;
    uint32_t count = GetU32(data + 20);
    // Division, not multiplication: a huge count must not wrap around.
    if ((size - kHeaderSize) % kRecordSize != 0 || (size - kHeaderSize) / kRecordSize != count)
        return false;
    if (ChecksumOf(data, size) != GetU32(data + 28))
        return false;

    AccountStore parsed;
    parsed.records_.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        VASPUserRecord record;
        memcpy(&record, data + kHeaderSize + i * kRecordSize, kRecordSize);
        std::string name;
        if (!AccountNameOfRecord(record, name) || parsed.Find(name) >= 0)
            return false;
        parsed.records_.push_back(record);
    }
    parsed.stamp.generation = GetU32(data + 24);
    parsed.stamp.checksum = GetU32(data + 28);
    out = std::move(parsed);
    return true;
}

std::vector<uint8_t> SerializeAccountFile(const AccountStore& store)
{
    const std::vector<VASPUserRecord>& records = store.Records();
    std::vector<uint8_t> file(kHeaderSize + records.size() * kRecordSize, 0);
    uint8_t* p = file.data();
    memcpy(p, kMagic, sizeof kMagic);
    PutU32(p + 8, kFormatVersion);
    PutU32(p + 12, static_cast<uint32_t>(kHeaderSize));
    PutU32(p + 16, static_cast<uint32_t>(kRecordSize));
    PutU32(p + 20, static_cast<uint32_t>(records.size()));
    PutU32(p + 24, store.stamp.generation);
    if (!records.empty())
        memcpy(p + kHeaderSize, records.data(), records.size() * kRecordSize);
    PutU32(p + 28, ChecksumOf(p, file.size()));
    return file;
}

userstore::LoadResult LoadAccountFile(userstore::UserFileSystem& files, AccountStore& out)
{
    using userstore::LoadResult;
    std::vector<uint8_t> data;
    switch (files.ReadFile(data)) {
    case userstore::UserFileSystem::ReadStatus::kMissing:
        out = AccountStore();
        return LoadResult::kMissing;
    case userstore::UserFileSystem::ReadStatus::kFailed:
        return LoadResult::kReadFailed;
    case userstore::UserFileSystem::ReadStatus::kOk:
        break;
    }
    if (data.size() > files.LargestFile())
        return LoadResult::kCorrupt;
    return ParseAccountFile(data.data(), data.size(), out) ? LoadResult::kOk : LoadResult::kCorrupt;
}

CommitResult CommitAccountAdd(userstore::UserFileSystem& files, const VASPUserRecord& record, AccountStore& out)
{
    std::string name;
    if (!AccountNameOfRecord(record, name))
        return CommitResult::kRejected;
    AccountStore store;
    CommitResult loaded = LoadForChange(files, store);
    if (loaded != CommitResult::kOk)
        return loaded;
    store.AddOrReplace(record);
    return WriteStore(files, store, out);
}

CommitResult CommitAccountRemove(userstore::UserFileSystem& files, const std::string& name, AccountStore& out)
{
    if (!IsValidAccountName(name))
        return CommitResult::kRejected;
    AccountStore store;
    CommitResult loaded = LoadForChange(files, store);
    if (loaded != CommitResult::kOk)
        return loaded;
    if (!store.Remove(name)) {
        out = std::move(store);
        return CommitResult::kOk;
    }
    return WriteStore(files, store, out);
}

} // namespace vaspaccount
