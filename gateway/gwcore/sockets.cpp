// Sockets that reach IPv4 and IPv6 peers alike: one dual-stack IPv6 socket, IPv4 peers
// reached through their mapped addresses.
#include "gateway/gwcore/gwcore.h"

#include <ws2tcpip.h>

#include <cstdio>
#include <cstring>

#include "gateway/gwcore/host_address.h"
#include "gateway/gwcore/modem_cache.h"

namespace {

int SocketFamily(SOCKET s)
{
    sockaddr_storage local = {};
    int length = sizeof local;
    if (getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) == 0)
        return local.ss_family;
    // Not bound yet: Windows fails getsockname, so ask the protocol information.
    WSAPROTOCOL_INFOA info = {};
    int infoLength = sizeof info;
    if (getsockopt(s, SOL_SOCKET, SO_PROTOCOL_INFOA, reinterpret_cast<char*>(&info), &infoLength) == 0)
        return info.iAddressFamily;
    return AF_UNSPEC;
}

// An IPv4 address as ::ffff:a.b.c.d for a dual-stack socket.
sockaddr_in6 MapToV6(const sockaddr_in& v4)
{
    sockaddr_in6 v6 = {};
    v6.sin6_family = AF_INET6;
    v6.sin6_port = v4.sin_port;
    v6.sin6_addr.s6_addr[10] = 0xff;
    v6.sin6_addr.s6_addr[11] = 0xff;
    memcpy(&v6.sin6_addr.s6_addr[12], &v4.sin_addr, 4);
    return v6;
}

// Tries each address the host resolves to; 0 when connected, else the last error.
int ConnectTo(SOCKET s, const HostAddress& target)
{
    char service[8];
    snprintf(service, sizeof service, "%d", target.port);
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* results = nullptr;
    int rc = getaddrinfo(target.host.c_str(), service, &hints, &results);
    if (rc != 0)
        return rc;

    const int family = SocketFamily(s);
    int lastError = WSAEHOSTUNREACH;
    for (addrinfo* ai = results; ai; ai = ai->ai_next) {
        int result = SOCKET_ERROR;
        if (ai->ai_family == AF_INET && family == AF_INET6) {
            sockaddr_in6 mapped = MapToV6(*reinterpret_cast<const sockaddr_in*>(ai->ai_addr));
            result = connect(s, reinterpret_cast<const sockaddr*>(&mapped), sizeof mapped);
        } else if (ai->ai_family == family) {
            result = connect(s, ai->ai_addr, static_cast<int>(ai->ai_addrlen));
        } else {
            continue; // an IPv6 peer on an IPv4-only socket
        }
        if (result == 0) {
            freeaddrinfo(results);
            return 0;
        }
        lastError = WSAGetLastError();
    }
    freeaddrinfo(results);
    return lastError ? lastError : WSAEHOSTUNREACH;
}

} // namespace

SOCKET WINAPI IPV6OpenSocket(int, int)
{
    SOCKET s = socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
    if (s != INVALID_SOCKET) {
        DWORD v6only = 0;
        if (setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&v6only), sizeof v6only) == 0)
            return s;
        closesocket(s);
    }
    // No IPv6 stack: an IPv4 socket still reaches IPv4 peers.
    return socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
}

int WINAPI IPV6ConnectToINetServer(SOCKET s, LPCSTR hostText, int port)
{
    if (s == INVALID_SOCKET || !hostText)
        return WSAEINVAL;
    HostAddress target;
    switch (ResolveModemReference(hostText, port, DiscoveredModems(), target)) {
    case ModemReference::Resolved:
        return ConnectTo(s, target);
    case ModemReference::Unresolved:
        return WSAHOST_NOT_FOUND;
    case ModemReference::None:
        break;
    }
    if (!ParseHostAddress(hostText, port, target) || target.port == 0)
        return WSAEINVAL;
    return ConnectTo(s, target);
}
