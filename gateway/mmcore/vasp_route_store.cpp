// The outbound MMS route store's format, its name rules and the commit sequence.
#include "gateway/mmcore/vasp_route_store.h"

#include <cstring>

#include "gateway/mmcore/record_file.h"

namespace vasproute {

namespace {

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

bool RouteNameOfBlock(const void* block, std::string& name)
{
    const char* text = static_cast<const char*>(block);
    const void* end = memchr(text, '\0', kRecordSize);
    if (!end)
        return false;
    std::string candidate(text, static_cast<const char*>(end));
    if (!IsUsableRouteName(candidate))
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
    if (!IsUsableRouteName(name) || name.size() >= kRecordSize)
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
    mmcore::RecordFileView view;
    if (!mmcore::ReadRecordFile(data, size, kMagic, kRecordSize, view))
        return false;
    RouteStore parsed;
    for (uint32_t i = 0; i < view.count; ++i) {
        std::string name;
        const uint8_t* record = view.records + i * kRecordSize;
        if (!RouteNameOfBlock(record, name) || !ZeroAfterName(record, name.size()) || parsed.Find(name) >= 0)
            return false;
        parsed.names_.push_back(name);
    }
    parsed.stamp.generation = view.generation;
    parsed.stamp.checksum = view.checksum;
    out = std::move(parsed);
    return true;
}

std::vector<uint8_t> SerializeRouteFile(const RouteStore& store)
{
    const std::vector<std::string>& names = store.Names();
    std::vector<uint8_t> file = mmcore::NewRecordFile(kMagic, kRecordSize, names.size(), store.stamp.generation);
    for (size_t i = 0; i < names.size(); ++i)
        memcpy(file.data() + kHeaderSize + i * kRecordSize, names[i].data(), names[i].size());
    mmcore::SealRecordFile(file);
    return file;
}

userstore::LoadResult LoadRouteFile(userstore::UserFileSystem& files, RouteStore& out)
{
    std::vector<uint8_t> data;
    userstore::LoadResult result = mmcore::ReadStoreBytes(files, data);
    if (result == userstore::LoadResult::kMissing)
        out = RouteStore();
    if (result != userstore::LoadResult::kOk)
        return result;
    return ParseRouteFile(data.data(), data.size(), out) ? result : userstore::LoadResult::kCorrupt;
}

CommitResult CommitRouteChange(userstore::UserFileSystem& files, Change change, const std::string& name,
                               RouteStore& out)
{
    if (!IsUsableRouteName(name) || name.size() >= kRecordSize)
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
    store.stamp.checksum = mmcore::SealRecordFile(content);
    out = std::move(store);
    return CommitResult::kOk;
}

} // namespace vasproute
