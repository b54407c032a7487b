#include "gateway/tlslink/tls_session.h"

#include "gateway/tlslink/certificates.h"
#include "gateway/tlslink/security_text.h"
#include "gateway/tlslink/tls_rules.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr DWORD kClientFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                               ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                               ISC_REQ_MANUAL_CRED_VALIDATION;
constexpr DWORD kServerFlags = ASC_REQ_SEQUENCE_DETECT | ASC_REQ_REPLAY_DETECT | ASC_REQ_CONFIDENTIALITY |
                               ASC_REQ_EXTENDED_ERROR | ASC_REQ_ALLOCATE_MEMORY | ASC_REQ_STREAM;
constexpr int kReceiveChunk = 16 * 1024 + 512;
constexpr char kOldProtocolFailure[] = "TLS handshake failed: the server does not offer TLS 1.2 or later";
// A server asking for a client certificate is answered once without one.
constexpr int kCredentialRetries = 1;

std::string WinsockFailure(const char* what)
{
    char text[96];
    snprintf(text, sizeof text, "%s (Winsock error %d)", what, WSAGetLastError());
    return text;
}

// The socket in non-blocking mode while the session sends, so that a peer that stops reading
// cannot hold a send beyond its bound; blocking again afterwards, the error kept.
class NonBlocking {
public:
    explicit NonBlocking(SOCKET socket) : socket_(socket) { SetMode(1); }
    ~NonBlocking()
    {
        int error = WSAGetLastError();
        SetMode(0);
        WSASetLastError(error);
    }
    NonBlocking(const NonBlocking&) = delete;
    NonBlocking& operator=(const NonBlocking&) = delete;

private:
    void SetMode(u_long nonBlocking) { ioctlsocket(socket_, FIONBIO, &nonBlocking); }
    SOCKET socket_;
};

// The bound of one operation: the caller's, or the socket's own receive time-out when the
// caller set a shorter one on it.
unsigned SocketBound(SOCKET socket, unsigned waitMs)
{
    DWORD timeout = 0;
    int size = sizeof timeout;
    if (getsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&timeout), &size) == 0 && timeout > 0 &&
        timeout < waitMs)
        return timeout;
    return waitMs;
}

SecBuffer Buffer(unsigned long type, void* data = nullptr, size_t length = 0)
{
    SecBuffer buffer;
    buffer.cbBuffer = static_cast<unsigned long>(length);
    buffer.BufferType = type;
    buffer.pvBuffer = data;
    return buffer;
}

} // namespace

TlsSession::TlsSession(SOCKET socket, bool server, const char* host)
    : socket_(socket), server_(server), host_(host ? host : "")
{
}

TlsSession::~TlsSession()
{
    if (haveContext_)
        DeleteSecurityContext(&context_);
    if (haveCredentials_)
        FreeCredentialsHandle(&credentials_);
}

TlsSession* TlsSession::Connect(SOCKET socket, const char* host, unsigned waitMs, std::string& failure)
{
    std::unique_ptr<TlsSession> session(new TlsSession(socket, false, host));
    session->BeginWait(waitMs);
    if (!session->AcquireCredentials(nullptr, failure) || !session->ClientHandshake(failure) ||
        !session->CheckProtocol(failure) || !session->CheckServerCertificate(failure) || !session->QuerySizes(failure))
        return nullptr;
    return session.release();
}

TlsSession* TlsSession::Accept(SOCKET socket, PCCERT_CONTEXT certificate, unsigned waitMs, std::string& failure)
{
    std::unique_ptr<TlsSession> session(new TlsSession(socket, true, nullptr));
    session->BeginWait(waitMs);
    if (!session->AcquireCredentials(certificate, failure) || !session->ServerHandshake(failure) ||
        !session->QuerySizes(failure))
        return nullptr;
    return session.release();
}

bool TlsSession::AcquireCredentials(PCCERT_CONTEXT certificate, std::string& failure)
{
    SCHANNEL_CRED settings = {};
    settings.dwVersion = SCHANNEL_CRED_VERSION;
    if (server_) {
        settings.cCreds = 1;
        settings.paCred = &certificate;
        settings.grbitEnabledProtocols = SP_PROT_TLS1_2_SERVER;
    } else {
        settings.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
        settings.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    }
    TimeStamp expiry;
    SECURITY_STATUS status = AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A),
                                                       server_ ? SECPKG_CRED_INBOUND : SECPKG_CRED_OUTBOUND, nullptr,
                                                       &settings, nullptr, nullptr, &credentials_, &expiry);
    if (status != SEC_E_OK) {
        failure = StatusText("TLS credentials not available: ", status);
        return false;
    }
    haveCredentials_ = true;
    return true;
}

DWORD TlsSession::RequestFlags() const
{
    return server_ ? kServerFlags : kClientFlags;
}

