// The search for phone modems: DNS-SD queries over multicast DNS from an ephemeral port
// (one-shot queries, answered by unicast), answers read as they come and every phone modem
// published in the cache as soon as its name, address and port are known.
#include "gateway/gwcore/gwcore.h"

#include <ws2tcpip.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gateway/gwcore/dns_sd.h"
#include "gateway/gwcore/host_address.h"
#include "gateway/gwcore/modem_cache.h"

namespace {

const char kSettingsKey[] = "SOFTWARE\\QelSMS\\Lite";
// "host:port" to send the queries to instead of the multicast groups.
const char kDiscoveryServerValue[] = "ModemDiscoveryServer";
const char kMdnsGroupV4[] = "224.0.0.251";
const char kMdnsGroupV6[] = "ff02::fb";
const int kMdnsPort = 5353;
const DWORD kFirstQueryInterval = 1000;
const DWORD kLongestQueryInterval = 8000;
const int kLongestSearch = 3600; // seconds
const size_t kMostFollowUps = 16;
const int kLargestAnswer = 9000;

class WinsockUse {
public:
    WinsockUse() : ok_(WSAStartup(MAKEWORD(2, 2), &data_) == 0) {}
    ~WinsockUse()
    {
        if (ok_)
            WSACleanup();
    }
    bool ok() const { return ok_; }

private:
    WSADATA data_;
    bool ok_;
};

std::string DiscoveryServerOverride()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return {};
    char value[256] = "";
    DWORD type = 0;
    DWORD size = sizeof value - 1;
    LONG rc = RegQueryValueExA(key, kDiscoveryServerValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ)
        return {};
    value[size < sizeof value ? size : sizeof value - 1] = '\0';
    return value;
}

bool ResolveUdp(const HostAddress& address, sockaddr_storage& out, int& length)
{
    char service[8];
    wsprintfA(service, "%d", address.port);
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_protocol = IPPROTO_UDP;
    addrinfo* results = nullptr;
    if (getaddrinfo(address.host.c_str(), service, &hints, &results) != 0)
        return false;
    bool ok = results->ai_addrlen <= sizeof out;
    if (ok) {
        memcpy(&out, results->ai_addr, results->ai_addrlen);
        length = static_cast<int>(results->ai_addrlen);
    }
    freeaddrinfo(results);
    return ok;
}

bool SameEndpoint(const sockaddr_storage& a, const sockaddr_storage& b)
{
    if (a.ss_family != b.ss_family)
        return false;
    if (a.ss_family == AF_INET) {
        const auto& x = reinterpret_cast<const sockaddr_in&>(a);
        const auto& y = reinterpret_cast<const sockaddr_in&>(b);
        return x.sin_port == y.sin_port && x.sin_addr.s_addr == y.sin_addr.s_addr;
    }
    const auto& x = reinterpret_cast<const sockaddr_in6&>(a);
    const auto& y = reinterpret_cast<const sockaddr_in6&>(b);
    return x.sin6_port == y.sin6_port && memcmp(&x.sin6_addr, &y.sin6_addr, sizeof x.sin6_addr) == 0;
}

// A UDP socket on an ephemeral port and where its queries go. Answers to a multicast query
// come from any phone on the link; answers to a server's only from that server.
class QueryChannel {
public:
    QueryChannel(const sockaddr_storage& destination, int length, bool multicast)
        : destination_(destination), length_(length), multicast_(multicast)
    {
        socket_ = ::socket(destination.ss_family, SOCK_DGRAM, IPPROTO_UDP);
        if (socket_ == INVALID_SOCKET || !multicast)
            return;
        // Multicast DNS packets go out with a hop limit of 255.
        DWORD hops = 255;
        if (destination.ss_family == AF_INET)
            setsockopt(socket_, IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<const char*>(&hops), sizeof hops);
        else
            setsockopt(socket_, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, reinterpret_cast<const char*>(&hops), sizeof hops);
    }
    ~QueryChannel()
    {
        if (socket_ != INVALID_SOCKET)
            closesocket(socket_);
    }
    QueryChannel(const QueryChannel&) = delete;
    QueryChannel& operator=(const QueryChannel&) = delete;

    SOCKET socket() const { return socket_; }
    // True once a query went out: an unsent socket has no port to be answered on.
    bool sent() const { return sent_; }

    void Send(const std::vector<uint8_t>& query)
    {
        if (socket_ != INVALID_SOCKET &&
            sendto(socket_, reinterpret_cast<const char*>(query.data()), static_cast<int>(query.size()), 0,
                   reinterpret_cast<const sockaddr*>(&destination_), length_) != SOCKET_ERROR)
            sent_ = true;
    }

