#include "shell/server_settings.h"

#include <string>

#include "base/ini_rules.h"

const char kWebPortField[] = "Web Interface Port Number";
const char kSmppPortField[] = "SMPP Port Number";
const char kMm7PortField[] = "MM7/EAIF Port Number";

namespace {

constexpr unsigned long kHighestPort = 65535;
constexpr size_t kValueChars = 500;

unsigned long ReadNumber(IniStore& ini, const char* section, const char* key)
{
    return IniNumber(ini.Read(section, key, kValueChars).c_str());
}

void WriteOptionalPort(IniStore& ini, const char* section, const char* key, bool enabled, unsigned long port)
{
    if (enabled && port != 0)
        ini.Write(section, key, std::to_string(port));
    else
        ini.Delete(section, key);
}

} // namespace

ServerSettings LoadServerSettings(IniStore& smsgw, IniStore& mmsc)
{
    ServerSettings settings;
    unsigned long webPort = ReadNumber(smsgw, "SMSGW", "WebPort");
    settings.webPort = webPort ? webPort : kDefaultWebPort;
    settings.smppPort = ReadNumber(smsgw, "SMSGW", "SMPPPort");
    settings.smppEnabled = settings.smppPort != 0;
    settings.mm7Port = ReadNumber(mmsc, "MMSC", "WebPort");
    settings.mm7Enabled = settings.mm7Port != 0;
    return settings;
}

void SaveServerSettings(const ServerSettings& settings, IniStore& smsgw, IniStore& mmsc)
{
    smsgw.Write("SMSGW", "WebPort", std::to_string(settings.webPort ? settings.webPort : kDefaultWebPort));
    WriteOptionalPort(smsgw, "SMSGW", "SMPPPort", settings.smppEnabled, settings.smppPort);
    WriteOptionalPort(mmsc, "MMSC", "WebPort", settings.mm7Enabled, settings.mm7Port);
}

const char* InvalidPortField(const ServerSettings& settings)
{
    if (settings.webPort > kHighestPort)
        return kWebPortField;
    if (settings.smppEnabled && settings.smppPort > kHighestPort)
        return kSmppPortField;
    if (settings.mm7Enabled && settings.mm7Port > kHighestPort)
        return kMm7PortField;
    return nullptr;
}
