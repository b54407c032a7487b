// Sockets and queue signalling of GWCORE.DLL, against listeners and events of the test's own.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gateway/gwcore/gwcore.h"

namespace {

class WinsockSession {
public:
    WinsockSession() { WSAStartup(MAKEWORD(2, 2), &data_); }
    ~WinsockSession() { WSACleanup(); }

private:
    WSADATA data_;
};

// A listening socket on a loopback address and a free port.
struct Listener {
    SOCKET socket = INVALID_SOCKET;
    int port = 0;

    explicit Listener(int family)
    {
        socket = ::socket(family, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_storage address = {};
        int length;
        if (family == AF_INET6) {
            auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
            v6->sin6_family = AF_INET6;
            v6->sin6_addr = in6addr_loopback;
            length = sizeof *v6;
        } else {
            auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
            v4->sin_family = AF_INET;
            v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof *v4;
        }
        if (bind(socket, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(socket, 4) != 0)
            return;
        getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                        : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    }
    ~Listener() { closesocket(socket); }

    // True when a connection is waiting to be accepted; accepts and closes it.
    bool AcceptedOne()
    {
        fd_set read;
        FD_ZERO(&read);
        FD_SET(socket, &read);
        timeval wait = {2, 0};
        if (select(0, &read, nullptr, nullptr, &wait) != 1)
            return false;
        SOCKET peer = accept(socket, nullptr, nullptr);
        closesocket(peer);
        return peer != INVALID_SOCKET;
    }
};

bool Connects(const std::string& host, int port)
{
    SOCKET s = IPV6OpenSocket(0, 0);
    if (s == INVALID_SOCKET)
        return false;
    int rc = IPV6ConnectToINetServer(s, host.c_str(), port);
    closesocket(s);
    return rc == 0;
}

TEST(GwcoreSockets, ReachIpv4AndIpv6PeersByNameAndLiteral)
{
    WinsockSession winsock;
    Listener v4(AF_INET);
    ASSERT_NE(0, v4.port);
    for (const char* host : {"127.0.0.1", "localhost", " 127.0.0.1 "}) {
        EXPECT_TRUE(Connects(host, v4.port)) << host;
        EXPECT_TRUE(v4.AcceptedOne()) << host;
    }
    EXPECT_TRUE(Connects("127.0.0.1:" + std::to_string(v4.port), 0));
    EXPECT_TRUE(v4.AcceptedOne());

    Listener v6(AF_INET6);
    if (v6.port == 0)
        GTEST_SKIP() << "no IPv6 loopback on this machine";
    for (const std::string& host : {std::string("::1"), std::string("[::1]")}) {
        EXPECT_TRUE(Connects(host, v6.port)) << host;
        EXPECT_TRUE(v6.AcceptedOne()) << host;
    }
    EXPECT_TRUE(Connects("[::1]:" + std::to_string(v6.port), 0));
    EXPECT_TRUE(v6.AcceptedOne());
}

TEST(GwcoreSockets, FailuresAreReportedNotConnected)
{
    WinsockSession winsock;
    int closedPort;
    {
        Listener gone(AF_INET);
        closedPort = gone.port;
    }
    EXPECT_FALSE(Connects("127.0.0.1", closedPort));       // refused
    EXPECT_FALSE(Connects("no-such-host.invalid", 25));    // unknown name
    EXPECT_FALSE(Connects("[::1", 25));                    // malformed
    EXPECT_FALSE(Connects("phone-modem-without-port", 0)); // no port anywhere
    EXPECT_NE(0, IPV6ConnectToINetServer(INVALID_SOCKET, "127.0.0.1", 25));
}

// A peer that takes no more connections (its backlog is full and it never accepts) is not
// waited for beyond the socket's send time limit; the socket stays blocking afterwards.
TEST(GwcoreSockets, AConnectNobodyAnswersEndsWithinTheSendLimit)
{
    WinsockSession winsock;
    Listener full(AF_INET);
    ASSERT_NE(0, full.port);
    std::vector<SOCKET> queued;
    SOCKET s = INVALID_SOCKET;
    int rc = 0;
    DWORD took = 0;
    for (int attempt = 0; attempt < 16 && rc == 0; ++attempt) {
        if (s != INVALID_SOCKET)
            queued.push_back(s);
        s = IPV6OpenSocket(0, 0);
        DWORD limit = 1500;
        setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
        DWORD started = GetTickCount();
        rc = IPV6ConnectToINetServer(s, "127.0.0.1", full.port);
        took = GetTickCount() - started;
    }
    EXPECT_EQ(WSAETIMEDOUT, rc);
    EXPECT_GE(took, 1400u);
    EXPECT_LT(took, 5000u);
    closesocket(s);
    for (SOCKET q : queued)
        closesocket(q);

    // A connected socket is handed back blocking: a receive with nothing sent waits for its
    // time limit instead of failing at once with WSAEWOULDBLOCK.
    Listener open(AF_INET);
    SOCKET c = IPV6OpenSocket(0, 0);
    ASSERT_EQ(0, IPV6ConnectToINetServer(c, "127.0.0.1", open.port));
    DWORD receiveLimit = 300;
    setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&receiveLimit), sizeof receiveLimit);
    char byte;
    EXPECT_EQ(SOCKET_ERROR, recv(c, &byte, 1, 0));
    EXPECT_NE(WSAEWOULDBLOCK, WSAGetLastError());
    closesocket(c);
}

TEST(GwcoreSignalling, WakesTheEventOfAnInterfaceAndRoute)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, "QelSMS-SMSOut-Modem One");
    ASSERT_NE(nullptr, event);
    EXPECT_TRUE(SetEventForInterface("SMSOut", "Modem One"));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0)); // one wake per request

    // Another route's event is not woken; nobody waiting is no error worth more than 0.
    EXPECT_FALSE(SetEventForInterface("VASPOut", "qelsmslite"));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(event, 0));
    CloseHandle(event);

    // Backslashes cannot stand in object names: a route with one maps to '_'.
    HANDLE routed = CreateEventA(nullptr, FALSE, FALSE, "QelSMS-VASPOut-10.0.0.1_x");
    ASSERT_NE(nullptr, routed);
    EXPECT_TRUE(SetEventForInterface("VASPOut", "10.0.0.1\\x"));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(routed, 0));
    CloseHandle(routed);
}

} // namespace