SECURITY_STATUS TlsSession::Step(bool first)
{
    SecBuffer input[2] = {Buffer(SECBUFFER_TOKEN, incoming_.data(), incoming_.size()), Buffer(SECBUFFER_EMPTY)};
    SecBufferDesc inputDesc = {SECBUFFER_VERSION, 2, input};
    SecBuffer output[1] = {Buffer(SECBUFFER_TOKEN)};
    SecBufferDesc outputDesc = {SECBUFFER_VERSION, 1, output};
    ULONG attributes = 0;
    SECURITY_STATUS status;
    if (server_) {
        status = AcceptSecurityContext(&credentials_, first ? nullptr : &context_, &inputDesc, RequestFlags(), 0,
                                       first ? &context_ : nullptr, &outputDesc, &attributes, nullptr);
    } else {
        char* target = host_.empty() ? nullptr : &host_[0];
        status = InitializeSecurityContextA(&credentials_, first ? nullptr : &context_, target, RequestFlags(), 0, 0,
                                            first ? nullptr : &inputDesc, 0, first ? &context_ : nullptr, &outputDesc,
                                            &attributes, nullptr);
    }
    if (first && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED || status == SEC_I_INCOMPLETE_CREDENTIALS))
        haveContext_ = true;
    // The provider's answer goes out even on failure: it may be the alert telling the peer why.
    if (output[0].pvBuffer) {
        bool sent = SendAll(static_cast<const char*>(output[0].pvBuffer), output[0].cbBuffer);
        FreeContextBuffer(output[0].pvBuffer);
        if (!sent && !FAILED(status)) {
            sendFailure_ = WinsockFailure("sending failed during the handshake");
            return SEC_E_INTERNAL_ERROR;
        }
    }
    if (status == SEC_E_INCOMPLETE_MESSAGE || (first && !server_))
        return status;
    if (input[1].BufferType == SECBUFFER_EXTRA && input[1].cbBuffer <= incoming_.size())
        incoming_.erase(incoming_.begin(), incoming_.end() - input[1].cbBuffer);
    else
        incoming_.clear();
    return status;
}

std::string TlsSession::HandshakeFailure(SECURITY_STATUS status) const
{
    return sendFailure_.empty() ? StatusText("TLS handshake failed: ", status) : sendFailure_;
}

bool TlsSession::ReceiveForHandshake(std::string& failure)
{
    int received = ReceiveMore();
    if (received > 0)
        return server_ || CheckFirstRecord(failure);
    if (received == 0)
        failure = "connection closed during the handshake";
    else if (WSAGetLastError() == WSAETIMEDOUT)
        failure = std::string("the ") + (server_ ? "client" : "server") +
                  " did not complete the TLS handshake within " + WaitText(waitMs_);
    else
        failure = WinsockFailure("receiving failed during the handshake");
    return false;
}

bool TlsSession::CheckFirstRecord(std::string& failure)
{
    // Before the server's first record is whole the provider only asks for more: bytes of
    // another protocol would keep it asking until the bound.
    if (firstRecordChecked_)
        return true;
    const auto* bytes = reinterpret_cast<const unsigned char*>(incoming_.data());
    if (!CanStartTlsRecord(bytes, incoming_.size())) {
        failure = "the server did not answer with TLS";
        return false;
    }
    if (ShowsOlderThanTls12(bytes, incoming_.size())) {
        failure = kOldProtocolFailure;
        return false;
    }
    firstRecordChecked_ = incoming_.size() >= kServerHelloVersionEnd;
    return true;
}

bool TlsSession::ClientHandshake(std::string& failure)
{
    SECURITY_STATUS status = Step(true);
    if (status != SEC_I_CONTINUE_NEEDED) {
        failure = HandshakeFailure(status);
        return false;
    }
    bool needInput = true;
    int credentialRetries = kCredentialRetries;
    for (;;) {
        if (needInput && !ReceiveForHandshake(failure))
            return false;
        status = Step(false);
        if (status == SEC_E_OK)
            return true;
        if (status == SEC_I_CONTINUE_NEEDED)
            needInput = incoming_.empty();
        else if (status == SEC_E_INCOMPLETE_MESSAGE)
            needInput = true;
        else if (status == SEC_I_INCOMPLETE_CREDENTIALS && credentialRetries-- > 0)
            needInput = false;
        else {
            failure = HandshakeFailure(status);
            return false;
        }
    }
}

bool TlsSession::ServerHandshake(std::string& failure)
{
    bool first = true;
    bool needInput = true;
    for (;;) {
        if (needInput && !ReceiveForHandshake(failure))
            return false;
        SECURITY_STATUS status = Step(first);
        if (status == SEC_E_OK)
            return true;
        if (status == SEC_I_CONTINUE_NEEDED) {
            first = false;
            needInput = incoming_.empty();
        } else if (status == SEC_E_INCOMPLETE_MESSAGE) {
            needInput = true;
        } else {
            failure = HandshakeFailure(status);
            return false;
        }
    }
}

