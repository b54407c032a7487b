#include "modem/phone_modem.h"

#include <climits>
#include <functional>
#include <string>

#include "gateway/gwcore/gwcore.h"
#include "modem/phone_modem_http.h"

namespace {

const char kInitRequest[] = "GET /init HTTP/1.0\r\n\r\n";
const char kHostPrefix[] = "qelsmsmodem_";

const char kDeviceNameHeader[] = "X-QelSMS-DeviceName:";
const char kDeviceIdHeader[] = "X-QelSMS-DeviceID:";
const char kMmsUrlHeader[] = "X-QelSMS-MMSURL:";
const char kMmsProxyHeader[] = "X-QelSMS-MMSProxy:";

// Closes a socket when it goes out of scope.
class ScopedSocket {
public:
    explicit ScopedSocket(SOCKET socket) : socket_(socket) {}
    ~ScopedSocket()
    {
        if (socket_ != INVALID_SOCKET)
            closesocket(socket_);
    }
    ScopedSocket(const ScopedSocket&) = delete;
    ScopedSocket& operator=(const ScopedSocket&) = delete;
    SOCKET get() const { return socket_; }

private:
    SOCKET socket_;
};

// The response reader's view of a connected Winsock socket.
class SocketStream : public ResponseStream {
public:
    explicit SocketStream(SOCKET socket) : socket_(socket) {}

    Wait WaitReadable(int seconds) override
    {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket_, &readable);
        timeval wait = {seconds, 0};
        int ready = select(0, &readable, nullptr, nullptr, &wait);
        return ready > 0 ? Wait::Readable : ready == 0 ? Wait::TimedOut : Wait::Failed;
    }

    bool BytesWaiting(size_t& count) override
    {
        u_long waiting = 0;
        if (ioctlsocket(socket_, FIONREAD, &waiting) != 0)
            return false;
        count = waiting;
        return true;
    }

    long Receive(char* buffer, size_t length) override
    {
        int got = recv(socket_, buffer, static_cast<int>(length < INT_MAX ? length : INT_MAX), 0);
        return got == SOCKET_ERROR ? -1 : got;
    }

    uint64_t NowSeconds() override { return GetTickCount64() / 1000; }
    void SleepMs(unsigned milliseconds) override { Sleep(milliseconds); }

private:
    SOCKET socket_;
};

// One "/init" exchange with the phone at host: connects, asks, reads the whole answer and
// hands its text to judge. False when any step fails, else what judge says.
bool ExchangeInit(const char* host, const std::function<bool(const char*)>& judge)
{
    ScopedSocket socket(IPV6OpenSocket(0, 0));
    if (socket.get() == INVALID_SOCKET)
        return false;
    if (IPV6ConnectToINetServer(socket.get(), host, 0) != 0)
        return false;
    send(socket.get(), kInitRequest, sizeof kInitRequest - 1, 0);
    SocketStream stream(socket.get());
    PhoneModemResponse response;
    if (!ReadPhoneModemResponse(stream, response))
        return false;
    return judge(response.text());
}

std::string PhoneModemHost(const char* address)
{
    return kHostPrefix + std::string(address);
}

} // namespace

bool PhoneModemProbeHost(const char* host)
{
    return ExchangeInit(host, [](const char* answer) {
        char value[kPhoneModemValueSize];
        ExtractPhoneModemHeader(answer, kDeviceNameHeader, value, sizeof value);
        if (value[0] == '\0')
            return false;
        ExtractPhoneModemHeader(answer, kDeviceIdHeader, value, sizeof value);
        return value[0] != '\0';
    });
}

bool PhoneModemMMSSettingsHost(const char* host, char* url, char* proxy)
{
    url[0] = '\0';
    proxy[0] = '\0';
    return ExchangeInit(host, [url, proxy](const char* answer) {
        ExtractPhoneModemHeader(answer, kMmsUrlHeader, url, kPhoneModemValueSize);
        if (url[0] == '\0')
            return false;
        ExtractPhoneModemHeader(answer, kMmsProxyHeader, proxy, kPhoneModemValueSize);
        return true;
    });
}

bool PhoneModemProbe(const char* address)
{
    return PhoneModemProbeHost(PhoneModemHost(address).c_str());
}

bool PhoneModemMMSSettings(const char* address, char* url, char* proxy)
{
    return PhoneModemMMSSettingsHost(PhoneModemHost(address).c_str(), url, proxy);
}
