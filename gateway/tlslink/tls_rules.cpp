#include "gateway/tlslink/tls_rules.h"

#include <cstdio>

namespace {

// Revocation that could not be checked (no list, no responder, offline) is not a refusal:
// only a certificate known to be revoked is.
constexpr uint32_t kRevocationUnknown = kTrustRevocationStatusUnknown | kTrustIsOfflineRevocation;

struct StatusError {
    uint32_t status;
    uint32_t error;
};

// In order of precedence when a chain has several errors: the most telling first.
constexpr StatusError kStatusErrors[] = {
    {kTrustIsExplicitDistrust, kTrustExplicitDistrust},
    {kTrustIsNotSignatureValid, kTrustCertSignature},
    {kTrustIsRevoked, kCryptRevoked},
    {kTrustIsPartialChain, kCertChaining},
    {kTrustIsUntrustedRoot, kCertUntrustedRoot},
    {kTrustInvalidBasicConstraints, kTrustBasicConstraints},
    {kTrustNameConstraintErrors, kCertInvalidName},
    {kTrustIsNotTimeValid, kCertExpired},
    {kTrustIsNotTimeNested, kCertValidityNesting},
    {kTrustIsNotValidForUsage, kCertWrongUsage},
    {kTrustHasWeakSignature, kWeakSignature},
    {kTrustInvalidPolicyConstraints, kCertInvalidPolicy},
    {kTrustHasNotSupportedCriticalExt, kCertCritical},
    {kTrustInvalidExtension, kCertCritical},
    {kTrustIsCyclic, kCertChaining},
};

// Signatures over MD2, MD4, MD5 or SHA-1, with RSA, DSA or ECDSA.
constexpr const char* kWeakSignatureOids[] = {
    "1.2.840.113549.1.1.2", // md2RSA
    "1.2.840.113549.1.1.3", // md4RSA
    "1.2.840.113549.1.1.4", // md5RSA
    "1.2.840.113549.1.1.5", // sha1RSA
    "1.3.14.3.2.3",         // md5RSA (OIW)
    "1.3.14.3.2.4",         // md4RSA (OIW)
    "1.3.14.3.2.13",        // sha1DSA (OIW)
    "1.3.14.3.2.15",        // shaRSA (OIW)
    "1.3.14.3.2.27",        // dsaSHA1 (OIW)
    "1.3.14.3.2.29",        // sha1RSASign (OIW)
    "1.2.840.10040.4.3",    // sha1DSA
    "1.2.840.10045.4.1",    // sha1ECDSA
};

constexpr char kServerAuthOid[] = "1.3.6.1.5.5.7.3.1";

bool IsWeakSignature(const std::string& oid)
{
    for (const char* weak : kWeakSignatureOids) {
        if (oid == weak)
            return true;
    }
    return false;
}

uint32_t AllErrorBits(const ServerChain& chain)
{
    uint32_t status = chain.errorStatus;
    for (const ChainCertificate& certificate : chain.certificates)
        status |= certificate.errorStatus;
    return status & ~kRevocationUnknown;
}

bool MeantForServers(const ServerChain& chain)
{
    if (!chain.hasUsage)
        return true;
    for (const std::string& usage : chain.usages) {
        if (usage == kServerAuthOid)
            return true;
    }
    return false;
}

bool SignedWeakly(const ServerChain& chain)
{
    size_t count = chain.certificates.size();
    for (size_t i = 0; i < count; ++i) {
        const ChainCertificate& certificate = chain.certificates[i];
        // A root is trusted for itself, not for its signature.
        bool root = i + 1 == count && certificate.selfSigned;
        if (!root && IsWeakSignature(certificate.signatureOid))
            return true;
    }
    return false;
}

} // namespace

uint32_t ServerChainError(const ServerChain& chain)
{
    if (uint32_t status = AllErrorBits(chain)) {
        for (const StatusError& entry : kStatusErrors) {
            if (status & entry.status)
                return entry.error;
        }
        return kTrustFail;
    }
    if (chain.certificates.empty())
        return kCertChaining;
    if (!MeantForServers(chain))
        return kCertWrongUsage;
    if (SignedWeakly(chain))
        return kWeakSignature;
    return 0;
}

bool CanStartTlsRecord(const unsigned char* data, size_t length)
{
    // change_cipher_spec, alert, handshake, application_data, heartbeat
    if (length == 0 || data[0] < 20 || data[0] > 24)
        return false;
    return length < 2 || data[1] == 3;
}

bool ShowsOlderThanTls12(const unsigned char* data, size_t length)
{
    constexpr unsigned char kAlert = 21, kHandshake = 22, kFatal = 2, kProtocolVersion = 70, kServerHello = 2;
    if (length >= 7 && data[0] == kAlert && data[1] == 3 && data[3] == 0 && data[4] == 2)
        return data[5] == kFatal && data[6] == kProtocolVersion;
    // record header (5 bytes), message type and length (4), then the version chosen
    return length >= kServerHelloVersionEnd && data[0] == kHandshake && data[1] == 3 && data[5] == kServerHello &&
           data[9] == 3 && data[10] < 3;
}

std::string WaitText(unsigned milliseconds)
{
    char text[32];
    snprintf(text, sizeof text, "%g s", milliseconds / 1000.0);
    return text;
}
