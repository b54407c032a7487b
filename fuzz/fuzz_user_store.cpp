// Feeds arbitrary bytes to the account file parser. The checksum is put right first, so
// that the checks behind it (sizes, count, strings, names) see the mutated bytes instead
// of nearly every input failing on the checksum. Whatever the parser accepts must be a
// store that agrees with its header, holds only valid names, serialises back to the same
// bytes, and stays a valid file through the record operations.
#include "gateway/gwcore/user_store.h"

#include <cstdlib>
#include <cstring>

namespace {

// The CRC-32 at offset 28 over bytes 0..27 followed by the records, as the format says.
void Reseal(std::vector<uint8_t>& file)
{
    const size_t kChecksumOffset = userstore::kHeaderSize - 4;
    uint32_t crc = userstore::Crc32(file.data(), kChecksumOffset);
    crc = userstore::Crc32(file.data() + userstore::kHeaderSize, file.size() - userstore::kHeaderSize, crc);
    for (size_t i = 0; i < 4; ++i)
        file[kChecksumOffset + i] = static_cast<uint8_t>(crc >> (8 * i));
}

void Check(bool property)
{
    if (!property)
        abort();
}

bool SameRecords(const userstore::UserStore& a, const userstore::UserStore& b)
{
    if (a.Count() != b.Count())
        return false;
    return a.Count() == 0 || memcmp(a.Records().data(), b.Records().data(), a.Count() * userstore::kRecordSize) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> file(data, data + size);
    if (file.size() >= userstore::kHeaderSize)
        Reseal(file);
    userstore::UserStore store;
    if (!userstore::ParseUserFile(file.data(), file.size(), store))
        return 0;

    userstore::FileStamp stamp;
    uint32_t count = 0;
    Check(userstore::ParseHeader(file.data(), file.size(), stamp, count));
    Check(static_cast<uint32_t>(store.Count()) == count && store.stamp == stamp);

    std::vector<uint8_t> again = userstore::SerializeUserFile(store);
    Check(again == file);
    userstore::UserStore reparsed;
    Check(userstore::ParseUserFile(again.data(), again.size(), reparsed) && SameRecords(reparsed, store));

    UserRecord record;
    for (int i = 0; store.Get(i, record); ++i) {
        Check(memchr(record.userName, '\0', sizeof record.userName) != nullptr && record.userName[0] != '\0');
        Check(store.Find(record.userName) == i && store.FindFirst(record.userName) <= i);
    }

    // Taking the first user out and putting it back moves it to the end and keeps a valid file.
    if (store.Count() > 0) {
        store.Get(0, record);
        Check(store.Remove(record.userName) && store.Find(record.userName) < 0);
        Check(store.AddOrReplace(record) && store.Find(record.userName) == store.Count() - 1);
        again = userstore::SerializeUserFile(store);
        Check(userstore::ParseUserFile(again.data(), again.size(), reparsed) && reparsed.Count() == store.Count());
    }
    return 0;
}
