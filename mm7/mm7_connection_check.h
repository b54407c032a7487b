// The check the MM7 dialog makes before it saves: a TCP connection to the server the URL
// names and, for https, a TLS handshake whose server certificate verifies. Written against
// a small view of the network so that every path runs natively in the tests.
// Portable: no windows.h.
#pragma once

#include <string>

extern const char kNoUrlMessage[];         // "Please define a URL for connecting to the server"
extern const char kSocketErrorMessage[];   // "General socket error"
extern const char kBadServerUrlMessage[];  // the URL names no host, or no port from 1 to 65535
extern const char kTlsUnavailableReason[]; // why an https server cannot be checked without TLS

struct Mm7Endpoint {
    std::string host; // as ParseServerAddress gives it: a bracketed IPv6 literal keeps its brackets
    unsigned port = 0;
    bool tls = false;
};

// A leading "http://" is dropped; a leading "https://" is dropped and marks TLS (both in
// any letter case). The rest up to the first "/" is a host with an optional ":port"; the
// port defaults to 443 with TLS, 80 without. False when that names no host or a port
// outside 1-65535.
bool ParseMm7ServerUrl(const std::string& url, Mm7Endpoint& endpoint);

// The host name a certificate must carry: the host without the brackets of an IPv6 literal.
std::string CertificateHostOf(const std::string& host);

// The network as the check sees it; one socket at a time.
class Mm7Network {
public:
    virtual ~Mm7Network() = default;
    virtual bool OpenSocket() = 0;
    virtual bool Connect(const std::string& host, unsigned port) = 0;
    // TLSLINK.DLL is loaded and its library start succeeded.
    virtual bool TlsUsable() = 0;
    // A TLS handshake on the connected socket that checks the server certificate against
    // certificateHost; the session is freed at once. False with what failed in failure.
    virtual bool Handshake(const std::string& certificateHost, std::string& failure) = 0;
    virtual void CloseSocket() = 0;
};

struct Mm7CheckResult {
    bool ok = false;
    std::string message; // the refusal to show when not ok
};

// Runs the check over the URL as typed. The socket is closed on every path.
Mm7CheckResult CheckMm7Server(const std::string& url, Mm7Network& network);

// "Unable to connect to server %s:%u" and "Unable to negotiate SSL/TLS connection with
// server %s:%u\r\n\r\n" followed by the reason.
std::string ConnectFailureMessage(const Mm7Endpoint& endpoint);
std::string TlsFailureMessage(const Mm7Endpoint& endpoint, const std::string& reason);
