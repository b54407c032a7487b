// The service tests lean on the stand-in gateway services behaving as STANDIN.INI tells them
// and leaving an honest STANDIN.LOG. These cases drive the stand-in through the real service
// control manager: a copy of TXTSVCNT.EXE in a folder of its own, registered under a name no
// other test uses.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char kTestServiceName[] = "QelStandinSelfTest";

std::string ModuleFolder()
{
    char path[MAX_PATH] = {};
    DWORD len = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, len);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

// A folder of the test's own under %TEMP%, so that stand-ins used here keep their INI and log
// files apart from those of the product's tests.
std::string PrivateFolder(const char* purpose)
{
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string dir = std::string(temp) + "qel_" + purpose + "_" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

bool CopyStandin(const char* exeName, const std::string& toFolder)
{
    std::string built = ModuleFolder() + "standins\\" + exeName;
    return CopyFileA(built.c_str(), (toFolder + exeName).c_str(), FALSE) != FALSE;
}

std::string ReadWholeFile(const std::string& path)
{
    std::string text;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(file);
    return text;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Reads the byte at offset of a named block and, when value is not negative, writes it there.
// Gives the byte as it was, or -1 when the block does not exist.
int BlockByte(const char* name, size_t offset, int value = -1)
{
    HANDLE block = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
    if (!block)
        return -1;
    auto* view = static_cast<unsigned char*>(MapViewOfFile(block, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    int was = view ? view[offset] : -1;
    if (view && value >= 0)
        view[offset] = static_cast<unsigned char>(value);
    if (view)
        UnmapViewOfFile(view);
    CloseHandle(block);
    return was;
}

class StandinService : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = PrivateFolder("standin_service");
        exe_ = dir_ + "TXTSVCNT.EXE";
        ASSERT_TRUE(CopyStandin("TXTSVCNT.EXE", dir_)) << "TXTSVCNT.EXE not built";
        DeleteFileA(Path("STANDIN.LOG").c_str());
        DeleteFileA(Path("STANDIN.INI").c_str());

        scm_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(scm_, nullptr);
        RemoveService();
        std::string binaryPath = "\"" + exe_ + "\"";
        service_ = CreateServiceA(scm_, kTestServiceName, kTestServiceName, SERVICE_ALL_ACCESS,
                                  SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                  binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(service_, nullptr) << GetLastError();
    }

    void TearDown() override
    {
        // Let it go whatever the test left it doing.
        SetIni("RefuseStop", "0");
        if (service_)
            CloseServiceHandle(service_);
        if (scm_)
            RemoveService();
        if (scm_)
            CloseServiceHandle(scm_);
        DeleteFileA(Path("STANDIN.LOG").c_str());
        DeleteFileA(Path("STANDIN.INI").c_str());
        DeleteFileA(exe_.c_str());
        RemoveDirectoryA(dir_.c_str());
    }

    void RemoveService()
    {
        SC_HANDLE old = OpenServiceA(scm_, kTestServiceName, SERVICE_ALL_ACCESS);
        if (!old)
            return;
        SERVICE_STATUS status = {};
        ControlService(old, SERVICE_CONTROL_STOP, &status);
        for (int i = 0; i < 250 && QueryServiceStatus(old, &status); ++i) {
            if (status.dwCurrentState == SERVICE_STOPPED)
                break;
            Sleep(20);
        }
        DeleteService(old);
        CloseServiceHandle(old);
    }

    std::string Path(const char* name) const { return dir_ + name; }

    void SetIni(const char* key, const char* value)
    {
        WritePrivateProfileStringA("QelSMS", key, value, Path("STANDIN.INI").c_str());
    }

    DWORD State()
    {
        SERVICE_STATUS status = {};
        QueryServiceStatus(service_, &status);
        return status.dwCurrentState;
    }

    // Milliseconds until the state was reached, or -1 on time-out.
    long WaitForState(DWORD wanted, DWORD timeoutMs)
    {
        DWORD started = GetTickCount();
        for (;;) {
            DWORD elapsed = GetTickCount() - started;
            if (State() == wanted)
                return static_cast<long>(elapsed);
            if (elapsed > timeoutMs)
                return -1;
            Sleep(20);
        }
    }

    bool WaitForLogLine(const std::string& line, DWORD timeoutMs)
    {
        DWORD started = GetTickCount();
        do {
            for (const std::string& seen : Lines(ReadWholeFile(Path("STANDIN.LOG"))))
                if (seen == line)
                    return true;
            Sleep(20);
        } while (GetTickCount() - started < timeoutMs);
        return false;
    }

    std::string dir_;
    std::string exe_;
    SC_HANDLE scm_ = nullptr;
    SC_HANDLE service_ = nullptr;
};

TEST_F(StandinService, PendsAsToldPublishesBothBlocksAndStopsOnControl)
{
    SetIni("StartDelayMs", "800");
    SetIni("StopDelayMs", "600");
    SetIni("SmppPortInUse", "1");
    ASSERT_TRUE(StartServiceA(service_, 0, nullptr)) << GetLastError();
    EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_START_PENDING));
    long toRunning = WaitForState(SERVICE_RUNNING, 5000);
    ASSERT_GE(toRunning, 500);

    for (const char* name : {"QEL_SMSGW_ShMem", "Global\\QEL_SMSGW_ShMem"}) {
        EXPECT_EQ(BlockByte(name, 0), 0) << name;
        EXPECT_EQ(BlockByte(name, 2), 0) << name;
        EXPECT_EQ(BlockByte(name, 4), 1) << name;
    }

    SERVICE_STATUS status = {};
    ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_INTERROGATE, &status)) << GetLastError();
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_STOP, &status)) << GetLastError();
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
    EXPECT_GE(WaitForState(SERVICE_STOPPED, 5000), 300);
    EXPECT_EQ(BlockByte("QEL_SMSGW_ShMem", 0), -1) << "block outlives the service";

    std::vector<std::string> expected = {"start QelSMS", "running QelSMS", "stop-control QelSMS", "stopped QelSMS"};
    EXPECT_EQ(Lines(ReadWholeFile(Path("STANDIN.LOG"))), expected);
}