bool TlsSession::CheckServerCertificate(std::string& failure)
{
    PCCERT_CONTEXT certificate = nullptr;
    SECURITY_STATUS status = QueryContextAttributesA(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate);
    if (status != SEC_E_OK || !certificate) {
        failure = "server certificate not trusted: the server presented no certificate";
        return false;
    }
    bool trusted = VerifyServerCertificate(certificate, host_.c_str(), failure);
    CertFreeCertificateContext(certificate);
    broken_ = !trusted;
    return trusted;
}

bool TlsSession::CheckProtocol(std::string& failure)
{
    SecPkgContext_ConnectionInfo info = {};
    SECURITY_STATUS status = QueryContextAttributesA(&context_, SECPKG_ATTR_CONNECTION_INFO, &info);
    if (status != SEC_E_OK) {
        failure = StatusText("TLS handshake failed: no protocol version: ", status);
        return false;
    }
    if (info.dwProtocol & (SP_PROT_SSL2 | SP_PROT_SSL3 | SP_PROT_TLS1_0 | SP_PROT_TLS1_1)) {
        failure = kOldProtocolFailure;
        return false;
    }
    return true;
}

bool TlsSession::QuerySizes(std::string& failure)
{
    SECURITY_STATUS status = QueryContextAttributesA(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
    if (status != SEC_E_OK || sizes_.cbMaximumMessage == 0) {
        failure = StatusText("TLS handshake failed: no record sizes: ", status);
        return false;
    }
    return true;
}

void TlsSession::BeginWait(unsigned waitMs)
{
    waitStart_ = GetTickCount();
    waitMs_ = SocketBound(socket_, waitMs);
}

bool TlsSession::WaitReady(bool write)
{
    DWORD elapsed = GetTickCount() - waitStart_;
    if (elapsed >= waitMs_) {
        WSASetLastError(WSAETIMEDOUT);
        return false;
    }
    DWORD left = waitMs_ - elapsed;
    fd_set sockets;
    FD_ZERO(&sockets);
    FD_SET(socket_, &sockets);
    timeval limit = {static_cast<long>(left / 1000), static_cast<long>(left % 1000 * 1000)};
    int ready = select(0, write ? nullptr : &sockets, write ? &sockets : nullptr, nullptr, &limit);
    if (ready == 0)
        WSASetLastError(WSAETIMEDOUT);
    return ready > 0;
}

int TlsSession::ReceiveMore()
{
    if (!WaitReady(false))
        return SOCKET_ERROR;
    size_t used = incoming_.size();
    incoming_.resize(used + kReceiveChunk);
    int received = recv(socket_, incoming_.data() + used, kReceiveChunk, 0);
    incoming_.resize(used + (received > 0 ? received : 0));
    return received;
}

bool TlsSession::SendAll(const char* data, size_t length)
{
    NonBlocking nonBlocking(socket_);
    while (length > 0) {
        int sent = send(socket_, data, static_cast<int>(length), 0);
        if (sent == SOCKET_ERROR) {
            if (WSAGetLastError() != WSAEWOULDBLOCK || !WaitReady(true))
                return false;
            continue;
        }
        data += sent;
        length -= static_cast<size_t>(sent);
    }
    return true;
}

int TlsSession::Send(const char* data, int length, unsigned waitMs)
{
    if (broken_) {
        WSASetLastError(WSAECONNABORTED);
        return SOCKET_ERROR;
    }
    BeginWait(waitMs);
    std::vector<char> record(sizes_.cbHeader + sizes_.cbMaximumMessage + sizes_.cbTrailer);
    for (int done = 0; done < length;) {
        size_t piece = static_cast<size_t>(length - done);
        if (piece > sizes_.cbMaximumMessage)
            piece = sizes_.cbMaximumMessage;
        memcpy(record.data() + sizes_.cbHeader, data + done, piece);
        SecBuffer buffers[4] = {
            Buffer(SECBUFFER_STREAM_HEADER, record.data(), sizes_.cbHeader),
            Buffer(SECBUFFER_DATA, record.data() + sizes_.cbHeader, piece),
            Buffer(SECBUFFER_STREAM_TRAILER, record.data() + sizes_.cbHeader + piece, sizes_.cbTrailer),
            Buffer(SECBUFFER_EMPTY)};
        SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
        if (EncryptMessage(&context_, 0, &desc, 0) != SEC_E_OK) {
            broken_ = true;
            WSASetLastError(WSAECONNABORTED);
            return SOCKET_ERROR;
        }
        // The provider may use less than the largest header or trailer: close the gaps so
        // the record goes out in one send.
        size_t total = 0;
        for (int i = 0; i < 3; ++i) {
            memmove(record.data() + total, buffers[i].pvBuffer, buffers[i].cbBuffer);
            total += buffers[i].cbBuffer;
        }
        if (!SendAll(record.data(), total)) {
            // Part of a record may have gone out: nothing can follow it.
            broken_ = broken_ || WSAGetLastError() == WSAETIMEDOUT;
            return SOCKET_ERROR;
        }
        done += static_cast<int>(piece);
    }
    return length;
}

TlsSession::Record TlsSession::DecryptOne()
{
    SecBuffer buffers[4] = {Buffer(SECBUFFER_DATA, incoming_.data(), incoming_.size()), Buffer(SECBUFFER_EMPTY),
                            Buffer(SECBUFFER_EMPTY), Buffer(SECBUFFER_EMPTY)};
    SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
    SECURITY_STATUS status = DecryptMessage(&context_, &desc, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE)
        return Record::kNeedMore;
    if (status == SEC_I_CONTEXT_EXPIRED)
        return Record::kClosed;
    // A renegotiation request is not followed; the data of its record is still good.
    if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE)
        return Record::kFailed;
    plain_.clear();
    plainOffset_ = 0;
    size_t extra = 0;
    for (const SecBuffer& buffer : buffers) {
        if (buffer.BufferType == SECBUFFER_DATA && buffer.pvBuffer) {
            const char* data = static_cast<const char*>(buffer.pvBuffer);
            plain_.assign(data, data + buffer.cbBuffer);
        } else if (buffer.BufferType == SECBUFFER_EXTRA) {
            extra = buffer.cbBuffer;
        }
    }
    if (extra > 0 && extra <= incoming_.size())
        incoming_.erase(incoming_.begin(), incoming_.end() - extra);
    else
        incoming_.clear();
    return Record::kData;
}

