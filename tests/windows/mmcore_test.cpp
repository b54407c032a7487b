// MMCORE.DLL's outbound MMS routes through the DLL's exports, in a data directory of the
// test's own: the store the changes leave, names refused, and no temporary file left.
#include "gateway/mmcore/mmcore.h"
#include "gateway/mmcore/vasp_route_store.h"
#include "tests/windows/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

using Names = std::vector<std::string>;

BOOL AddRoute(const std::string& name)
{
    char block[VASP_OUT_BLOCK_SIZE] = {};
    memcpy(block, name.data(), std::min(name.size(), sizeof block));
    return VASPOutAddUser(block);
}

Names StoredRoutes(const TempFolder& data)
{
    std::string bytes = ReadWholeFile(data / "VASPOUT.DAT");
    vasproute::RouteStore store;
    EXPECT_TRUE(vasproute::ParseRouteFile(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), store));
    return store.Names();
}

} // namespace

TEST(MmcoreRoutes, ExportsKeepTheStoreInTheDataDirectory)
{
    TempFolder data("mmcore");
    DirectoryOverrides overrides(data.path(), data / "Private\\", data / "Program\\");
    enum Call { kAdd, kDelete };
    struct Step {
        Call call;
        std::string name;
        BOOL result;
        Names stored;
    } steps[] = {
        {kDelete, "Operator1", TRUE, {}},
        {kAdd, "Operator1", TRUE, {"Operator1"}},
        {kAdd, "mms.example", TRUE, {"Operator1", "mms.example"}},
        {kAdd, "OPERATOR1", TRUE, {"OPERATOR1", "mms.example"}},
        {kDelete, "operator1", TRUE, {"mms.example"}},
        {kDelete, "absent", TRUE, {"mms.example"}},
        {kAdd, "", FALSE, {"mms.example"}},
        {kAdd, "up\\down", FALSE, {"mms.example"}},
        {kAdd, "a/b", FALSE, {"mms.example"}},
        {kAdd, "C:route", FALSE, {"mms.example"}},
        {kAdd, "..", FALSE, {"mms.example"}},
        {kAdd, std::string(VASP_OUT_BLOCK_SIZE, 'x'), FALSE, {"mms.example"}},
        {kDelete, "..\\mms.example", FALSE, {"mms.example"}},
    };
    for (const Step& step : steps) {
        const std::string label = (step.call == kAdd ? "add " : "delete ") + step.name.substr(0, 20);
        BOOL result = step.call == kAdd ? AddRoute(step.name) : VASPOutDeleteUser(step.name.c_str());
        EXPECT_EQ(result, step.result) << label;
        if (!result) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME)) << label;
        }
        if (!step.stored.empty()) {
            EXPECT_EQ(StoredRoutes(data), step.stored) << label;
        }
    }
    EXPECT_EQ(GetFileAttributesA((data / "VASPOUT.TMP").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(VASPOutDeleteUser(nullptr));

    // A damaged store is never overwritten.
    WriteWholeFile(data / "VASPOUT.DAT", "QELVASPO damaged");
    EXPECT_FALSE(AddRoute("Operator2"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_CORRUPT));
    EXPECT_EQ(ReadWholeFile(data / "VASPOUT.DAT"), "QELVASPO damaged");
}
