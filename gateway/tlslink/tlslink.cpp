// The exported entry points of TLSLINK.DLL over TlsSession and the certificate store.
#include "gateway/tlslink/tlslink.h"

#include "gateway/tlslink/certificates.h"
#include "gateway/tlslink/security_text.h"
#include "gateway/tlslink/tls_session.h"

namespace {

// The longest wait for the peer when the thread has not set one (sslSetTimeout).
constexpr unsigned kDefaultWaitMs = 30000;
thread_local unsigned threadWaitMs = 0;

unsigned ThreadWait()
{
    return threadWaitMs ? threadWaitMs : kDefaultWaitMs;
}

TlsSession* AsSession(void* session)
{
    return static_cast<TlsSession*>(session);
}

void* Connect(SOCKET socket, const char* host, char* errorText)
{
    CopyErrorText(errorText, "");
    std::string failure;
    TlsSession* session = TlsSession::Connect(socket, host, ThreadWait(), failure);
    if (!session)
        CopyErrorText(errorText, failure);
    return session;
}

} // namespace

TLSLINK_API int WINAPI sslInitLib()
{
    PSecPkgInfoA package = nullptr;
    if (QuerySecurityPackageInfoA(const_cast<char*>(UNISP_NAME_A), &package) != SEC_E_OK)
        return 0;
    FreeContextBuffer(package);
    return 1;
}

TLSLINK_API void WINAPI sslSetTimeout(unsigned milliseconds)
{
    threadWaitMs = milliseconds;
}

TLSLINK_API void WINAPI sslTermLib()
{
    // Every session holds its own credentials; nothing is kept between sessions.
}

TLSLINK_API void* WINAPI sslInitSession(SOCKET socket, char* errorText)
{
    return Connect(socket, nullptr, errorText);
}

TLSLINK_API void* WINAPI sslInitSessionHost(SOCKET socket, const char* host, char* errorText)
{
    return Connect(socket, host, errorText);
}

TLSLINK_API void* WINAPI sslAcceptSession(SOCKET socket, char* errorText)
{
    CopyErrorText(errorText, "");
    PCCERT_CONTEXT certificate = FindServerCertificate();
    if (!certificate) {
        CopyErrorText(errorText, "no server certificate");
        return nullptr;
    }
    std::string failure;
    TlsSession* session = TlsSession::Accept(socket, certificate, ThreadWait(), failure);
    CertFreeCertificateContext(certificate);
    if (!session)
        CopyErrorText(errorText, failure);
    return session;
}

TLSLINK_API void WINAPI sslFreeSession(void* session)
{
    if (!session)
        return;
    AsSession(session)->Shutdown(ThreadWait());
    delete AsSession(session);
}

TLSLINK_API int WINAPI sslSend(void* session, const char* data, int length)
{
    if (!session) {
        WSASetLastError(WSAENOTSOCK);
        return SOCKET_ERROR;
    }
    return AsSession(session)->Send(data, length, ThreadWait());
}

TLSLINK_API int WINAPI sslRecv(void* session, char* buffer, int length)
{
    if (!session) {
        WSASetLastError(WSAENOTSOCK);
        return SOCKET_ERROR;
    }
    return AsSession(session)->Recv(buffer, length, ThreadWait());
}

TLSLINK_API int WINAPI sslDataPending(void* session)
{
    return session ? AsSession(session)->Pending() : 0;
}

TLSLINK_API int WINAPI sslServerCertExists()
{
    PCCERT_CONTEXT certificate = FindServerCertificate();
    if (!certificate)
        return 0;
    CertFreeCertificateContext(certificate);
    return 1;
}

TLSLINK_API int WINAPI sslSignedCertExists()
{
    PCCERT_CONTEXT certificate = FindServerCertificate();
    if (!certificate)
        return 0;
    bool signed_ = !IsSelfSigned(certificate);
    CertFreeCertificateContext(certificate);
    return signed_ ? 1 : 0;
}

TLSLINK_API int WINAPI sslGenerateCertificate(const char* hostName)
{
    return GenerateServerCertificate(hostName) ? 1 : 0;
}
