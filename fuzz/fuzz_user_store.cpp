// Feeds arbitrary bytes to the account file parser. Whatever it accepts must be a store
// that the record operations handle and that serialises back to the same bytes.
#include "gateway/gwcore/user_store.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    userstore::UserStore store;
    if (!userstore::ParseUserFile(data, size, store))
        return 0;
    std::vector<uint8_t> again = userstore::SerializeUserFile(store);
    if (again.size() != size || memcmp(again.data(), data, size) != 0)
        abort();
    UserRecord record;
    for (int i = 0; store.Get(i, record); ++i) {
        if (strlen(record.userName) >= sizeof record.userName || store.Find(record.userName) != i)
            abort();
        if (store.FindFirst(record.userName) > i)
            abort();
    }
    if (store.Count() > 0) {
        store.Get(0, record);
        store.Remove(record.userName);
        store.AddOrReplace(record);
    }
    return 0;
}
