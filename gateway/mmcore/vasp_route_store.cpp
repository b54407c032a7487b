// The outbound MMS route store's format, its name rules and the commit sequence.
#include "gateway/mmcore/vasp_route_store.h"

#include <cstring>

namespace vasproute {

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

// A stored record holds nothing but its name: zero after the terminator.
bool ZeroAfterName(const uint8_t* record, size_t nameLength)
{
    for (size_t i = nameLength; i < kRecordSize; ++i) {
        if (record[i])
            return false;
    }
    return true;
}

} // namespace

bool IsPlainRouteName(const std::string& name)
{
    return !name.empty() && name.find_first_of("\\/:") == std::string::npos && name.find("..") == std::string::npos &&
           name.find('\0') == std::string::npos;
}

bool RouteNameOfBlock(const void* block, std::string& name)
{
    const char* text = static_cast<const char*>(block);
    const void* end = memchr(text, '\0', kRecordSize);
    if (!end)
        return false;
    std::string candidate(text, static_cast<const char*>(end));
    if (!IsPlainRouteName(candidate))
        return false;
    name = std::move(candidate);
    return true;
}

int RouteStore::Find(const std::string& name) const
{
    for (size_t i = 0; i < names_.size(); ++i) {
        if (userstore::NamesEqual(names_[i].c_str(), name.c_str()))
            return static_cast<int>(i);
    }
    return -1;
}

bool RouteStore::AddOrReplace(const std::string& name)
{
    if (!IsPlainRouteName(name) || name.size() >= kRecordSize)
        return false;
    int index = Find(name);
    if (index >= 0)
        names_[static_cast<size_t>(index)] = name;
    else
        names_.push_back(name);
    return true;
}

bool RouteStore::Remove(const std::string& name)
{
    int index = Find(name);
    if (index < 0)
        return false;
    names_.erase(names_.begin() + index);
    return true;
}

bool ParseRouteFile(const uint8_t* data, size_t size, RouteStore& out)
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

    RouteStore parsed;
    for (uint32_t i = 0; i < count; ++i) {
        std::string name;
        const uint8_t* record = data + kHeaderSize + i * kRecordSize;
        if (!RouteNameOfBlock(record, name) || !ZeroAfterName(record, name.size()) || parsed.Find(name) >= 0)
            return false;
        parsed.names_.push_back(name);
    }
    parsed.stamp.generation = GetU32(data + 24);
    parsed.stamp.checksum = GetU32(data + 28);
    out = std::move(parsed);
    return true;
}

std::vector<uint8_t> SerializeRouteFile(const RouteStore& store)
{
    const std::vector<std::string>& names = store.Names();
    std::vector<uint8_t> file(kHeaderSize + names.size() * kRecordSize, 0);
    uint8_t* p = file.data();
    memcpy(p, kMagic, sizeof kMagic);
    PutU32(p + 8, kFormatVersion);
    PutU32(p + 12, static_cast<uint32_t>(kHeaderSize));
    PutU32(p + 16, static_cast<uint32_t>(kRecordSize));
    PutU32(p + 20, static_cast<uint32_t>(names.size()));
    PutU32(p + 24, store.stamp.generation);
    for (size_t i = 0; i < names.size(); ++i)
        memcpy(p + kHeaderSize + i * kRecordSize, names[i].data(), names[i].size());
    PutU32(p + 28, ChecksumOf(p, file.size()));
    return file;
}

userstore::LoadResult LoadRouteFile(userstore::UserFileSystem& files, RouteStore& out)
{
    using userstore::LoadResult;
    std::vector<uint8_t> data;
    switch (files.ReadFile(data)) {
    case userstore::UserFileSystem::ReadStatus::kMissing:
        out = RouteStore();
        return LoadResult::kMissing;
    case userstore::UserFileSystem::ReadStatus::kFailed:
        return LoadResult::kReadFailed;
    case userstore::UserFileSystem::ReadStatus::kOk:
        break;
    }
    if (data.size() > files.LargestFile())
        return LoadResult::kCorrupt;
    return ParseRouteFile(data.data(), data.size(), out) ? LoadResult::kOk : LoadResult::kCorrupt;
}

CommitResult CommitRouteChange(userstore::UserFileSystem& files, Change change, const std::string& name,
                               RouteStore& out)
{
    if (!IsPlainRouteName(name) || name.size() >= kRecordSize)
        return CommitResult::kRejected;
    RouteStore store;
    switch (LoadRouteFile(files, store)) {
    case userstore::LoadResult::kReadFailed:
        return CommitResult::kReadFailed;
    case userstore::LoadResult::kCorrupt:
        return CommitResult::kCorrupt;
    case userstore::LoadResult::kOk:
    case userstore::LoadResult::kMissing:
        break;
    }
    if (change == Change::kRemove && !store.Remove(name)) {
        out = std::move(store);
        return CommitResult::kOk;
    }
    if (change == Change::kAddOrReplace)
        store.AddOrReplace(name);
    if (kHeaderSize + store.Names().size() * kRecordSize > files.LargestFile())
        return CommitResult::kTooLarge;
    ++store.stamp.generation;

    std::vector<uint8_t> content = SerializeRouteFile(store);
    if (!userstore::ReplaceFileContent(files, content))
        return CommitResult::kWriteFailed;
    store.stamp.checksum = GetU32(content.data() + 28);
    out = std::move(store);
    return CommitResult::kOk;
}

} // namespace vasproute
