// Finding a modem's COM port in the modem class of the device registry, against class keys
// the test writes (and removes) itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "modem/modem_discovery.h"

namespace {

const char kClasses[] = "SYSTEM\\CurrentControlSet\\Control\\Class";

// A device class of the test's own under the class key, removed with everything below it.
class TestDeviceClass {
public:
    TestDeviceClass(const char* guid, const char* className) : path_(std::string(kClasses) + "\\" + guid)
    {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, path_.c_str());
        SetText("", "Class", className);
    }
    ~TestDeviceClass() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, path_.c_str()); }

    void Instance(const char* number, const char* friendlyName, const char* attachedTo)
    {
        SetText(number, "FriendlyName", friendlyName);
        if (attachedTo)
            SetText(number, "AttachedTo", attachedTo);
    }

private:
    void SetText(const char* subkey, const char* name, const char* value)
    {
        std::string path = *subkey ? path_ + "\\" + subkey : path_;
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), static_cast<DWORD>(strlen(value) + 1));
        RegCloseKey(key);
    }
    std::string path_;
};

TEST(ModemPortLookup, FirstInstanceWithAPortWinsWithoutRegardToCase)
{
    TestDeviceClass modems("{7E57C1A5-0000-4000-8000-00000000E2E1}", "modem");
    modems.Instance("0000", "Qel Test USB Modem", "");              // no COM port
    modems.Instance("0001", "Qel Test USB Modem", "COM21");         // the same name again
    modems.Instance("0002", "Qel Test USB Modem", "COM22");
    modems.Instance("0003", "Qel Test Portless Modem", nullptr);
    TestDeviceClass ports("{7E57C1A5-0000-4000-8000-00000000E2E2}", "Ports");
    ports.Instance("0000", "Qel Test Serial Device", "COM23");     // not a modem

    std::string port = "stale";
    EXPECT_TRUE(FindModemPort("qel test usb MODEM", port));
    EXPECT_EQ(port, "COM21");
    EXPECT_FALSE(FindModemPort("Qel Test Portless Modem", port));
    EXPECT_EQ(port, "");
    EXPECT_FALSE(FindModemPort("Qel Test Serial Device", port));
    EXPECT_FALSE(FindModemPort("Nobody's Modem", port));
}

} // namespace
