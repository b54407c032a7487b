#include "gateway/tlslink/security_text.h"

#include "gateway/tlslink/tlslink.h"

#include <cstdio>
#include <cstring>

namespace {

struct CodeText {
    DWORD code;
    const char* text;
};

constexpr CodeText kHandshakeTexts[] = {
    {0x80090304, "the TLS provider failed or the peer refused the handshake"},
    {0x80090302, "the TLS provider does not support this"},
    {0x80090308, "the peer sent a message that is not valid TLS"},
    {0x8009030E, "no certificate to present"},
    {0x8009030F, "a message was altered"},
    {0x80090322, "the server is not the one named"},
    {0x80090325, "the certificate was issued by an authority that is not trusted"},
    {0x80090326, "the peer sent a message that was not understood or an alert"},
    {0x80090327, "the certificate was refused"},
    {0x80090328, "the certificate has expired"},
    {0x80090330, "a record could not be decrypted"},
    {0x80090331, "no protocol version or cipher suite in common"},
    {0x80090349, "the certificate was refused"},
};

constexpr CodeText kCertificateTexts[] = {
    {0x800B0109, "the issuing authority is not trusted"},
    {0x800B010A, "no chain to a trusted authority could be built"},
    {0x800B0101, "a certificate of the chain has expired or is not valid yet"},
    {0x800B0102, "a certificate's validity lies outside its issuer's"},
    {0x80096019, "an issuing certificate is not a certification authority"},
    {0x800B0114, "a name lies outside what the issuing authority may certify"},
    {0x800B0105, "a certificate has a critical extension that is not understood"},
    {0x800B0113, "the chain's policy constraints are not met"},
    {0x800B010B, "the chain engine reported an error in the chain"},
    {0x80090008, "a certificate of the chain is signed with MD5 or SHA-1"},
    {0x800B0110, "the certificate is not meant for servers"},
    {0x800B010C, "the certificate was revoked"},
    {0x80096004, "the certificate's signature is not valid"},
    {0x800B0111, "the certificate was explicitly distrusted"},
    {0x80092010, "the certificate was revoked"},
};

template <size_t N>
const char* Lookup(const CodeText (&table)[N], DWORD code, const char* fallback)
{
    for (const CodeText& entry : table) {
        if (entry.code == code)
            return entry.text;
    }
    return fallback;
}

std::string WithCode(const char* lead, const char* text, DWORD code)
{
    char buffer[kTlsLinkErrorTextSize];
    snprintf(buffer, sizeof buffer, "%s%s (0x%08lX)", lead, text, static_cast<unsigned long>(code));
    return buffer;
}

} // namespace

std::string StatusText(const char* lead, LONG status)
{
    DWORD code = static_cast<DWORD>(status);
    return WithCode(lead, Lookup(kHandshakeTexts, code, "the TLS provider reported an error"), code);
}

std::string CertificateFailureText(DWORD error, bool selfSigned)
{
    if (error == 0x800B010F) // CERT_E_CN_NO_MATCH
        return "host name does not match the certificate";
    if (selfSigned && error == 0x800B0109)
        return WithCode("server certificate not trusted: ", "the certificate is self-signed", error);
    return WithCode(
        "server certificate not trusted: ", Lookup(kCertificateTexts, error, "the certificate check failed"), error);
}

void CopyErrorText(char* errorText, const std::string& text)
{
    if (!errorText)
        return;
    size_t length = text.size() < kTlsLinkErrorTextSize - 1 ? text.size() : kTlsLinkErrorTextSize - 1;
    memcpy(errorText, text.data(), length);
    errorText[length] = '\0';
}
