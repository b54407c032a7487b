// Phone-modem discovery in GWCORE.DLL against a responder of the test's own on 127.0.0.1,
// which the library's "ModemDiscoveryServer" value sends the queries to, and connections
// to the phone modems it found.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "gateway/gwcore/dns_sd.h"
#include "gateway/gwcore/gwcore.h"

namespace {

const char kSettingsKey[] = "SOFTWARE\\QelSMS\\Lite";
const char kServerValue[] = "ModemDiscoveryServer";

class WinsockSession {
public:
    WinsockSession() { WSAStartup(MAKEWORD(2, 2), &data_); }
    ~WinsockSession() { WSACleanup(); }

private:
    WSADATA data_;
};

// Sends the library's queries to a server while it lives; puts back what was there.
class DiscoveryServerSetting {
public:
    explicit DiscoveryServerSetting(const std::string& server)
    {
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                        &key_, nullptr);
        char old[256] = "";
        DWORD size = sizeof old - 1;
        hadValue_ = RegQueryValueExA(key_, kServerValue, nullptr, nullptr, reinterpret_cast<BYTE*>(old), &size) ==
                    ERROR_SUCCESS;
        old_ = old;
        Write(server);
    }
    ~DiscoveryServerSetting()
    {
        if (hadValue_)
            Write(old_);
        else
            RegDeleteValueA(key_, kServerValue);
        RegCloseKey(key_);
    }

private:
    void Write(const std::string& value)
    {
        RegSetValueExA(key_, kServerValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    }
    HKEY key_ = nullptr;
    bool hadValue_ = false;
    std::string old_;
};

struct ScriptedPhone {
    std::string name;
    int port;
    int fromQuery; // answers from this query on
    int copies;    // how often each answer is sent
};

// Answers the phone-modem query from a thread as phones do: each phone its own answer,
// PTR in the answer section, SRV and A in the additional one. Before the first answer to
// each query comes a cut-off copy of it, which the library must pass over.
class TestResponder {
public:
    explicit TestResponder(std::vector<ScriptedPhone> phones) : phones_(std::move(phones))
    {
        socket_ = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        if (bind(socket_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~TestResponder()
    {
        stop_ = true;
        thread_.join();
        closesocket(socket_);
    }
    int port() const { return port_; }
    int queries() const { return queries_; }

private:
    void Run()
    {
        while (!stop_) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(socket_, &readable);
            timeval wait = {0, 50000};
            if (select(0, &readable, nullptr, nullptr, &wait) != 1)
                continue;
            char buffer[1500];
            sockaddr_storage from = {};
            int fromLength = sizeof from;
            int got = recvfrom(socket_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
            DnsMessage query;
            if (got <= 0 || !ParseDnsMessage(reinterpret_cast<uint8_t*>(buffer), got, query) || query.flags != 0 ||
                query.questions.empty() || query.questions[0].name != ModemServiceType())
                continue;
            ++queries_;
            bool first = true;
            for (size_t i = 0; i < phones_.size(); ++i) {
                if (queries_ < phones_[i].fromQuery)
                    continue;
                const std::vector<uint8_t> answer = Answer(query, i);
                if (first)
                    Send(answer.data(), answer.size() / 2, from, fromLength);
                first = false;
                for (int copy = 0; copy < phones_[i].copies; ++copy)
                    Send(answer.data(), answer.size(), from, fromLength);
            }
        }
    }

    std::vector<uint8_t> Answer(const DnsMessage& query, size_t index) const
    {
        const ScriptedPhone& phone = phones_[index];
        DnsName instance = ModemServiceType();
        instance.insert(instance.begin(), phone.name);
        const DnsName host = {"phone" + std::to_string(index), "local"};
        DnsMessage answer;
        answer.id = query.id;
        answer.flags = 0x8400;
        answer.questions = query.questions;
        answer.records = {
            {DnsSection::Answer, ModemServiceType(), kDnsTypePtr, 120, instance, 0, {}},
            {DnsSection::Additional, instance, kDnsTypeSrv, 120, host, static_cast<uint16_t>(phone.port), {}},
            {DnsSection::Additional, host, kDnsTypeA, 120, {}, 0, {127, 0, 0, 1}},
        };
        return EncodeDnsMessage(answer);
    }

    void Send(const uint8_t* data, size_t size, const sockaddr_storage& to, int toLength)
    {
        sendto(socket_, reinterpret_cast<const char*>(data), static_cast<int>(size), 0,
               reinterpret_cast<const sockaddr*>(&to), toLength);
    }

    std::vector<ScriptedPhone> phones_;
    SOCKET socket_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<int> queries_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A TCP listener on 127.0.0.1 standing in for a phone modem's HTTP server.
struct Listener {
    SOCKET socket = INVALID_SOCKET;
    int port = 0;

    Listener()
    {
        socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        if (bind(socket, reinterpret_cast<sockaddr*>(&address), length) == 0 && listen(socket, 4) == 0 &&
            getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
    }
    ~Listener() { closesocket(socket); }

    bool AcceptedOne()
    {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket, &readable);
        timeval wait = {2, 0};
        if (select(0, &readable, nullptr, nullptr, &wait) != 1)
            return false;
        SOCKET peer = accept(socket, nullptr, nullptr);
        closesocket(peer);
        return peer != INVALID_SOCKET;
    }
};

// The cache entries of that name, compared without regard to case.
std::vector<const ModemCacheEntry*> Entries(const std::string& name)
{
    std::vector<const ModemCacheEntry*> found;
    for (const ModemCacheEntry* entry = QelsmsModemCacheHead(); entry; entry = entry->Next()) {
        if (EqualsNoCase(entry->name, name))
            found.push_back(entry);
    }
    return found;
}

bool Connects(const std::string& host)
{
    SOCKET s = IPV6OpenSocket(0, 0);
    if (s == INVALID_SOCKET)
        return false;
    int rc = IPV6ConnectToINetServer(s, host.c_str(), 0);
    closesocket(s);
    return rc == 0;
}

TEST(GwcoreDiscovery, FindsPlainNamedPhonesWhileTheSearchRuns)
{
    WinsockSession winsock;
    TestResponder responder({
        {"Pixel 7", 8990, 1, 2},
        {"Galaxy A52", 8991, 1, 1},
        {"../evil", 8992, 1, 1},
        {"bad]name", 8993, 1, 1},
        {"Late Phone", 8994, 2, 1},
        {"PIXEL 7", 8995, 2, 1},
    });
    ASSERT_NE(0, responder.port());
    DiscoveryServerSetting server("127.0.0.1:" + std::to_string(responder.port()));

    // The cache is read while the search runs, as the wizard's page reads it: the phones
    // that answer the first query are listed before the late one has answered.
    std::atomic<bool> searching{true};
    int result = -1;
    std::thread search([&] {
        result = FindQelSMSModem(0, 0, 3);
        searching = false;
    });
    bool listedBeforeTheLateOne = false;
    while (searching) {
        if (!Entries("Pixel 7").empty()) {
            listedBeforeTheLateOne = Entries("Late Phone").empty();
            break;
        }
        Sleep(10);
    }
    search.join();
    EXPECT_TRUE(listedBeforeTheLateOne);
    EXPECT_GE(responder.queries(), 2);

    const struct {
        const char* name;
        size_t count;
        int port;
    } expected[] = {
        {"Pixel 7", 1, 8990}, {"Galaxy A52", 1, 8991}, {"Late Phone", 1, 8994}, {"../evil", 0, 0}, {"bad]name", 0, 0},
    };
    for (const auto& e : expected) {
        std::vector<const ModemCacheEntry*> entries = Entries(e.name);
        ASSERT_EQ(e.count, entries.size()) << e.name;
        if (e.count) {
            EXPECT_STREQ("127.0.0.1", entries[0]->host) << e.name;
            EXPECT_EQ(e.port, entries[0]->port) << e.name;
        }
    }
    int listed = 0;
    for (const ModemCacheEntry* entry = QelsmsModemCacheHead(); entry; entry = entry->Next(), ++listed)
        EXPECT_TRUE(IsPlainModemName(entry->name)) << entry->name;
    EXPECT_EQ(listed, result);
}

TEST(GwcoreDiscovery, ConnectsToPhonesByNameAndTypedAddress)
{
    WinsockSession winsock;
    Listener phone;
    ASSERT_NE(0, phone.port);
    TestResponder responder({{"Moto G", phone.port, 1, 1}});
    DiscoveryServerSetting server("127.0.0.1:" + std::to_string(responder.port()));
    FindQelSMSModem(0, 0, 1);
    ASSERT_EQ(1u, Entries("Moto G").size());

    for (const std::string& host : {std::string("qelsmsmodem_Moto G"), std::string("QelSMSModem_moto g"),
                                    "qelsmsmodem_127.0.0.1:" + std::to_string(phone.port)}) {
        EXPECT_TRUE(Connects(host)) << host;
        EXPECT_TRUE(phone.AcceptedOne()) << host;
    }
    for (const char* host : {"qelsmsmodem_Nokia 3310", "qelsmsmodem_../evil", "qelsmsmodem_127.0.0.1"})
        EXPECT_FALSE(Connects(host)) << host;
}

} // namespace
