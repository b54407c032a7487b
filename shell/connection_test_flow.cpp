#include "shell/connection_test_flow.h"

#include <cstdio>

#include "base/text.h"

const char kRebootQuestion[] = "QelSMS has updated your modem driver settings to enable GPRS connectivity.\r\n\r\n"
                               "Your system must be rebooted to apply these updates.\r\n\r\n"
                               "Do you wish to reboot now?";

namespace {

const char kModemProfilePrefix[] = "Modem: ";
constexpr size_t kModemProfilePrefixLength = sizeof kModemProfilePrefix - 1;
constexpr unsigned long kAllocateWaitMs = 30000;
constexpr size_t kResultLimit = 500; // the result buffer, terminator included

// The driver needs its initialisation strings rewritten for the APN: it has no context for
// it under the first reading, and the second reading is neither empty nor the first again.
bool DriverLacksContext(DialUpLibrary& library, const std::string& modem, const std::string& apn)
{
    if (static_cast<unsigned short>(library.ContextForApn(modem, apn, 0)) != 0)
        return false;
    auto second = static_cast<unsigned short>(library.ContextForApn(modem, apn, 1));
    return second != 0 && second != static_cast<unsigned short>(library.ContextForApn(modem, apn, 0));
}

std::string ResultText(DialUpLibrary& library, int code)
{
    if (code == 0)
        return "Connection Test OK!";
    if (code == 1)
        return "Unable to connect to WAP Gateway";
    std::string result = "Connection Failed";
    if (code >= 600 && code <= 799) {
        char ras[32];
        snprintf(ras, sizeof ras, "\r\nRAS Error %u\r\n", static_cast<unsigned>(code));
        result += ras;
        if (library.HasErrorText())
            result += library.ErrorText(static_cast<unsigned>(code), kResultLimit - result.size());
    }
    if (result.size() > kResultLimit - 1)
        result.resize(kResultLimit - 1);
    return result;
}

} // namespace

std::string DialUpProfileOf(const ConnectionTestInputs& inputs)
{
    return inputs.dialUpProfile.empty() ? kModemProfilePrefix + inputs.modemName : inputs.dialUpProfile;
}

std::string RunConnectionTestFlow(DialUpLibrary* library, RebootHost& host, ConnectionTestInputs inputs)
{
    inputs.dialUpProfile = DialUpProfileOf(inputs);
    if (!library)
        return "Internal Error";
    unsigned long allocation = library->Allocate(inputs.modemName, kAllocateWaitMs);
    if (allocation == 0)
        return "Unable to allocate modem, modem in use by QelSMS";

    const std::string& profile = inputs.dialUpProfile;
    bool modemProfile = StartsWithNoCase(profile.data(), profile.size(), kModemProfilePrefix);
    if (library->HasContextQuery() && !inputs.apn.empty() && modemProfile) {
        std::string driverModem = profile.substr(kModemProfilePrefixLength);
        if (DriverLacksContext(*library, driverModem, inputs.apn) && library->HasDriverUpdate() &&
            library->UpdateDriver(driverModem, inputs.apn) != 0 && host.AskReboot()) {
            // The modem goes back to the service before the restart is asked for: a restart
            // that fails or is cancelled must not leave the service without its modem.
            library->Release(allocation);
            host.RequestReboot();
            return "Please restart your system before continuing";
        }
    }
    int code = library->Dial(inputs);
    if (code == 0)
        library->HangUp(profile);
    library->Release(allocation);
    return ResultText(*library, code);
}
