// Feeds arbitrary bytes to the outbound MMS route store's parser, with the checksum put
// right first so that the checks behind it see the mutated bytes. Whatever the parser
// accepts must hold only plain, distinct names, serialise back to the same bytes, and
// stay a valid file through the route operations.
#include "gateway/mmcore/vasp_route_store.h"

#include <cstdlib>

namespace {

void Reseal(std::vector<uint8_t>& file)
{
    const size_t kChecksumOffset = vasproute::kHeaderSize - 4;
    uint32_t crc = userstore::Crc32(file.data(), kChecksumOffset);
    crc = userstore::Crc32(file.data() + vasproute::kHeaderSize, file.size() - vasproute::kHeaderSize, crc);
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
    if (file.size() >= vasproute::kHeaderSize)
        Reseal(file);
    vasproute::RouteStore store;
    if (!vasproute::ParseRouteFile(file.data(), file.size(), store))
        return 0;

    Check(vasproute::SerializeRouteFile(store) == file);
    const std::vector<std::string> names = store.Names();
    for (size_t i = 0; i < names.size(); ++i)
        Check(IsUsableRouteName(names[i]) && store.Find(names[i]) == static_cast<int>(i));

    // Taking the first route out and putting it back moves it to the end and keeps a valid file.
    if (!names.empty()) {
        Check(store.Remove(names[0]) && store.Find(names[0]) < 0);
        Check(store.AddOrReplace(names[0]) && store.Find(names[0]) == static_cast<int>(names.size()) - 1);
        std::vector<uint8_t> again = vasproute::SerializeRouteFile(store);
        vasproute::RouteStore reparsed;
        Check(vasproute::ParseRouteFile(again.data(), again.size(), reparsed) && reparsed.Names() == store.Names());
    }
    return 0;
}