    // One datagram; false when there was none or it came from elsewhere than the server.
    bool Receive(std::vector<uint8_t>& packet)
    {
        packet.resize(kLargestAnswer);
        sockaddr_storage from = {};
        int fromLength = sizeof from;
        int got = recvfrom(socket_, reinterpret_cast<char*>(packet.data()), kLargestAnswer, 0,
                           reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got <= 0 || (!multicast_ && !SameEndpoint(from, destination_)))
            return false;
        packet.resize(static_cast<size_t>(got));
        return true;
    }

private:
    SOCKET socket_ = INVALID_SOCKET;
    sockaddr_storage destination_;
    int length_;
    bool multicast_;
    bool sent_ = false;
};

class ModemSearch {
public:
    ModemSearch() : id_(static_cast<uint16_t>(GetTickCount() ^ (GetCurrentProcessId() << 4))) {}

    // The server of the registry value if there is one, else both multicast groups.
    bool Open()
    {
        const std::string server = DiscoveryServerOverride();
        if (!server.empty()) {
            HostAddress address;
            return ParseHostAddress(server, 0, address) && address.port != 0 && AddChannel(address, false);
        }
        bool v4 = AddChannel({kMdnsGroupV4, kMdnsPort}, true);
        bool v6 = AddChannel({kMdnsGroupV6, kMdnsPort}, true);
        return v4 || v6;
    }

    // Queries at growing intervals and reads answers until the time is up.
    void Run(DWORD duration)
    {
        const DWORD start = GetTickCount();
        DWORD nextQuery = 0;
        DWORD interval = kFirstQueryInterval;
        for (;;) {
            const DWORD elapsed = GetTickCount() - start;
            if (elapsed >= duration)
                return;
            if (elapsed >= nextQuery) {
                SendQuery();
                nextQuery += interval;
                interval = interval * 2 < kLongestQueryInterval ? interval * 2 : kLongestQueryInterval;
                continue;
            }
            WaitAndRead((nextQuery < duration ? nextQuery : duration) - elapsed);
        }
    }

private:
    bool AddChannel(const HostAddress& address, bool multicast)
    {
        sockaddr_storage destination = {};
        int length = 0;
        if (!ResolveUdp(address, destination, length))
            return false;
        auto channel = std::make_unique<QueryChannel>(destination, length, multicast);
        if (channel->socket() == INVALID_SOCKET)
            return false;
        channels_.push_back(std::move(channel));
        return true;
    }

    void SendQuery()
    {
        const std::vector<uint8_t> query = BuildModemQuery(id_, browser_.FollowUps(kMostFollowUps));
        for (const auto& channel : channels_)
            channel->Send(query);
    }

    void WaitAndRead(DWORD milliseconds)
    {
        fd_set readable;
        FD_ZERO(&readable);
        for (const auto& channel : channels_) {
            if (channel->sent())
                FD_SET(channel->socket(), &readable);
        }
        timeval wait = {static_cast<long>(milliseconds / 1000), static_cast<long>(milliseconds % 1000 * 1000)};
        if (readable.fd_count == 0) {
            Sleep(milliseconds);
            return;
        }
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0)
            return;
        std::vector<uint8_t> packet;
        for (const auto& channel : channels_) {
            if (FD_ISSET(channel->socket(), &readable) && channel->Receive(packet))
                TakeAnswer(packet);
        }
    }

    void TakeAnswer(const std::vector<uint8_t>& packet)
    {
        DnsMessage message;
        if (!ParseDnsMessage(packet.data(), packet.size(), message))
            return; // malformed: ignored as a whole
        for (const FoundModem& modem : browser_.Add(message))
            DiscoveredModems().Add(modem.name, modem.host, modem.port);
    }

    uint16_t id_;
    std::vector<std::unique_ptr<QueryChannel>> channels_;
    ModemBrowser browser_;
};

} // namespace

int WINAPI FindQelSMSModem(int, int, int seconds)
{
    if (seconds > 0) {
        WinsockUse winsock;
        ModemSearch search;
        if (winsock.ok() && search.Open())
            search.Run(static_cast<DWORD>(seconds < kLongestSearch ? seconds : kLongestSearch) * 1000);
    }
    return static_cast<int>(DiscoveredModems().Count());
}

const ModemCacheEntry* WINAPI QelsmsModemCacheHead()
{
    return DiscoveredModems().Head();
}