TEST_F(StandinService, RefusesStopsUntilToldOtherwiseThenObeysTheStopByte)
{
    SetIni("RefuseStop", "1");
    ASSERT_TRUE(StartServiceA(service_, 0, nullptr)) << GetLastError();
    ASSERT_GE(WaitForState(SERVICE_RUNNING, 5000), 0);

    SERVICE_STATUS status = {};
    ControlService(service_, SERVICE_CONTROL_STOP, &status);
    ASSERT_TRUE(WaitForLogLine("refused-stop QelSMS", 2000));
    ASSERT_EQ(BlockByte("QEL_SMSGW_ShMem", 0, 1), 0);
    ASSERT_TRUE(WaitForLogLine("stop-byte QelSMS", 2000));
    Sleep(300);
    EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_RUNNING));

    // Changed while it runs: the next request, through the Global\ name this time, stops it.
    SetIni("RefuseStop", "0");
    ASSERT_EQ(BlockByte("Global\\QEL_SMSGW_ShMem", 0, 1), 0);
    EXPECT_GE(WaitForState(SERVICE_STOPPED, 3000), 0);

    std::vector<std::string> expected = {"start QelSMS",        "running QelSMS",   "stop-control QelSMS",
                                         "refused-stop QelSMS", "stop-byte QelSMS", "refused-stop QelSMS",
                                         "stop-byte QelSMS",    "stopped QelSMS"};
    EXPECT_EQ(Lines(ReadWholeFile(Path("STANDIN.LOG"))), expected);
}

TEST_F(StandinService, FailStartMakesStartServiceFailAtOnce)
{
    SetIni("FailStart", "1");
    DWORD started = GetTickCount();
    EXPECT_FALSE(StartServiceA(service_, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_REQUEST_TIMEOUT));
    EXPECT_LT(GetTickCount() - started, 3000u);
    EXPECT_EQ(State(), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_TRUE(WaitForLogLine("fail-start QelSMS", 0));
}

TEST(FirewallHelperStandin, LogsItsCommandLineExactly)
{
    std::string dir = PrivateFolder("standin_fwrules");
    ASSERT_TRUE(CopyStandin("FWRULES.EXE", dir)) << "FWRULES.EXE not built";
    std::string log = dir + "FWRULES.LOG";
    DeleteFileA(log.c_str());
    std::string commandLine = "\"" + dir + "FWRULES.EXE\" \"" + dir + "TXTSVC.EXE\" \"Qel SMS Gateway Lite Edition\"";
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                               &startup, &process));
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(ReadWholeFile(log), commandLine + "\r\n");
    DeleteFileA(log.c_str());
    DeleteFileA((dir + "FWRULES.EXE").c_str());
    RemoveDirectoryA(dir.c_str());
}

} // namespace
