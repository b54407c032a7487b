// Configuration files and directories through the platform's profile functions and file
// system, on data folders of the test's own.
#include "app/config_files.h"
#include "app/ini_files.h"

#include <gtest/gtest.h>

#include <aclapi.h>

#include <memory>

#include "app/app_state.h"
#include "app/page_conventions.h"
#include "gateway/gwcore/folder_security.h"
#include "gateway/gwcore/gwcore.h"
#include "twoway/keyword_table_file.h"
#include "tests/windows/test_support.h"

namespace {

bool IsDirectory(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void MakeTree(const std::string& root, std::initializer_list<const char*> entries)
{
    for (const char* entry : entries) {
        std::string path = root + entry;
        if (path.back() == '\\')
            CreateDirectoryA(path.c_str(), nullptr);
        else
            WriteWholeFile(path, "x");
    }
}

class ConfigFilesTest : public testing::Test {
protected:
    TempFolder root{"config"};
    std::string data = root / "data\\";
    std::string privateData = root / "data\\Private\\";
    std::unique_ptr<DirectoryOverrides> overrides;

    void SetUp() override
    {
        overrides = std::make_unique<DirectoryOverrides>(data, privateData, root / "program\\");
        CreateDirectoryA((root / "program").c_str(), nullptr);
    }
};

TEST_F(ConfigFilesTest, FirstRunCreatesEmptyIniFilesAndLaterRunsKeepThem)
{
    PrepareConfiguration();
    EXPECT_EQ(data + "SMSGW.INI", appPaths.smsIni);
    EXPECT_EQ(data + "MMSC.INI", appPaths.mmscIni);
    ASSERT_TRUE(FileExists(appPaths.smsIni));
    ASSERT_TRUE(FileExists(appPaths.mmscIni));
    EXPECT_EQ("", ReadWholeFile(appPaths.smsIni));
    EXPECT_EQ("", ReadWholeFile(appPaths.mmscIni));
    EXPECT_TRUE(IsDirectory(privateData));

    SmsGatewayIni().Write("SMSGW", "Modem1", "COM1");
    MmscIni().Write("MMSC", "Debug", "Yes");
    PrepareConfiguration();
    EXPECT_EQ("COM1", SmsGatewayIni().Read("SMSGW", "Modem1", MAX_PATH));

    // A lost SMSGW.INI is made again, empty; MMSC.INI is left as it is.
    DeleteFileA(appPaths.smsIni);
    PrepareConfiguration();
    EXPECT_TRUE(FileExists(appPaths.smsIni));
    EXPECT_EQ("", ReadWholeFile(appPaths.smsIni));
    EXPECT_EQ("Yes", MmscIni().Read("MMSC", "Debug", MAX_PATH));
}

// Another account refused by the data folder is told so once, with the folder named. A
// folder where SMSGW.INI belongs is refused the same way (access denied) on both platforms.
TEST_F(ConfigFilesTest, AnUnreadableConfigurationIsToldNamingTheDataFolder)
{
    PrepareConfiguration();
    EXPECT_EQ("", UnreadableConfigurationMessage());
    DeleteFileA(appPaths.smsIni);
    EXPECT_EQ("", UnreadableConfigurationMessage()) << "a missing file is not a refusal";
    CreateDirectoryA(appPaths.smsIni, nullptr);
    std::string message = UnreadableConfigurationMessage();
    EXPECT_EQ(0u, message.find("This account may not read the gateway's configuration file SMSGW.INI in the folder " +
                               data + "\r\n"))
        << message;
    RemoveDirectoryA(appPaths.smsIni);
}

TEST_F(ConfigFilesTest, HelpDocumentIsFoundInTheProgramDirectory)
{
    PrepareConfiguration();
    EXPECT_EQ(root / "program\\QelSMS Lite.pdf", appPaths.helpDocument);
    EXPECT_FALSE(appPaths.helpAvailable);
    WriteWholeFile(appPaths.helpDocument, "%PDF-1.4");
    PrepareConfiguration();
    EXPECT_TRUE(appPaths.helpAvailable);
}

TEST_F(ConfigFilesTest, VirtualStoreCopiesAreDeletedAndAnUnsetProfileDeletesNothing)
{
    char savedProfile[MAX_PATH] = "";
    GetEnvironmentVariableA("USERPROFILE", savedProfile, MAX_PATH);
    std::string profile = root / "profile";
    std::string store = profile + "\\AppData\\Local\\VirtualStore\\";
    MakeTree(profile, {"\\", "\\AppData\\", "\\AppData\\Local\\", "\\AppData\\Local\\VirtualStore\\"});
    MakeTree(store, {"ProgramData\\", "ProgramData\\QelSMS\\", "ProgramData\\QelSMS\\SMSGW.INI", "Program Files\\",
                     "Program Files\\QelSMS\\", "Program Files\\QelSMS\\Q\\", "Program Files\\QelSMS\\Q\\A.REQ",
                     "Program Files (x86)\\", "Program Files (x86)\\QelSMS\\", "Program Files (x86)\\Other.txt"});
    SetEnvironmentVariableA("USERPROFILE", profile.c_str());
    PrepareConfiguration();
    EXPECT_FALSE(PathExists((store + "ProgramData\\QelSMS").c_str()));
    EXPECT_FALSE(PathExists((store + "Program Files\\QelSMS").c_str()));
    EXPECT_FALSE(PathExists((store + "Program Files (x86)\\QelSMS").c_str()));
    EXPECT_TRUE(FileExists((store + "Program Files (x86)\\Other.txt").c_str()));

    // Unset, the variable stays "%USERPROFILE%": a folder of that name in the current
    // directory is not the profile and stays.
    char savedDirectory[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, savedDirectory);
    SetCurrentDirectoryA(root.path().c_str());
    MakeTree(root.path(), {"%USERPROFILE%\\", "%USERPROFILE%\\AppData\\", "%USERPROFILE%\\AppData\\Local\\",
                           "%USERPROFILE%\\AppData\\Local\\VirtualStore\\",
                           "%USERPROFILE%\\AppData\\Local\\VirtualStore\\ProgramData\\",
                           "%USERPROFILE%\\AppData\\Local\\VirtualStore\\ProgramData\\QelSMS\\",
                           "%USERPROFILE%\\AppData\\Local\\VirtualStore\\ProgramData\\QelSMS\\SMSGW.INI"});
    SetEnvironmentVariableA("USERPROFILE", nullptr);
    PrepareConfiguration();
    SetCurrentDirectoryA(savedDirectory);
    SetEnvironmentVariableA("USERPROFILE", savedProfile);
    EXPECT_TRUE(
        FileExists((root / "%USERPROFILE%\\AppData\\Local\\VirtualStore\\ProgramData\\QelSMS\\SMSGW.INI").c_str()));
}

TEST_F(ConfigFilesTest, MessageDirectoriesDefaultUnderTheDataDirectory)
{
    PrepareConfiguration();
    char path[MAX_PATH];
    GetSMSQueueDirectory(path);
    EXPECT_EQ(data + "Q\\", path);
    EXPECT_TRUE(IsDirectory(path));
    GetSMSInDirectory(path);
    EXPECT_EQ(data + "SMS-IN\\", path);
    EXPECT_FALSE(IsDirectory(path)); // the received SMS store is not made by the program
    GetMMSInDirectory(path);
    EXPECT_EQ(data + "MMS-IN\\", path);
    EXPECT_TRUE(IsDirectory(path));
    GetVASPQueueDirectory(path);
    EXPECT_EQ(data + "VASPQ\\", path);
    EXPECT_TRUE(IsDirectory(path));
}

TEST_F(ConfigFilesTest, ConfiguredDirectoriesAreUsedAsTheyStandAndNeverCreated)
{
    PrepareConfiguration();
    std::string configured = root / "queue";
    SmsGatewayIni().Write("SMSGW", "QDir", configured.c_str());
    SmsGatewayIni().Write("SMSGW", "SmsInDir", (root / "in\\").c_str());
    MmscIni().Write("MMSC", "VASPQDir", (root / "vaspq").c_str());
    char path[MAX_PATH];
    GetSMSQueueDirectory(path);
    EXPECT_EQ(configured + "\\", path);
    EXPECT_FALSE(PathExists(configured.c_str()));
    GetSMSInDirectory(path);
    EXPECT_EQ(root / "in\\", path);
    GetVASPQueueDirectory(path);
    EXPECT_EQ(root / "vaspq\\", path);
    EXPECT_FALSE(PathExists((root / "vaspq").c_str()));
}

TEST_F(ConfigFilesTest, SubQueueFoldersAreMadeSafeAndFallBackToTheRoot)
{
    PrepareConfiguration();
    char path[MAX_PATH];
    GetSMSQueueDirectory(path, "Modem: COM1/a\\b");
    EXPECT_EQ(data + "Q\\Modem- COM1-a-b\\", path);
    EXPECT_TRUE(IsDirectory(path));

    GetSMSQueueDirectory(path, "..");
    EXPECT_EQ(data + "Q\\--\\", path); // never the queue's parent

    GetSMSQueueDirectory(path, "");
    EXPECT_EQ(data + "Q\\", path);

    // Folder names Windows would change or open as a device stay with the root.
    for (const char* subQueue : {"x.", "x ", " x", "COM1", "nul.txt", "a*b"}) {
        GetSMSQueueDirectory(path, subQueue);
        EXPECT_EQ(data + "Q\\", path) << subQueue;
    }

    // A root that cannot hold folders (here: a file) leaves the root itself.
    std::string blocked = root / "blocked";
    WriteWholeFile(blocked, "not a folder");
    SmsGatewayIni().Write("SMSGW", "QDir", blocked.c_str());
    GetSMSQueueDirectory(path, "Modem1");
    EXPECT_EQ(blocked + "\\", path);
}

TEST_F(ConfigFilesTest, PathAndFileExistence)
{
    MakeTree(root.path(), {"dir\\", "dir\\file.REQ"});
    EXPECT_TRUE(PathExists((root / "dir").c_str()));
    EXPECT_FALSE(FileExists((root / "dir").c_str()));
    EXPECT_TRUE(FileExists((root / "dir\\file.REQ").c_str()));
    EXPECT_TRUE(PathExists((root / "dir\\*.REQ").c_str()));
    EXPECT_FALSE(PathExists((root / "dir\\*.MMS").c_str()));
    EXPECT_FALSE(PathExists((root / "missing").c_str()));
}

TEST_F(ConfigFilesTest, DeleteTreeRemovesEverythingButDotFolders)
{
    std::string tree = root / "tree\\";
    MakeTree(tree, {"", "a.txt", ".hidden-file", "sub\\", "sub\\b.txt", "sub\\deeper\\", "sub\\deeper\\c.txt"});
    DeleteTree((tree + "\\\\").c_str()); // trailing backslashes are stripped
    EXPECT_FALSE(PathExists((root / "tree").c_str()));

    MakeTree(tree, {"", "a.txt", "sub\\", "sub\\b.txt", ".keep\\", ".keep\\d.txt"});
    DeleteTree(tree.c_str());
    EXPECT_FALSE(PathExists((tree + "a.txt").c_str()));
    EXPECT_FALSE(PathExists((tree + "sub").c_str()));
    EXPECT_TRUE(FileExists((tree + ".keep\\d.txt").c_str())); // and so the top stays

    DeleteTree(""); // nothing
    DeleteTree(nullptr);
}

bool UnderWine()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// Read back after the first start's call: SYSTEM and the owner, the running account, have
// full control and nobody else may write. Wine maps a folder's rights to its Unix mode and
// changes nothing on a folder (the Everyone read entry and the missing administrators entry
// stay), so the list's being protected and closed to everyone else is seen only on Windows.
TEST_F(ConfigFilesTest, DataFolderRightsAreTheServicesTheAdministratorsAndTheFirstAccount)
{
    std::string folder = root / "granted";
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(SetQelSMSTrustees(folder.c_str()));

    FolderAccess access = ReadFolderAccess(folder.c_str(), TrustedAccount::Owner);
    ASSERT_TRUE(access.known);
    EXPECT_EQ(RunningAccountSid(), FolderOwnerSid(folder.c_str()));
    EXPECT_FALSE(OthersMayWrite(access));
    int full = 0;
    for (const AccessEntry& entry : access.entries)
        full += entry.allow && entry.trusted && (entry.mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS;
    EXPECT_GE(full, 2) << "SYSTEM and the owner";
    if (!UnderWine()) {
        EXPECT_TRUE(access.isProtected);
        EXPECT_FALSE(DataFolderNeedsRepair(access));
        EXPECT_EQ(3, full);
    }
    EXPECT_FALSE(SetQelSMSTrustees(""));
}

} // namespace

namespace {

TEST(KeywordTableFile, IsConvertedInACopyThatReplacesTheFileOnlyWhenComplete)
{
    TempFolder folder("keywords");
    std::string ini = folder / "SMSGW.INI";
    const std::string old = "[SMSGW]\r\nReceiveSMSCommand1=HELP\treplytext:Call us\tYes\r\n[E-Mail]\r\nServer=mail\r\n";

    // The copy cannot be made: the file stays exactly as it was.
    WriteWholeFile(ini, old);
    HANDLE obstacle = CreateFileA((ini + ".NEW").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ConvertOldKeywordTableFile(ini.c_str());
    CloseHandle(obstacle);
    EXPECT_EQ(old, ReadWholeFile(ini));
    DeleteFileA((ini + ".NEW").c_str());

    ConvertOldKeywordTableFile(ini.c_str());
    ProfileIniStore converted(ini);
    EXPECT_EQ("HELP", converted.Read("2Way-Keywords", "Keyword1", 100));
    EXPECT_EQ("Yes", converted.Read("2Way-Keywords", "NewFormat", 100));
    EXPECT_EQ("Call us", converted.Read("2Way-Keyword-HELP", "ReplyText", 100));
    EXPECT_EQ("mail", converted.Read("E-Mail", "Server", 100));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((ini + ".NEW").c_str()));
}

// A NOTEPAD.EXE planted in the current folder is never started in place of the real one.
TEST(Notepad, ComesFromTheWindowsFolder)
{
    TempFolder folder("notepad");
    ASSERT_TRUE(
        CopyFileA((TestProgramFolder() + "standins\\FWRULES.EXE").c_str(), (folder / "NOTEPAD.EXE").c_str(), FALSE));
    WriteWholeFile(folder / "note.txt", "x");
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA(folder.path().c_str());
    OpenInNotepad((folder / "note.txt").c_str());
    SetCurrentDirectoryA(previous);

    HWND notepad = nullptr;
    for (int i = 0; i < 100 && !notepad; ++i, Sleep(50))
        notepad = FindWindowA("Notepad", nullptr);
    ASSERT_NE(nullptr, notepad);
    PostMessageA(notepad, WM_CLOSE, 0, 0);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((folder / "FWRULES.LOG").c_str()));
}

} // namespace
