// A store file and its temporary file in memory for the native tests of the stores that
// commit through userstore::UserFileSystem; writing the temporary file can be made to fail.
#pragma once

#include <optional>
#include <vector>

#include "gateway/gwcore/user_store.h"

class MemoryStoreFiles : public userstore::UserFileSystem {
public:
    std::optional<std::vector<uint8_t>> live;
    std::vector<uint8_t> temp;
    bool writeFails = false;
    int writes = 0;

    ReadStatus ReadFile(std::vector<uint8_t>& data) override
    {
        if (!live)
            return ReadStatus::kMissing;
        data = *live;
        return ReadStatus::kOk;
    }
    bool CreateTemp() override
    {
        ++writes;
        temp.clear();
        return true;
    }
    bool WriteTemp(const uint8_t* data, size_t size) override
    {
        temp.insert(temp.end(), data, data + size);
        return !writeFails;
    }
    bool FlushTemp() override { return true; }
    bool CloseTemp() override { return true; }
    bool ReplaceWithTemp() override
    {
        live = temp;
        return true;
    }
    void DiscardTemp() override { temp.clear(); }
};
