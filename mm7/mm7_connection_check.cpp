#include "mm7/mm7_connection_check.h"

#include <cstdio>

#include "base/server_address.h"
#include "base/text.h"

const char kNoUrlMessage[] = "Please define a URL for connecting to the server";
const char kSocketErrorMessage[] = "General socket error";
const char kBadServerUrlMessage[] =
    "The server URL must name a host, optionally followed by \":\" and a port number from 1 to 65535";
const char kTlsUnavailableReason[] =
    "SSL/TLS is not available on this computer (TLSLINK.DLL is missing or could not be started), so an https "
    "server cannot be checked.";

namespace {

constexpr unsigned kHttpPort = 80;
constexpr unsigned kHttpsPort = 443;

// Removes prefix from text when text begins with it in any letter case.
bool DropPrefix(std::string& text, const char* prefix)
{
    size_t length = std::char_traits<char>::length(prefix);
    if (!StartsWithNoCase(text.c_str(), text.size(), prefix))
        return false;
    text.erase(0, length);
    return true;
}

std::string WithEndpoint(const char* format, const Mm7Endpoint& endpoint)
{
    std::string text(endpoint.host.size() + 128, '\0');
    int length = snprintf(&text[0], text.size(), format, endpoint.host.c_str(), endpoint.port);
    text.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return text;
}

} // namespace

bool ParseMm7ServerUrl(const std::string& url, Mm7Endpoint& endpoint)
{
    std::string rest = url;
    bool tls = false;
    if (!DropPrefix(rest, "http://"))
        tls = DropPrefix(rest, "https://");
    rest = rest.substr(0, rest.find('/'));
    ServerAddress address;
    if (!ParseServerAddress(rest, tls ? kHttpsPort : kHttpPort, address))
        return false;
    endpoint.host = address.host;
    endpoint.port = address.port;
    endpoint.tls = tls;
    return true;
}

std::string CertificateHostOf(const std::string& host)
{
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        return host.substr(1, host.size() - 2);
    return host;
}

std::string ConnectFailureMessage(const Mm7Endpoint& endpoint)
{
    return WithEndpoint("Unable to connect to server %s:%u", endpoint);
}

std::string TlsFailureMessage(const Mm7Endpoint& endpoint, const std::string& reason)
{
    return WithEndpoint("Unable to negotiate SSL/TLS connection with server %s:%u\r\n\r\n", endpoint) + reason;
}

Mm7CheckResult CheckMm7Server(const std::string& url, Mm7Network& network)
{
    Mm7CheckResult result;
    Mm7Endpoint endpoint;
    if (url.empty()) {
        result.message = kNoUrlMessage;
        return result;
    }
    if (!ParseMm7ServerUrl(url, endpoint)) {
        result.message = kBadServerUrlMessage;
        return result;
    }
    if (!network.OpenSocket()) {
        result.message = kSocketErrorMessage;
        return result;
    }
    std::string failure;
    if (!network.Connect(endpoint.host, endpoint.port))
        result.message = ConnectFailureMessage(endpoint);
    else if (endpoint.tls && !network.TlsUsable())
        result.message = TlsFailureMessage(endpoint, kTlsUnavailableReason);
    else if (endpoint.tls && !network.Handshake(CertificateHostOf(endpoint.host), failure))
        result.message = TlsFailureMessage(endpoint, failure);
    else
        result.ok = true;
    network.CloseSocket();
    return result;
}
