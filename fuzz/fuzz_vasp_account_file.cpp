// Feeds arbitrary bytes to the VASP account store's parser, with the checksum put right
// first so that the checks behind it see the mutated bytes. Whatever the parser accepts
// must hold only valid, distinct names, serialise back to the same bytes, and stay a valid
// file through the account operations.
#include "gateway/mmcore/vasp_account_store.h"

#include <cstdlib>
#include <cstring>

namespace {

void Reseal(std::vector<uint8_t>& file)
{
    const size_t kChecksumOffset = vaspaccount::kHeaderSize - 4;
    uint32_t crc = userstore::Crc32(file.data(), kChecksumOffset);
    crc = userstore::Crc32(file.data() + vaspaccount::kHeaderSize, file.size() - vaspaccount::kHeaderSize, crc);
    for (size_t i = 0; i < 4; ++i)
        file[kChecksumOffset + i] = static_cast<uint8_t>(crc >> (8 * i));
}

void Check(bool property)
{
    if (!property)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> file(data, data + size);
    if (file.size() >= vaspaccount::kHeaderSize)
        Reseal(file);
    vaspaccount::AccountStore store;
    if (!vaspaccount::ParseAccountFile(file.data(), file.size(), store))
        return 0;

    Check(vaspaccount::SerializeAccountFile(store) == file);
    const std::vector<VASPUserRecord> records = store.Records();
    for (size_t i = 0; i < records.size(); ++i) {
        std::string name;
        Check(vaspaccount::AccountNameOfRecord(records[i], name) && vaspaccount::IsValidAccountName(name));
        Check(store.Find(name) == static_cast<int>(i));
    }

    // Taking the first account out and putting it back moves it to the end, byte for byte.
    if (!records.empty()) {
        const std::string first = records[0].userName;
        Check(store.Remove(first) && store.Find(first) < 0);
        Check(store.AddOrReplace(records[0]) && store.Find(first) == static_cast<int>(records.size()) - 1);
        Check(memcmp(&store.Records().back(), &records[0], sizeof records[0]) == 0);
        std::vector<uint8_t> again = vaspaccount::SerializeAccountFile(store);
        vaspaccount::AccountStore reparsed;
        Check(vaspaccount::ParseAccountFile(again.data(), again.size(), reparsed) &&
              reparsed.Records().size() == records.size());
    }
    return 0;
}
