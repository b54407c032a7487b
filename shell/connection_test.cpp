#include "shell/connection_test.h"

#include <windows.h>

#include <string>

#include "app/addon_libraries.h"
#include "app/ini_files.h"
#include "base/ini_rules.h"
#include "app/message_box.h"
#include "shell/connection_test_flow.h"

namespace {

const char kSection[] = "ModemTest";
constexpr size_t kInputLimit = 250; // each input: 249 characters

// WAPLINK.DLL behind the test's view of it.
class WapLinkLibrary final : public DialUpLibrary {
public:
    explicit WapLinkLibrary(const WapLink& link) : link_(link) {}

    unsigned long Allocate(const std::string& modemName, unsigned long waitMs) override
    {
        DWORD reserved = 0;
        return link_.ModemAllocate(modemName.c_str(), waitMs, &reserved);
    }
    void Release(unsigned long allocation) override { link_.ModemRelease(allocation); }
    bool HasContextQuery() const override { return link_.ModemGetCIDForAPN != nullptr; }
    int ContextForApn(const std::string& modemName, const std::string& apn, int selector) override
    {
        return link_.ModemGetCIDForAPN(modemName.c_str(), apn.c_str(), selector);
    }
    bool HasDriverUpdate() const override { return link_.ModemDriverUpdateInitStrings != nullptr; }
    int UpdateDriver(const std::string& modemName, const std::string& apn) override
    {
        return link_.ModemDriverUpdateInitStrings(modemName.c_str(), apn.c_str());
    }
    int Dial(const ConnectionTestInputs& in) override
    {
        return link_.WSPRasDial(in.dialUpProfile.c_str(), in.apn.c_str(), in.apnLogin.c_str(), in.apnPassword.c_str(),
                                in.wapGateway.c_str());
    }
    void HangUp(const std::string& profile) override { link_.WSPRasHangUp(profile.c_str()); }
    bool HasErrorText() const override { return link_.WSPRasGetErrorString != nullptr; }
    std::string ErrorText(unsigned code, size_t room) override
    {
        std::string text(room, '\0');
        link_.WSPRasGetErrorString(code, &text[0], static_cast<DWORD>(room));
        text[room - 1] = '\0';
        return text.c_str();
    }

private:
    const WapLink& link_;
};

class SystemReboot final : public RebootHost {
public:
    bool AskReboot() override { return ShowServiceMessage(kRebootQuestion, MB_YESNO | MB_ICONQUESTION) == IDYES; }

    void RequestReboot() override
    {
        HANDLE token = nullptr;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
            TOKEN_PRIVILEGES privileges = {};
            privileges.PrivilegeCount = 1;
            privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
            if (LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
                AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
            CloseHandle(token);
        }
        ExitWindowsEx(EWX_REBOOT,
                      SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_RECONFIG | SHTDN_REASON_FLAG_PLANNED);
    }
};

ConnectionTestInputs ReadInputs()
{
    ProfileIniStore ini = DataDirectoryIni("MODEMTEST.INI");
    ConnectionTestInputs inputs;
    inputs.wapGateway = ini.Read(kSection, "WAPGatewayIP", kInputLimit);
    inputs.apn = ini.Read(kSection, "APN", kInputLimit);
    inputs.apnLogin = ini.Read(kSection, "APNLogin", kInputLimit);
    inputs.apnPassword = ini.Read(kSection, "APNPass", kInputLimit);
    inputs.modemName = ini.Read(kSection, "ModemName", kInputLimit);
    inputs.dialUpProfile = ini.Read(kSection, "DialUpProfile", kInputLimit);
    return inputs;
}

} // namespace

void WriteConnectionTestResult(const char* result)
{
    // The result may hold line breaks (a RAS error's text): kept on the one INI line. A result
    // the file did not take would leave the waiting instance silent, so it is said here.
    ProfileIniStore ini = DataDirectoryIni("MODEMTEST.INI");
    ini.Write(kSection, "Result", EncodeLineBreaks(result));
    WritesTaken(nullptr, {&ini});
}

void RunConnectionTest()
{
    ConnectionTestInputs inputs = ReadInputs();
    const WapLink* link = LoadWapLink();
    SystemReboot reboot;
    std::string result;
    if (link) {
        WapLinkLibrary library(*link);
        result = RunConnectionTestFlow(&library, reboot, inputs);
    } else {
        result = RunConnectionTestFlow(nullptr, reboot, inputs);
    }
    WriteConnectionTestResult(result.c_str());
}
