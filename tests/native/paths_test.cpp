#include "base/paths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(PathNormalize, EverySpellingOfAFolderGivesOneText)
{
    const struct {
        const char* path;
        const char* normal;
    } cases[] = {
        {"C:\\Windows", "C:\\WINDOWS"},
        {"c:/windows/", "C:\\WINDOWS"},
        {"C:\\\\Windows\\\\\\System32\\", "C:\\WINDOWS\\SYSTEM32"},
        {"Z:\\x\\..\\x\\QelSMS\\", "Z:\\X\\QELSMS"},
        {"C:\\x\\.\\y\\.", "C:\\X\\Y"},
        {"C:\\Windows.", "C:\\WINDOWS"},
        {"C:\\Windows. .\\", "C:\\WINDOWS"},
        {"C:\\..\\..\\Windows", "C:\\WINDOWS"},
        {"C:\\x\\..\\..", "C:\\"},
        {"C:\\", "C:\\"},
        {"c:/", "C:\\"},
        {"\\\\server\\share\\", "\\\\SERVER\\SHARE"},
        {"//server//share/x/../..", "\\\\SERVER\\SHARE"},
        {"\\\\server\\share\\\\Data\\.", "\\\\SERVER\\SHARE\\DATA"},
        {"\\\\?\\C:\\Windows", "C:\\WINDOWS"},
        {"\\\\.\\c:\\", "C:\\"},
        {"\\\\?\\UNC\\server\\share\\x", "\\\\SERVER\\SHARE\\X"},
        // Not absolute: nothing to compare.
        {"", ""},
        {".", ""},
        {"..\\x", ""},
        {"x\\y", ""},
        {"\\Windows", ""},
        {"C:", ""},
        {"C:Windows", ""},
        {"\\\\server", ""},
        {"\\\\server\\", ""},
        {"%SystemDrive%\\", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.normal, NormalizeAbsolutePath(c.path)) << c.path;
}

TEST(PathSafeToDelete, RootsAndProtectedFoldersAndWhatHoldsThemAreRefused)
{
    const std::vector<std::string> protectedFolders = {
        "C:\\Windows", "C:\\Users\\admin\\", "Z:\\x\\QelSMS\\", "\\\\server\\share\\apps", ".", ""};
    const struct {
        const char* target;
        bool safe;
    } cases[] = {
        {"C:\\ProgramData\\QelSMS\\Private\\", true},
        {"Z:\\x\\QelSMS\\Private\\", true}, // inside a protected folder is allowed
        {"C:\\Windows\\Temp\\QelSMS", true},
        {"Z:\\x\\QelSMSx", true}, // a longer name is no parent
        {"C:\\Win", true},
        {"C:\\Users\\administrator", true},
        {"\\\\server\\share\\data", true},
        {"Z:\\x\\QelSMS\\", false},
        {"Z:\\x\\..\\x\\QelSMS\\", false},
        {"z:\\X\\\\qelsms", false},
        {"z:/x/QelSMS/", false},
        {"Z:\\x", false}, // holds the program folder
        {"C:\\WINDOWS\\.", false},
        {"C:\\Windows.", false},
        {"C:\\..\\Windows", false},
        {"\\\\?\\C:\\Windows\\", false},
        {"C:\\Users", false}, // holds a profile
        {"C:\\", false},
        {"C:\\x\\..", false},
        {"D:/", false},
        {"\\\\server\\share", false},
        {"\\\\other\\share\\", false},
        {"\\\\server\\share\\apps\\..", false},
        {".", false},
        {"Private", false},
        {"\\ProgramData\\QelSMS", false},
        {"C:ProgramData", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.safe, IsSafeToDeleteFolder(c.target, protectedFolders)) << c.target;
}

TEST(Paths, DeviceNamesInAnySpelling)
{
    for (const char* name : {"CON", "nul", "Aux.txt", "PRN ", "COM1", "com9.ERR", "LPT3", "CONIN$", "conout$.x",
                             "CLOCK$", "COM\xB9"})
        EXPECT_TRUE(IsDeviceName(name)) << name;
    for (const char* name : {"CONSOLE", "COM", "COM10", "COM1-.ERR", "NULL", "LPTX", "xCON", ""})
        EXPECT_FALSE(IsDeviceName(name)) << name;
}
