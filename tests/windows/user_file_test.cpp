// The account file through GWCORE.DLL: the API round trip on a fresh data directory,
// readers beside a writer, a writer process killed in the middle of its writes, and who
// may take the writer lock of each store file of GWCORE.DLL and MMCORE.DLL.
#include "gateway/gwcore/gwcore.h"
#include "gateway/gwcore/user_store.h"
#include "gateway/mmcore/mmcore.h"
#include "gateway/mmcore/vasp_user_record.h"
#include "tests/windows/helpers/userfile_writer.h"

#include <aclapi.h>
#include <sddl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kSettingsKey[] = "SOFTWARE\\QelSMS\\Lite";

UserRecord User(const char* name, const char* fullName = "")
{
    UserRecord r;
    memset(&r, 0, sizeof r);
    lstrcpynA(r.userName, name, sizeof r.userName);
    lstrcpynA(r.fullName, fullName, sizeof r.fullName);
    r.webMenuOptions = kWebMenuAllOptions;
    r.reserved1[3] = 0x77;
    return r;
}

std::vector<std::string> AllNames(SMSUSERFILE file)
{
    std::vector<std::string> names;
    UserRecord r;
    for (int i = 0; SMSGetUserRecord(file, i, &r); ++i)
        names.push_back(r.userName);
    return names;
}

using Names = std::vector<std::string>;

std::vector<char> ReadBytes(const std::string& path)
{
    std::vector<char> bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    fclose(f);
    return bytes;
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

// Every test gets an empty data directory of its own, named in the registry the way an
// installation moves it; the previous setting comes back afterwards.
class UserFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int serial = 0;
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
        char name[64];
        snprintf(name, sizeof name, "qel-users-%lu-%lu-%d", GetCurrentProcessId(), GetTickCount(), ++serial);
        directory_ = std::string(temp) + name + "\\";
        ASSERT_TRUE(CreateDirectoryA(directory_.c_str(), nullptr));

        ASSERT_EQ(
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr),
            ERROR_SUCCESS);
        char old[MAX_PATH];
        DWORD size = sizeof old;
        DWORD type = 0;
        if (RegQueryValueExA(key_, "DataDirectory", nullptr, &type, reinterpret_cast<BYTE*>(old), &size) ==
            ERROR_SUCCESS) {
            hadOld_ = true;
            oldType_ = type;
            old_.assign(old, size);
        }
        ASSERT_EQ(RegSetValueExA(key_, "DataDirectory", 0, REG_SZ, reinterpret_cast<const BYTE*>(directory_.c_str()),
                                 static_cast<DWORD>(directory_.size() + 1)),
                  ERROR_SUCCESS);
    }

    void TearDown() override
    {
        if (key_) {
            if (hadOld_)
                RegSetValueExA(key_, "DataDirectory", 0, oldType_, reinterpret_cast<const BYTE*>(old_.data()),
                               static_cast<DWORD>(old_.size()));
            else
                RegDeleteValueA(key_, "DataDirectory");
            RegCloseKey(key_);
        }
        for (const char* leaf : {"USERS.DAT", "USERS.TMP", "VASPOUT.DAT", "VASPUSERS.DAT"})
            DeleteFileA((directory_ + leaf).c_str());
        RemoveDirectoryA(directory_.c_str());
    }

    std::string UsersPath() const { return directory_ + "USERS.DAT"; }

    SMSUSERFILE Open(DWORD access)
    {
        SMSUSERFILE file = nullptr;
        EXPECT_TRUE(SMSOpenUserFile(&file, access));
        return file;
    }

    std::string directory_;

private:
    HKEY key_ = nullptr;
    bool hadOld_ = false;
    DWORD oldType_ = REG_SZ;
    std::string old_;
};

const DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;

struct ReaderLoopState {
    volatile LONG stop = 0;
    LONG reads = 0;
    LONG failures = 0;
};

