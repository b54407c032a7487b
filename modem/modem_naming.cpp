#include "modem/modem_naming.h"

#include "base/text.h"
#include "gateway/gwcore/host_address.h"

const char kPhoneModemPrefix[15] = "QelSMSModem - ";

namespace {

// A typed address names a host (and maybe a port) in the characters of names and IPv4 and
// IPv6 literals only, since it also becomes a section, route and folder name.
bool IsTypedAddress(const std::string& text)
{
    HostAddress parsed;
    if (text.find_first_of(" \t") != std::string::npos || !ParseHostAddress(text, 0, parsed) ||
        parsed.host.size() > 253)
        return false;
    for (char c : parsed.host) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                     c == '-' || c == '_' || c == ':' || c == '%';
        if (!plain)
            return false;
    }
    return parsed.host.find("..") == std::string::npos;
}

} // namespace

std::string RouteHost(const std::string& address)
{
    if (!address.empty() && address.front() == '[') {
        size_t close = address.find(']');
        return close == std::string::npos ? address : address.substr(0, close + 1);
    }
    size_t first = address.find(':');
    if (first != std::string::npos && address.find(':', first + 1) != std::string::npos)
        return address; // an IPv6 literal without brackets carries no port
    return address.substr(0, first);
}

ModemChoice InterpretModemChoice(const std::string& text, bool listed)
{
    ModemChoice choice;
    const size_t prefixLength = sizeof kPhoneModemPrefix - 1;
    if (text.empty())
        return choice;
    if (StartsWithNoCase(text.data(), text.size(), kPhoneModemPrefix)) {
        choice.kind = ModemChoice::PhoneModem;
        choice.modemName = text;
        choice.address = text.substr(prefixLength);
        choice.routeName = RouteHost(choice.address);
    } else if (listed) {
        choice.kind = ModemChoice::WindowsModem;
        choice.modemName = text;
    } else {
        choice.kind = IsTypedAddress(text) ? ModemChoice::TypedAddress : ModemChoice::NotAnAddress;
        choice.address = text;
        choice.modemName = kPhoneModemPrefix + text;
        choice.routeName = RouteHost(text);
    }
    return choice;
}
