#include "shell/port_rules.h"

const char kWebPortField[] = "Web Interface Port Number";
const char kSmppPortField[] = "SMPP Port Number";
const char kMm7PortField[] = "MM7/EAIF Port Number";

namespace {

constexpr unsigned long kHighestPort = 65535;

} // namespace

StoredPorts PortsToStore(const ServerPorts& ports)
{
    StoredPorts stored;
    stored.webPort = ports.webPort ? ports.webPort : kDefaultWebPort;
    stored.smppPort = ports.smppEnabled ? ports.smppPort : 0;
    stored.mm7Port = ports.mm7Enabled ? ports.mm7Port : 0;
    return stored;
}

const char* InvalidPortField(const ServerPorts& ports)
{
    if (ports.webPort > kHighestPort)
        return kWebPortField;
    if (ports.smppEnabled && ports.smppPort > kHighestPort)
        return kSmppPortField;
    if (ports.mm7Enabled && ports.mm7Port > kHighestPort)
        return kMm7PortField;
    return nullptr;
}