DWORD WINAPI CloseAfterAMoment(void* file)
{
    Sleep(300);
    CloseHandle(static_cast<HANDLE>(file));
    return 0;
}

// Opens, checks and closes the file until told to stop. alice is always there, and the
// file has at least two accounts.
DWORD WINAPI ReaderLoop(void* parameter)
{
    ReaderLoopState* state = static_cast<ReaderLoopState*>(parameter);
    while (!state->stop) {
        SMSUSERFILE file = nullptr;
        if (!SMSOpenUserFile(&file, GENERIC_READ)) {
            InterlockedIncrement(&state->failures);
            continue;
        }
        UserRecord record;
        int count = SMSGetRecordCount(file);
        if (count < 2 || !SMSGetUserRecord(file, count - 1, &record) || SMSGetUserRecord(file, count, &record) ||
            !SMSFindUserRecord(file, "alice", &record))
            InterlockedIncrement(&state->failures);
        SMSCloseUserFile(file);
        InterlockedIncrement(&state->reads);
        Sleep(1);
    }
    return 0;
}

// One write to each store through its library's exports, under a new name every time.
std::string NextName()
{
    static LONG written = 0;
    return "name" + std::to_string(InterlockedIncrement(&written));
}

DWORD WINAPI AddAccountUser(void*)
{
    SMSUSERFILE file = nullptr;
    if (!SMSOpenUserFile(&file, GENERIC_READ | GENERIC_WRITE))
        return FALSE;
    UserRecord r = User(NextName().c_str());
    BOOL added = SMSAddUser(file, &r);
    SMSCloseUserFile(file);
    return added;
}

DWORD WINAPI AddRoute(void*)
{
    char block[VASP_OUT_BLOCK_SIZE] = {};
    std::string name = NextName();
    memcpy(block, name.data(), name.size());
    return VASPOutAddUser(block);
}

DWORD WINAPI AddVaspAccount(void*)
{
    VASPUserRecord record = {};
    std::string name = NextName();
    memcpy(record.userName, name.data(), name.size());
    return VASPAddUser(&record);
}

// A store's writer lock, opened to read its security; null when it does not exist.
HANDLE OpenStoreLock(const std::string& name)
{
    for (const std::string& full : {"Global\\" + name, name}) {
        if (HANDLE lock = OpenMutexA(READ_CONTROL, FALSE, full.c_str()))
            return lock;
    }
    return nullptr;
}

std::string SidText(PSID sid)
{
    char* text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text))
        return "?";
    std::string result(text);
    LocalFree(text);
    return result;
}

std::string ProcessUserSid()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return "";
    DWORD buffer[128];
    DWORD size = 0;
    std::string sid;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size))
        sid = SidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
    CloseHandle(token);
    return sid;
}

} // namespace

