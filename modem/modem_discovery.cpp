#include "modem/modem_discovery.h"

#include <cstdio>
#include <vector>

#include "app/app_state.h"
#include "app/message_box.h"
#include "base/text.h"
#include "modem/telephony.h"

namespace {

constexpr DWORD kRegistryText = 500;

void CALLBACK IgnoreLineEvent(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

// A key opened for reading, closed when it goes.
class RegistryKey {
public:
    RegistryKey(HKEY parent, const char* name)
    {
        if (RegOpenKeyExA(parent, name, 0, KEY_READ, &key_) != ERROR_SUCCESS)
            key_ = nullptr;
    }
    ~RegistryKey()
    {
        if (key_)
            RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    explicit operator bool() const { return key_ != nullptr; }
    HKEY get() const { return key_; }

    // The name of the subkey at the index; false past the last one.
    bool Subkey(DWORD index, std::string& name) const
    {
        char text[kRegistryText];
        DWORD size = sizeof text;
        if (RegEnumKeyExA(key_, index, text, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        name.assign(text, size);
        return true;
    }

    std::string Text(const char* value) const
    {
        char text[kRegistryText] = "";
        DWORD size = sizeof text - 1;
        DWORD type = 0;
        if (RegQueryValueExA(key_, value, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ))
            return {};
        text[size < sizeof text ? size : sizeof text - 1] = '\0';
        return text;
    }

private:
    HKEY key_ = nullptr;
};

// The first instance of the modem class with that friendly name and a port.
bool FindInModemClass(const RegistryKey& modemClass, const std::string& modemName, std::string& port)
{
    std::string instanceName;
    for (DWORD index = 0; modemClass.Subkey(index, instanceName); ++index) {
        RegistryKey instance(modemClass.get(), instanceName.c_str());
        if (!instance || !EqualsNoCase(instance.Text("FriendlyName"), modemName))
            continue;
        port = instance.Text("AttachedTo");
        if (!port.empty())
            return true;
    }
    return false;
}

} // namespace

void ListModems(HWND dialog, ShownRows& list, bool reportFailure)
{
    HLINEAPP app = 0;
    DWORD devices = 0;
    DWORD version = kTapiVersion;
    LINEINITIALIZEEXPARAMS params = {};
    params.dwTotalSize = sizeof params;
    LONG result = lineInitializeExA(&app, appInstance, IgnoreLineEvent, kAppCaption, &devices, &version, &params);
    if (result != 0) {
        if (!reportFailure)
            return;
        char text[128];
        snprintf(text, sizeof text, "Unable to initialize TAPI:  Error %lX from lineInitialize",
                 static_cast<unsigned long>(result));
        ShowServiceMessage(text, MB_OK);
        return;
    }
    std::vector<char> capabilities;
    for (DWORD device = 0; device < devices; ++device) {
        DWORD lineVersion = 0;
        LINEEXTENSIONID extension = {};
        if (lineNegotiateAPIVersion(app, device, kTapiLowestVersion, kTapiVersion, &lineVersion, &extension) != 0 ||
            !ReadLineCapabilities(app, device, lineVersion, capabilities))
            continue;
        if (reinterpret_cast<const LINEDEVCAPS*>(capabilities.data())->dwMediaModes & LINEMEDIAMODE_DATAMODEM)
            list.Add(dialog, LineName(capabilities));
    }
    lineShutdown(app);
}

bool FindModemPort(const std::string& modemName, std::string& port)
{
    port.clear();
    RegistryKey classes(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Class");
    if (!classes)
        return false;
    std::string className;
    for (DWORD index = 0; classes.Subkey(index, className); ++index) {
        RegistryKey deviceClass(classes.get(), className.c_str());
        if (deviceClass && EqualsNoCase(deviceClass.Text("Class"), "Modem") &&
            FindInModemClass(deviceClass, modemName, port))
            return true;
    }
    port.clear();
    return false;
}
