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

// A peer that never answers the connection request is not waited for beyond this; a caller
// that has given the socket a shorter send time limit (SO_SNDTIMEO) gets that one.
const DWORD kConnectLimitMs = 30000;

DWORD ConnectLimitMs(SOCKET s)
{
    DWORD sendLimit = 0;
    int length = sizeof sendLimit;
    if (getsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<char*>(&sendLimit), &length) == 0 &&
        sendLimit > 0 && sendLimit < kConnectLimitMs)
        return sendLimit;
    return kConnectLimitMs;
}

// connect with a time limit: the socket is made non-blocking for the attempt and blocking
// again afterwards. 0 when connected, else the error (WSAETIMEDOUT when the limit ran out).
int ConnectWithin(SOCKET s, const sockaddr* address, int length, DWORD limitMs)
{
    u_long nonBlocking = 1;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0)
        return WSAGetLastError();
    int error = 0;
    if (connect(s, address, length) != 0) {
        error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK || error == WSAEINPROGRESS) {
            fd_set written, failed;
            FD_ZERO(&written);
            FD_ZERO(&failed);
            FD_SET(s, &written);
            FD_SET(s, &failed);
            timeval wait = {static_cast<long>(limitMs / 1000), static_cast<long>(limitMs % 1000) * 1000};
            int ready = select(0, nullptr, &written, &failed, &wait);
            if (ready == 0) {
                error = WSAETIMEDOUT;
            } else if (ready < 0) {
                error = WSAGetLastError();
            } else {
                int soError = 0;
                int soLength = sizeof soError;
                error = getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &soLength) == 0
                            ? soError
                            : WSAGetLastError();
                if (error == 0 && FD_ISSET(s, &failed))
                    error = WSAECONNREFUSED;
            }
        }
    }
    u_long blocking = 0;
    if (ioctlsocket(s, FIONBIO, &blocking) != 0 && error == 0)
        error = WSAGetLastError();
    return error;
}

// Tries each address the host resolves to, each within the connect limit; 0 when
// connected, else the last error.
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
    const DWORD limitMs = ConnectLimitMs(s);
    int lastError = WSAEHOSTUNREACH;
    for (addrinfo* ai = results; ai; ai = ai->ai_next) {
        int result;
        if (ai->ai_family == AF_INET && family == AF_INET6) {
            sockaddr_in6 mapped = MapToV6(*reinterpret_cast<const sockaddr_in*>(ai->ai_addr));
            result = ConnectWithin(s, reinterpret_cast<const sockaddr*>(&mapped), sizeof mapped, limitMs);
        } else if (ai->ai_family == family) {
            result = ConnectWithin(s, ai->ai_addr, static_cast<int>(ai->ai_addrlen), limitMs);
        } else {
            continue; // an IPv6 peer on an IPv4-only socket
        }
        if (result == 0) {
            freeaddrinfo(results);
            return 0;
        }
        lastError = result;
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