int TlsSession::Recv(char* buffer, int length, unsigned waitMs)
{
    BeginWait(waitMs);
    while (plainOffset_ >= plain_.size()) {
        if (broken_) {
            WSASetLastError(WSAECONNABORTED);
            return SOCKET_ERROR;
        }
        if (peerClosed_)
            return 0;
        Record record = incoming_.empty() ? Record::kNeedMore : DecryptOne();
        if (record == Record::kData)
            continue;
        if (record == Record::kClosed) {
            peerClosed_ = true;
            return 0;
        }
        if (record == Record::kFailed) {
            broken_ = true;
            continue;
        }
        int received = ReceiveMore();
        if (received == SOCKET_ERROR)
            return SOCKET_ERROR;
        if (received == 0) {
            if (incoming_.empty()) {
                peerClosed_ = true;
                return 0;
            }
            // The connection ended inside a record: the data is cut, not complete.
            broken_ = true;
            WSASetLastError(WSAECONNRESET);
            return SOCKET_ERROR;
        }
    }
    if (length <= 0)
        return 0;
    size_t available = plain_.size() - plainOffset_;
    size_t count = available < static_cast<size_t>(length) ? available : static_cast<size_t>(length);
    memcpy(buffer, plain_.data() + plainOffset_, count);
    plainOffset_ += count;
    return static_cast<int>(count);
}

int TlsSession::Pending() const
{
    return static_cast<int>(plain_.size() - plainOffset_ + incoming_.size());
}

void TlsSession::Shutdown(unsigned waitMs)
{
    if (broken_ || !haveContext_)
        return;
    BeginWait(waitMs);
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer token = Buffer(SECBUFFER_TOKEN, &type, sizeof type);
    SecBufferDesc tokenDesc = {SECBUFFER_VERSION, 1, &token};
    if (ApplyControlToken(&context_, &tokenDesc) != SEC_E_OK)
        return;
    SecBuffer output = Buffer(SECBUFFER_TOKEN);
    SecBufferDesc outputDesc = {SECBUFFER_VERSION, 1, &output};
    ULONG attributes = 0;
    SECURITY_STATUS status;
    if (server_) {
        status = AcceptSecurityContext(&credentials_, &context_, nullptr, RequestFlags(), 0, nullptr, &outputDesc,
                                       &attributes, nullptr);
    } else {
        char* target = host_.empty() ? nullptr : &host_[0];
        status = InitializeSecurityContextA(&credentials_, &context_, target, RequestFlags(), 0, 0, nullptr, 0, nullptr,
                                            &outputDesc, &attributes, nullptr);
    }
    if (output.pvBuffer) {
        if (!FAILED(status))
            SendAll(static_cast<const char*>(output.pvBuffer), output.cbBuffer);
        FreeContextBuffer(output.pvBuffer);
    }
}