TEST_F(UserFileTest, RoundTripThroughTheLibrary)
{
    SMSUSERFILE file = Open(kReadWrite);
    ASSERT_NE(file, nullptr);
    UserRecord r;
    // A missing file reads as empty and is not created by opening it.
    EXPECT_EQ(SMSGetRecordCount(file), 0);
    EXPECT_FALSE(SMSGetUserRecord(file, 0, &r));
    EXPECT_EQ(SMSFindFirstUserRecord(file, "", &r), -1);
    EXPECT_EQ(GetFileAttributesA(UsersPath().c_str()), INVALID_FILE_ATTRIBUTES);

    for (const char* name : {"alice", "Bob", "carol"})
        ASSERT_TRUE(SMSAddUser(file, &(r = User(name))));
    EXPECT_NE(GetFileAttributesA(UsersPath().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(SMSGetRecordCount(file), 3);

    // Same name in other letters: replaced where it stands.
    ASSERT_TRUE(SMSAddUser(file, &(r = User("BOB", "Robert"))));
    EXPECT_EQ(AllNames(file), (Names{"alice", "BOB", "carol"}));
    EXPECT_FALSE(SMSGetUserRecord(file, -1, &r));
    EXPECT_FALSE(SMSGetUserRecord(file, 3, &r));

    memset(&r, 0, sizeof r);
    EXPECT_EQ(SMSFindFirstUserRecord(file, "CA", &r), 2);
    EXPECT_STREQ(r.userName, "carol");
    EXPECT_EQ(SMSFindFirstUserRecord(file, "x", &r), -1);
    ASSERT_TRUE(SMSFindUserRecord(file, "bob", &r));
    EXPECT_STREQ(r.fullName, "Robert");
    EXPECT_EQ(r.reserved1[3], 0x77);
    EXPECT_FALSE(SMSFindUserRecord(file, "bo", &r));

    ASSERT_TRUE(SMSDeleteUser(file, &(r = User("Alice"))));
    EXPECT_FALSE(SMSDeleteUser(file, &(r = User("alice"))));
    EXPECT_FALSE(SMSAddUser(file, &(r = User(""))));
    SMSCloseUserFile(file);

    // Another handle, read-only, sees what was written and cannot write.
    SMSUSERFILE reader = Open(GENERIC_READ);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(AllNames(reader), (Names{"BOB", "carol"}));
    std::vector<char> before = ReadBytes(UsersPath());
    EXPECT_FALSE(SMSAddUser(reader, &(r = User("dave"))));
    EXPECT_FALSE(SMSDeleteUser(reader, &(r = User("carol"))));
    EXPECT_EQ(ReadBytes(UsersPath()), before);
    SMSCloseUserFile(reader);
}

TEST_F(UserFileTest, DamagedFileIsNeverTakenForEmpty)
{
    {
        SMSUSERFILE file = Open(kReadWrite);
        UserRecord r = User("alice");
        ASSERT_TRUE(SMSAddUser(file, &r));
        SMSCloseUserFile(file);
    }
    std::vector<char> good = ReadBytes(UsersPath());
    ASSERT_FALSE(good.empty());

    std::string damaged(good.begin(), good.end());
    damaged[40] ^= 0x20;
    WriteBytes(UsersPath(), damaged);
    for (DWORD access : {DWORD(GENERIC_READ), kReadWrite}) {
        SMSUSERFILE file = reinterpret_cast<SMSUSERFILE>(1);
        EXPECT_FALSE(SMSOpenUserFile(&file, access));
        EXPECT_EQ(file, nullptr);
    }
    WriteBytes(UsersPath(), std::string(good.begin(), good.begin() + 100));
    SMSUSERFILE file = nullptr;
    EXPECT_FALSE(SMSOpenUserFile(&file, GENERIC_READ));

    // A temporary file left by a killed writer is no obstacle.
    WriteBytes(UsersPath(), std::string(good.begin(), good.end()));
    WriteBytes(directory_ + "USERS.TMP", "leftover junk");
    file = Open(kReadWrite);
    ASSERT_NE(file, nullptr);
    UserRecord r = User("bob");
    EXPECT_TRUE(SMSAddUser(file, &r));
    SMSCloseUserFile(file);
    file = Open(GENERIC_READ);
    EXPECT_EQ(AllNames(file), (Names{"alice", "bob"}));
    SMSCloseUserFile(file);
}

TEST_F(UserFileTest, ReadersFollowAnotherHandlesWritesAndNeverBlockThem)
{
    SMSUSERFILE writer = Open(kReadWrite);
    SMSUSERFILE reader = Open(GENERIC_READ);
    ASSERT_NE(writer, nullptr);
    ASSERT_NE(reader, nullptr);
    UserRecord r;
    ASSERT_TRUE(SMSAddUser(writer, &(r = User("alice"))));
    EXPECT_EQ(SMSGetRecordCount(reader), 1);
    EXPECT_TRUE(SMSFindUserRecord(reader, "ALICE", &r));

    // A second writer's handle opened before these writes still writes over the file as
    // it is now, keeping alice.
    SMSUSERFILE late = Open(kReadWrite);
    ASSERT_TRUE(SMSAddUser(writer, &(r = User("bob"))));
    ASSERT_TRUE(SMSAddUser(late, &(r = User("carol"))));
    EXPECT_EQ(AllNames(reader), (Names{"alice", "bob", "carol"}));
    SMSCloseUserFile(late);

    // Another program holding the file open for a moment (a virus scanner) is waited out.
    HANDLE held = CreateFileA(UsersPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    HANDLE closer = CreateThread(nullptr, 0, CloseAfterAMoment, held, 0, nullptr);
    ASSERT_NE(closer, nullptr);
    EXPECT_TRUE(SMSDeleteUser(writer, &(r = User("bob")))) << GetLastError();
    WaitForSingleObject(closer, INFINITE);
    CloseHandle(closer);
    EXPECT_EQ(AllNames(reader), (Names{"alice", "carol"}));

    // A reader thread opening and listing all the time sees whole files only.
    ReaderLoopState shared;
    HANDLE thread = CreateThread(nullptr, 0, ReaderLoop, &shared, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    // Adds and deletes, so that the file changes size too. The thread must be stopped
    // before any assertion can leave this function.
    int failedWrites = 0;
    for (unsigned i = 0; i < 120; ++i) {
        UserRecord w = WriterRecord(i);
        failedWrites += !SMSAddUser(writer, &w);
        if (i % 3 == 0) {
            failedWrites += !SMSDeleteUser(writer, &w);
        }
    }
    shared.stop = 1;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(failedWrites, 0);
    EXPECT_GT(shared.reads, 0);
    EXPECT_EQ(shared.failures, 0);

    EXPECT_TRUE(SMSFindUserRecord(reader, kWriterUserName, &r));
    EXPECT_EQ(WriterCounter(r), 119);
    SMSCloseUserFile(reader);
    SMSCloseUserFile(writer);
}

TEST_F(UserFileTest, KilledWriterLeavesTheOldOrTheNewFile)
{
    char self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, self, sizeof self), 0u);
    std::string helper(self);
    helper = helper.substr(0, helper.find_last_of('\\') + 1) + "userfile_writer.exe";
    ASSERT_NE(GetFileAttributesA(helper.c_str()), INVALID_FILE_ATTRIBUTES) << helper;

    // Accounts the writer never touches: they must come through every kill unchanged. They
    // make the file large (1.5 MB), so that a kill can land in the middle of writing it.
    const int kBase = 3000;
    userstore::UserStore initial;
    for (int i = 0; i < kBase; ++i) {
        char name[16];
        snprintf(name, sizeof name, "base%d", i);
        initial.AddOrReplace(User(name, name));
    }
    const std::vector<UserRecord> base = initial.Records();
    std::vector<uint8_t> initialBytes = userstore::SerializeUserFile(initial);
    WriteBytes(UsersPath(), std::string(initialBytes.begin(), initialBytes.end()));

    char eventName[64];
    snprintf(eventName, sizeof eventName, "QelUserFileWriterReady-%lu", GetCurrentProcessId());
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, eventName);
    ASSERT_NE(ready, nullptr);

    const int kKills = 24;
    long lastCounter = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        ResetEvent(ready);
        std::string command = "\"" + helper + "\" " + eventName;
        std::vector<char> commandLine(command.begin(), command.end());
        commandLine.push_back('\0');
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(CreateProcessA(helper.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &process));
        HANDLE waits[] = {ready, process.hProcess};
        DWORD woke = WaitForMultipleObjects(2, waits, FALSE, 15000);
        if (woke != WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(process.hProcess, &code);
            TerminateProcess(process.hProcess, 1);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
            FAIL() << "writer did not start writing, wait " << woke << " exit code " << code;
        }
        // Kill it at a different moment of its write loop every time.
        Sleep(static_cast<DWORD>((kill * 7) % 23));
        TerminateProcess(process.hProcess, 9);
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);

        SMSUSERFILE file = nullptr;
        ASSERT_TRUE(SMSOpenUserFile(&file, GENERIC_READ)) << "kill " << kill << " error " << GetLastError();
        ASSERT_EQ(SMSGetRecordCount(file), kBase + 1) << "kill " << kill;
        UserRecord r;
        int changed = 0;
        for (int i = 0; i < kBase; ++i)
            changed += !SMSGetUserRecord(file, i, &r) || memcmp(&r, &base[static_cast<size_t>(i)], sizeof r) != 0;
        EXPECT_EQ(changed, 0) << "kill " << kill;
        ASSERT_TRUE(SMSGetUserRecord(file, kBase, &r));
        long counter = WriterCounter(r);
        EXPECT_GT(counter, lastCounter) << "kill " << kill; // at least one write per run, none lost
        lastCounter = counter;
        SMSCloseUserFile(file);
    }
    CloseHandle(ready);

    // The writer mutex left abandoned by the last kill does not block the next writer.
    SMSUSERFILE file = Open(kReadWrite);
    UserRecord next = WriterRecord(static_cast<unsigned>(lastCounter + 1));
    EXPECT_TRUE(SMSAddUser(file, &next));
    SMSCloseUserFile(file);
    printf("writer counter after %d kills: %ld\n", kKills, lastCounter);
}

