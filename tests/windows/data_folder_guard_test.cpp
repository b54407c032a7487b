// The guard in front of deleting the private data directory, against the real folders of
// this Windows installation, and the support library passing over drive-root overrides.
#include "shell/data_folder_guard.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>

#include "gateway/gwcore/gwcore.h"
#include "tests/windows/test_support.h"

namespace {

std::string ShellFolder(int id)
{
    char folder[MAX_PATH] = "";
    EXPECT_TRUE(SUCCEEDED(SHGetFolderPathA(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, folder))) << id;
    return folder;
}

} // namespace

TEST(DataFolderGuard, RefusesSystemFoldersDriveRootsAndRelativePathsButNotAnOrdinaryFolder)
{
    char windows[MAX_PATH] = "";
    ASSERT_NE(0u, GetWindowsDirectoryA(windows, MAX_PATH));
    std::string profile = ShellFolder(CSIDL_PROFILE);
    ASSERT_FALSE(profile.empty());
    TempFolder ordinary("guard");

    EXPECT_FALSE(IsDeletableDataFolder(windows)) << windows;
    EXPECT_FALSE(IsDeletableDataFolder(profile.c_str())) << profile;
    EXPECT_FALSE(IsDeletableDataFolder((profile + "\\..").c_str())) << profile; // the profiles root
    EXPECT_FALSE(IsDeletableDataFolder(std::string(windows, 3).c_str())) << windows;
    EXPECT_FALSE(IsDeletableDataFolder("."));
    EXPECT_TRUE(IsDeletableDataFolder(ordinary.path().c_str())) << ordinary.path();
}

TEST(DataFolderGuard, DriveRootOverrideGivesTheDefaultPrivateDirectory)
{
    std::string expected = ShellFolder(CSIDL_COMMON_APPDATA) + "\\QelSMS\\Private\\";
    TempFolder data("guard_data");
    for (const char* root : {"C:\\", "%SystemDrive%\\", "c:/"}) {
        DirectoryOverrides overrides(data.path(), root, data / "program\\");
        char privateDirectory[MAX_PATH] = "";
        GetPrivateDataDirectory(privateDirectory);
        EXPECT_STREQ(expected.c_str(), privateDirectory) << root;
    }
}
