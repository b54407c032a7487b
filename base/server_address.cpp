#include "base/server_address.h"

namespace {

bool ParsePort(const std::string& digits, unsigned& port)
{
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    unsigned long value = std::stoul(digits);
    if (value == 0 || value > 65535)
        return false;
    port = static_cast<unsigned>(value);
    return true;
}

} // namespace

bool ParseServerAddress(const std::string& text, unsigned defaultPort, ServerAddress& address)
{
    ServerAddress parsed;
    parsed.port = defaultPort;
    if (!text.empty() && text[0] == '[') {
        size_t close = text.find(']');
        if (close == std::string::npos || close == 1)
            return false;
        parsed.host = text.substr(0, close + 1);
        std::string rest = text.substr(close + 1);
        if (!rest.empty() && (rest[0] != ':' || !ParsePort(rest.substr(1), parsed.port)))
            return false;
    } else {
        size_t colon = text.find(':');
        bool onePort = colon != std::string::npos && text.find(':', colon + 1) == std::string::npos;
        parsed.host = onePort ? text.substr(0, colon) : text;
        if (onePort && !ParsePort(text.substr(colon + 1), parsed.port))
            return false;
    }
    if (parsed.host.empty())
        return false;
    address = parsed;
    return true;
}
