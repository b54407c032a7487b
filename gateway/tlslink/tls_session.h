// One TLS session over a connected, blocking socket, on Schannel through SSPI.
#pragma once

#include <winsock2.h>
#include <windows.h>
#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>

#include <string>
#include <vector>

class TlsSession {
public:
    // A client session after a complete handshake and certificate check, or null with what
    // failed in failure. host may be null: no SNI and no name check then.
    static TlsSession* Connect(SOCKET socket, const char* host, std::string& failure);
    // A server session with the given certificate, or null with what failed in failure.
    static TlsSession* Accept(SOCKET socket, PCCERT_CONTEXT certificate, std::string& failure);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    int Send(const char* data, int length);
    int Recv(char* buffer, int length);
    int Pending() const;
    // Sends close_notify when the session is still sound.
    void Shutdown();

private:
    enum class Record { kData, kNeedMore, kClosed, kFailed };

    TlsSession(SOCKET socket, bool server, const char* host);
    bool AcquireCredentials(PCCERT_CONTEXT certificate, std::string& failure);
    bool ClientHandshake(std::string& failure);
    bool ServerHandshake(std::string& failure);
    // One handshake step over what is in incoming_; consumes what the provider used.
    SECURITY_STATUS Step(bool first);
    bool ReceiveForHandshake(std::string& failure);
    // What made the handshake fail: a send that failed, else the provider's status.
    std::string HandshakeFailure(SECURITY_STATUS status) const;
    bool CheckServerCertificate(std::string& failure);
    bool QuerySizes(std::string& failure);
    // Reads more bytes from the socket into incoming_: their count, 0 when the peer closed,
    // SOCKET_ERROR on failure.
    int ReceiveMore();
    bool SendAll(const char* data, size_t length);
    Record DecryptOne();
    DWORD RequestFlags() const;

    SOCKET socket_;
    bool server_;
    std::string host_;
    CredHandle credentials_ = {};
    CtxtHandle context_ = {};
    bool haveCredentials_ = false;
    bool haveContext_ = false;
    SecPkgContext_StreamSizes sizes_ = {};
    std::vector<char> incoming_; // received, not yet decrypted
    std::vector<char> plain_;    // decrypted, not yet read from plainOffset_ on
    size_t plainOffset_ = 0;
    bool peerClosed_ = false;
    bool broken_ = false;
    std::string sendFailure_;
};
