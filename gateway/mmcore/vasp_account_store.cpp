// The VASP account store's format, its name rules and the commit sequence.
#include "gateway/mmcore/vasp_account_store.h"

#include <cstring>

#include "gateway/mmcore/record_file.h"

namespace vaspaccount {

namespace {

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
    store.stamp.checksum = mmcore::SealRecordFile(content);
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
    mmcore::RecordFileView view;
    if (!mmcore::ReadRecordFile(data, size, kMagic, kRecordSize, view))
        return false;
    AccountStore parsed;
    parsed.records_.reserve(view.count);
    for (uint32_t i = 0; i < view.count; ++i) {
        VASPUserRecord record;
        memcpy(&record, view.records + i * kRecordSize, kRecordSize);
        std::string name;
        if (!AccountNameOfRecord(record, name) || parsed.Find(name) >= 0)
            return false;
        parsed.records_.push_back(record);
    }
    parsed.stamp.generation = view.generation;
    parsed.stamp.checksum = view.checksum;
    out = std::move(parsed);
    return true;
}

std::vector<uint8_t> SerializeAccountFile(const AccountStore& store)
{
    const std::vector<VASPUserRecord>& records = store.Records();
    std::vector<uint8_t> file = mmcore::NewRecordFile(kMagic, kRecordSize, records.size(), store.stamp.generation);
    if (!records.empty())
        memcpy(file.data() + kHeaderSize, records.data(), records.size() * kRecordSize);
    mmcore::SealRecordFile(file);
    return file;
}

userstore::LoadResult LoadAccountFile(userstore::UserFileSystem& files, AccountStore& out)
{
    std::vector<uint8_t> data;
    userstore::LoadResult result = mmcore::ReadStoreBytes(files, data);
    if (result == userstore::LoadResult::kMissing)
        out = AccountStore();
    if (result != userstore::LoadResult::kOk)
        return result;
    return ParseAccountFile(data.data(), data.size(), out) ? result : userstore::LoadResult::kCorrupt;
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
