// The portable rules of TLSLINK: when a server's certificate chain is trusted, what can start
// a TLS record, and how a wait for the peer is named. The Win32 side gathers the facts from
// crypt32 and Schannel and reports what these rules decide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The chain engine's error bits (CERT_TRUST_* of wincrypt.h) the rules name.
constexpr uint32_t kTrustIsNotTimeValid = 0x00000001;
constexpr uint32_t kTrustIsNotTimeNested = 0x00000002;
constexpr uint32_t kTrustIsRevoked = 0x00000004;
constexpr uint32_t kTrustIsNotSignatureValid = 0x00000008;
constexpr uint32_t kTrustIsNotValidForUsage = 0x00000010;
constexpr uint32_t kTrustIsUntrustedRoot = 0x00000020;
constexpr uint32_t kTrustRevocationStatusUnknown = 0x00000040;
constexpr uint32_t kTrustIsCyclic = 0x00000080;
constexpr uint32_t kTrustInvalidExtension = 0x00000100;
constexpr uint32_t kTrustInvalidPolicyConstraints = 0x00000200;
constexpr uint32_t kTrustInvalidBasicConstraints = 0x00000400;
constexpr uint32_t kTrustNameConstraintErrors = 0x0000F800; // invalid, unsupported, undefined, not permitted, excluded
constexpr uint32_t kTrustIsPartialChain = 0x00010000;
constexpr uint32_t kTrustHasWeakSignature = 0x00100000;
constexpr uint32_t kTrustIsOfflineRevocation = 0x01000000;
constexpr uint32_t kTrustIsExplicitDistrust = 0x04000000;
constexpr uint32_t kTrustHasNotSupportedCriticalExt = 0x08000000;

// The errors a refused chain is reported with (the codes the platform's chain policy uses).
constexpr uint32_t kCertExpired = 0x800B0101;
constexpr uint32_t kCertValidityNesting = 0x800B0102;
constexpr uint32_t kCertCritical = 0x800B0105;
constexpr uint32_t kCertUntrustedRoot = 0x800B0109;
constexpr uint32_t kCertChaining = 0x800B010A;
constexpr uint32_t kTrustFail = 0x800B010B;
constexpr uint32_t kCertWrongUsage = 0x800B0110;
constexpr uint32_t kTrustExplicitDistrust = 0x800B0111;
constexpr uint32_t kCertInvalidPolicy = 0x800B0113;
constexpr uint32_t kCertInvalidName = 0x800B0114;
constexpr uint32_t kTrustCertSignature = 0x80096004;
constexpr uint32_t kTrustBasicConstraints = 0x80096019;
constexpr uint32_t kCryptRevoked = 0x80092010;
constexpr uint32_t kWeakSignature = 0x80090008; // NTE_BAD_ALGID

// One certificate of a built chain, the server's own first.
struct ChainCertificate {
    uint32_t errorStatus = 0; // the engine's error bits for this certificate
    bool selfSigned = false;  // subject and issuer are the same and the signature is its own
    std::string signatureOid; // the algorithm the certificate is signed with
};

struct ServerChain {
    uint32_t errorStatus = 0; // the engine's error bits for the whole chain
    std::vector<ChainCertificate> certificates;
    // The server certificate's extended key usages; hasUsage false when it has no such
    // extension (good for every use).
    bool hasUsage = false;
    std::vector<std::string> usages;
};

// 0 when the chain is trusted for a TLS server, else the error that refuses it. Every error
// bit of the engine refuses, except the two that say only that revocation could not be
// checked; then the server certificate must be meant for servers, and no certificate but a
// self-signed root may be signed with MD5 or SHA-1 (or older).
uint32_t ServerChainError(const ServerChain& chain);

// True when the first bytes a peer sent (length > 0) can start a TLS record: a known record
// type and, once it is there, major version 3.
bool CanStartTlsRecord(const unsigned char* data, size_t length);

// True when a server's first bytes say it speaks no TLS 1.2 or later: a fatal
// protocol_version alert, or a ServerHello of an older version (known from its first
// kServerHelloVersionEnd bytes).
constexpr size_t kServerHelloVersionEnd = 11;
bool ShowsOlderThanTls12(const unsigned char* data, size_t length);

// A wait of milliseconds as people read it: "30 s", "1.5 s".
std::string WaitText(unsigned milliseconds);
