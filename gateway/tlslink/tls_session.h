// One TLS session over a connected, blocking socket, on Schannel through SSPI. Every wait for
// the peer has a bound: the whole handshake, and each Send and Recv, end within waitMs (or the
// socket's own receive time-out when that is shorter); a Recv or Send that runs out fails with
// WSAETIMEDOUT.
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
    static TlsSession* Connect(SOCKET socket, const char* host, unsigned waitMs, std::string& failure);
    // A server session with the given certificate, or null with what failed in failure.
    static TlsSession* Accept(SOCKET socket, PCCERT_CONTEXT certificate, unsigned waitMs, std::string& failure);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    int Send(const char* data, int length, unsigned waitMs);
    int Recv(char* buffer, int length, unsigned waitMs);
    int Pending() const;
    // Sends close_notify when the session is still sound.
    void Shutdown(unsigned waitMs);

private:
    enum class Record { kData, kNeedMore, kClosed, kFailed };

    TlsSession(SOCKET socket, bool server, const char* host);
    bool AcquireCredentials(PCCERT_CONTEXT certificate, std::string& failure);
    bool ClientHandshake(std::string& failure);
    bool ServerHandshake(std::string& failure);
    // One handshake step over what is in incoming_; consumes what the provider used.
    SECURITY_STATUS Step(bool first);
    bool ReceiveForHandshake(std::string& failure);
    // The server's first bytes must be able to start a TLS record.
    bool CheckFirstRecord(std::string& failure);
    // What made the handshake fail: a send that failed, else the provider's status.
    std::string HandshakeFailure(SECURITY_STATUS status) const;
    bool CheckServerCertificate(std::string& failure);
    bool CheckProtocol(std::string& failure);
    bool QuerySizes(std::string& failure);
    // Starts the clock of one operation that may wait up to waitMs for the peer.
    void BeginWait(unsigned waitMs);
    // Waits until the socket can be read (or written) within the operation's bound: false
    // with WSAETIMEDOUT when the bound passed first, or with the socket's error.
    bool WaitReady(bool write);
    // Reads more bytes from the socket into incoming_: their count, 0 when the peer closed,
    // SOCKET_ERROR on failure (WSAETIMEDOUT when the bound passed).
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
    bool firstRecordChecked_ = false;
    DWORD waitStart_ = 0;
    unsigned waitMs_ = 0;
    bool broken_ = false;
    std::string sendFailure_;
};
