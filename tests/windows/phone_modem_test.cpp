// The phone modem's "/init" exchange over real Winsock sockets, against a one-answer HTTP
// server of the test's own on 127.0.0.1.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "modem/phone_modem.h"

namespace {

class WinsockSession {
public:
    WinsockSession() { WSAStartup(MAKEWORD(2, 2), &data_); }
    ~WinsockSession() { WSACleanup(); }

private:
    WSADATA data_;
};

// Accepts one connection on a free loopback port, reads the request up to its blank line,
// sends the answer and closes.
class OneAnswerServer {
public:
    explicit OneAnswerServer(std::string answer) : answer_(std::move(answer))
    {
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listener_, 1) != 0)
            return;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~OneAnswerServer()
    {
        if (thread_.joinable())
            thread_.join();
        closesocket(listener_);
    }

    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
    // The request as received; complete once the exchange is over.
    const std::string& request() const { return request_; }

private:
    void Serve()
    {
        fd_set pending;
        FD_ZERO(&pending);
        FD_SET(listener_, &pending);
        timeval wait = {10, 0};
        if (select(0, &pending, nullptr, nullptr, &wait) != 1)
            return;
        SOCKET peer = accept(listener_, nullptr, nullptr);
        if (peer == INVALID_SOCKET)
            return;
        DWORD timeoutMs = 5000;
        setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
        char chunk[256];
        while (request_.find("\r\n\r\n") == std::string::npos) {
            int got = recv(peer, chunk, sizeof chunk, 0);
            if (got <= 0)
                break;
            request_.append(chunk, got);
        }
        send(peer, answer_.data(), static_cast<int>(answer_.size()), 0);
        shutdown(peer, SD_SEND);
        closesocket(peer);
    }

    std::string answer_;
    std::string request_;
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::thread thread_;
};

// A loopback port that nobody listens on.
std::string ClosedHost()
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    bind(s, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    closesocket(s);
    return "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

const char kRequest[] = "GET /init HTTP/1.0\r\n\r\n";

TEST(PhoneModem, ProbeAsksForInitAndNeedsBothDeviceHeaders)
{
    WinsockSession winsock;
    {
        OneAnswerServer phone("HTTP/1.0 200 OK\r\nX-QelSMS-DeviceName: Pixel 7\r\nX-QelSMS-DeviceID: 358123\r\n\r\n");
        EXPECT_TRUE(PhoneModemProbeHost(phone.host().c_str()));
        EXPECT_EQ(kRequest, phone.request());
    }
    {
        OneAnswerServer phone("HTTP/1.0 200 OK\r\nX-QelSMS-DeviceName: Pixel 7\r\n\r\n");
        EXPECT_FALSE(PhoneModemProbeHost(phone.host().c_str()));
        EXPECT_EQ(kRequest, phone.request());
    }
}

TEST(PhoneModem, MmsSettingsAndNoPhoneAtAll)
{
    WinsockSession winsock;
    char url[kPhoneModemValueSize] = "stale";
    char proxy[kPhoneModemValueSize] = "stale";
    {
        OneAnswerServer phone("HTTP/1.0 200 OK\nX-QelSMS-MMSURL: http://mms.example/mms\nX-QelSMS-MMSProxy: "
                              "10.0.0.1:8080\n\n");
        EXPECT_TRUE(PhoneModemMMSSettingsHost(phone.host().c_str(), url, proxy));
        EXPECT_STREQ("http://mms.example/mms", url);
        EXPECT_STREQ("10.0.0.1:8080", proxy);
    }

    EXPECT_FALSE(PhoneModemMMSSettingsHost(ClosedHost().c_str(), url, proxy));
    EXPECT_STREQ("", url);
    EXPECT_STREQ("", proxy);
}

} // namespace
