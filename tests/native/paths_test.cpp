#include "base/names.h"
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
        {"C:\\A\\. \\B", "C:\\A\\B"}, // ". " is "." to Windows
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
        {"1:\\x", ""},
        {"\\\\server\\...\\x", ""}, // the share "..." is no name
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

// Each row breaks one rule (or none), in the spellings outside data has brought.
TEST(OutsideNames, EachNameBreaksTheRuleItShould)
{
    struct Row {
        const char* name;
        NameFault path;
        NameFault iniText;
    };
    const NameFault ok = NameFault::None;
    const Row rows[] = {
        {"qelsmslite", ok, ok},
        {"10.0.0.200", ok, ok},
        {"\xC9mile v1.2 ;[=]", ok, ok},
        {"", NameFault::Empty, NameFault::Empty},
        {".", NameFault::DotName, ok},
        {"..", NameFault::DotName, ok},
        {"...", NameFault::TrailingDot, ok},
        {"x.", NameFault::TrailingDot, ok},
        {"A.", NameFault::TrailingDot, ok},
        {"x ", NameFault::TrailingBlank, NameFault::TrailingBlank},
        {"x. ", NameFault::TrailingBlank, NameFault::TrailingBlank},
        {"   ", NameFault::LeadingBlank, NameFault::LeadingBlank},
        {" TWO2", NameFault::LeadingBlank, NameFault::LeadingBlank},
        {"CON", NameFault::DeviceName, ok},
        {"nul", NameFault::DeviceName, ok},
        {"com1", NameFault::DeviceName, ok},
        {"lpt9", NameFault::DeviceName, ok},
        {"aux.txt", NameFault::DeviceName, ok},
        {"CONIN$", NameFault::DeviceName, ok},
        {"COM5.HDR", NameFault::DeviceName, ok},
        {"[fe80::1]", NameFault::ReservedCharacter, ok},
        {"a\\b", NameFault::ReservedCharacter, ok},
        {"a/b", NameFault::ReservedCharacter, ok},
        {"a*b", NameFault::ReservedCharacter, ok},
        {"a?b", NameFault::ReservedCharacter, ok},
        {"\"q\"", NameFault::ReservedCharacter, ok},
        {"a<b>c", NameFault::ReservedCharacter, ok},
        {"a|b", NameFault::ReservedCharacter, ok},
        {"a\tb", NameFault::ControlCharacter, NameFault::ControlCharacter},
        {"a\r\nb", NameFault::ControlCharacter, NameFault::ControlCharacter},
        {"a\x7F", NameFault::ControlCharacter, NameFault::ControlCharacter},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.path, CheckOutsideName(row.name)) << row.name;
        EXPECT_EQ(row.iniText, CheckOutsideName(row.name, NameUse::IniText)) << row.name;
    }
    EXPECT_EQ(NameFault::ControlCharacter, CheckOutsideName(std::string("a\0b", 3)));
    EXPECT_STREQ("cannot begin with a blank", NameFaultText(NameFault::LeadingBlank));
    EXPECT_STREQ("", NameFaultText(NameFault::None));
    EXPECT_EQ("C:\\D\\VASPOUT\\r 1\\", RouteFolder("C:\\D\\", "r 1"));
    EXPECT_EQ("", RouteFolder("C:\\D\\", "."));
}
