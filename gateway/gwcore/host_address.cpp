#include "gateway/gwcore/host_address.h"

namespace {

bool ParsePort(const std::string& text, int& port)
{
    if (text.empty() || text.size() > 5)
        return false;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535)
        return false;
    port = value;
    return true;
}

} // namespace

bool ParseHostAddress(const std::string& rawText, int callerPort, HostAddress& out)
{
    std::string text = rawText;
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.erase(text.begin());
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    if (text.empty() || callerPort < 0 || callerPort > 65535)
        return false;

    std::string host;
    std::string portText;
    if (text.front() == '[') {
        size_t close = text.find(']');
        if (close == std::string::npos || close == 1)
            return false;
        host = text.substr(1, close - 1);
        std::string rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return false;
            portText = rest.substr(1);
            if (portText.empty())
                return false;
        }
    } else {
        size_t first = text.find(':');
        if (first != std::string::npos && text.find(':', first + 1) == std::string::npos) {
            // Exactly one colon: a name or IPv4 address followed by a port.
            host = text.substr(0, first);
            portText = text.substr(first + 1);
            if (host.empty() || portText.empty())
                return false;
        } else {
            host = text; // no colon, or an unbracketed IPv6 literal
        }
    }
    if (host.find_first_of("[] \t") != std::string::npos)
        return false;

    int port = callerPort;
    if (!portText.empty()) {
        int textPort = 0;
        if (!ParsePort(portText, textPort))
            return false;
        if (port == 0)
            port = textPort;
    }
    out.host = host;
    out.port = port;
    return true;
}