TEST_F(UserFileTest, StoreLocksAreOpenOnlyToSystemAdministratorsAndTheirCreator)
{
    struct Store {
        const char* file;
        const char* lock;
        LPTHREAD_START_ROUTINE write;
    } stores[] = {
        {"USERS.DAT", "QelSMSUserFile", AddAccountUser},
        {"VASPOUT.DAT", "QelMMSCRouteFile", AddRoute},
        {"VASPUSERS.DAT", "QelMMSCAccountFile", AddVaspAccount},
    };
    std::vector<std::string> expected = {"S-1-5-18", "S-1-5-32-544", ProcessUserSid()};
    std::sort(expected.begin(), expected.end());
    for (const Store& store : stores) {
        SCOPED_TRACE(store.file);
        ASSERT_TRUE(store.write(nullptr)); // creates the file
        // The lock exists only while a write holds it. With the file held open exclusively
        // the next write waits for it under the lock, long enough to open the lock from here.
        HANDLE held =
            CreateFileA((directory_ + store.file).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        HANDLE writer = CreateThread(nullptr, 0, store.write, nullptr, 0, nullptr);
        HANDLE lock = nullptr;
        for (int attempt = 0; writer && attempt < 150 && !lock; ++attempt) {
            if (!(lock = OpenStoreLock(store.lock)))
                Sleep(10);
        }
        CloseHandle(held);
        ASSERT_NE(writer, nullptr);
        DWORD written = 0;
        WaitForSingleObject(writer, INFINITE);
        GetExitCodeThread(writer, &written);
        CloseHandle(writer);
        EXPECT_TRUE(written);
        ASSERT_NE(lock, nullptr);

        PACL dacl = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_EQ(GetSecurityInfo(lock, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                                  &descriptor),
                  DWORD(ERROR_SUCCESS));
        CloseHandle(lock);
        // A missing (NULL) list lets every process in.
        ASSERT_NE(dacl, nullptr);
        std::vector<std::string> trustees;
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            ACCESS_ALLOWED_ACE* ace = nullptr;
            ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
            ASSERT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
            EXPECT_EQ(ace->Mask & (SYNCHRONIZE | MUTEX_MODIFY_STATE), DWORD(SYNCHRONIZE | MUTEX_MODIFY_STATE));
            trustees.push_back(SidText(&ace->SidStart));
        }
        LocalFree(descriptor);
        std::sort(trustees.begin(), trustees.end());
        // Everyone (S-1-1-0) or any other trustee shows up here as a difference.
        EXPECT_EQ(trustees, expected);
    }
}
