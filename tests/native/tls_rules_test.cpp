#include "gateway/tlslink/tls_rules.h"

#include <gtest/gtest.h>

namespace {

constexpr char kSha256[] = "1.2.840.113549.1.1.11";
constexpr char kSha1[] = "1.2.840.113549.1.1.5";
constexpr char kMd5[] = "1.2.840.113549.1.1.4";
constexpr char kEcdsaSha1[] = "1.2.840.10045.4.1";
constexpr char kServerAuth[] = "1.3.6.1.5.5.7.3.1";
constexpr char kClientAuth[] = "1.3.6.1.5.5.7.3.2";

// Server, intermediate and self-signed root, all sound.
ServerChain GoodChain()
{
    ServerChain chain;
    chain.certificates = {{0, false, kSha256}, {0, false, kSha256}, {0, true, kSha256}};
    chain.hasUsage = true;
    chain.usages = {kClientAuth, kServerAuth};
    return chain;
}

struct StatusCase {
    uint32_t chainStatus;
    uint32_t intermediateStatus;
    uint32_t error;
};

class ChainStatusCases : public testing::TestWithParam<StatusCase> {};

TEST_P(ChainStatusCases, EveryErrorBitRefuses)
{
    const StatusCase& c = GetParam();
    ServerChain chain = GoodChain();
    chain.errorStatus = c.chainStatus;
    chain.certificates[1].errorStatus = c.intermediateStatus;
    EXPECT_EQ(c.error, ServerChainError(chain)) << std::hex << c.chainStatus << " " << c.intermediateStatus;
}

INSTANTIATE_TEST_SUITE_P(
    Bits, ChainStatusCases,
    testing::Values(
        StatusCase{0, 0, 0},
        // revocation that could not be checked is no refusal
        StatusCase{kTrustRevocationStatusUnknown | kTrustIsOfflineRevocation, 0, 0},
        StatusCase{0, kTrustRevocationStatusUnknown, 0},
        StatusCase{kTrustIsRevoked | kTrustRevocationStatusUnknown, 0, kCryptRevoked},
        // an error on one certificate counts though the chain's own status is clean
        StatusCase{0, kTrustInvalidBasicConstraints, kTrustBasicConstraints},
        StatusCase{0, kTrustIsNotTimeValid, kCertExpired}, StatusCase{kTrustIsNotTimeNested, 0, kCertValidityNesting},
        StatusCase{kTrustIsPartialChain, 0, kCertChaining}, StatusCase{kTrustIsUntrustedRoot, 0, kCertUntrustedRoot},
        StatusCase{kTrustIsNotSignatureValid, 0, kTrustCertSignature},
        StatusCase{kTrustIsExplicitDistrust, 0, kTrustExplicitDistrust},
        StatusCase{kTrustIsNotValidForUsage, 0, kCertWrongUsage}, StatusCase{kTrustIsCyclic, 0, kCertChaining},
        StatusCase{0x00008000, 0, kCertInvalidName}, // excluded name
        StatusCase{0x00000800, 0, kCertInvalidName}, // invalid name constraints
        StatusCase{kTrustHasWeakSignature, 0, kWeakSignature},
        StatusCase{kTrustInvalidPolicyConstraints, 0, kCertInvalidPolicy},
        StatusCase{kTrustHasNotSupportedCriticalExt, 0, kCertCritical},
        StatusCase{kTrustInvalidExtension, 0, kCertCritical},
        // bits no rule names still refuse
        StatusCase{0x02000000, 0, kTrustFail}, StatusCase{0x00020000, 0, kTrustFail},
        // the most telling of several is reported
        StatusCase{kTrustIsNotTimeValid | kTrustIsUntrustedRoot, 0, kCertUntrustedRoot},
        StatusCase{kTrustIsNotTimeValid, kTrustInvalidBasicConstraints, kTrustBasicConstraints}));

struct ChainCase {
    const char* what;
    ServerChain chain;
    uint32_t error;
};

ServerChain With(std::vector<ChainCertificate> certificates, bool hasUsage = false,
                 std::vector<std::string> usages = {})
{
    ServerChain chain;
    chain.certificates = std::move(certificates);
    chain.hasUsage = hasUsage;
    chain.usages = std::move(usages);
    return chain;
}

TEST(TlsRules, UsageAndSignatures)
{
    const ChainCase cases[] = {
        {"good", GoodChain(), 0},
        {"no usage extension", With({{0, false, kSha256}, {0, true, kSha256}}), 0},
        {"server usage only", With({{0, false, kSha256}, {0, true, kSha256}}, true, {kServerAuth}), 0},
        {"client usage only", With({{0, false, kSha256}, {0, true, kSha256}}, true, {kClientAuth}), kCertWrongUsage},
        {"empty usage extension", With({{0, false, kSha256}, {0, true, kSha256}}, true), kCertWrongUsage},
        {"MD5 server", With({{0, false, kMd5}, {0, true, kSha256}}), kWeakSignature},
        {"SHA-1 intermediate", With({{0, false, kSha256}, {0, false, kSha1}, {0, true, kSha256}}), kWeakSignature},
        {"ECDSA SHA-1 server", With({{0, false, kEcdsaSha1}, {0, true, kSha256}}), kWeakSignature},
        {"SHA-1 root self-signature", With({{0, false, kSha256}, {0, true, kSha1}}), 0},
        {"SHA-1 last but not self-signed", With({{0, false, kSha256}, {0, false, kSha1}}), kWeakSignature},
        {"self-signed but not last", With({{0, true, kMd5}, {0, true, kSha256}}), kWeakSignature},
        {"no certificate", With({}), kCertChaining},
    };
    for (const ChainCase& c : cases)
        EXPECT_EQ(c.error, ServerChainError(c.chain)) << c.what;
}

TEST(TlsRules, FirstBytesOfARecord)
{
    struct Case {
        const char* bytes;
        size_t length;
        bool tls;
    };
    const Case cases[] = {
        {"\x16\x03\x03\x00\x31", 5, true}, // handshake
        {"\x15\x03\x01", 3, true},         // alert
        {"\x16", 1, true},                 // only the type so far
        {"\x14\x03", 2, true},             // change_cipher_spec
        {"\x18\x03", 2, true},             // heartbeat
        {"\x13\x03", 2, false},
        {"\x19\x03", 2, false},
        {"\x16\x02", 2, false}, // SSL 2 / not version 3
        {"220 mail.example.org ESMTP\r\n", 28, false},
        {"HTTP/1.1 400 Bad Request\r\n", 26, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.tls, CanStartTlsRecord(reinterpret_cast<const unsigned char*>(c.bytes), c.length))
            << static_cast<int>(c.bytes[0]);
    }
}

TEST(TlsRules, OlderThanTls12)
{
    struct Case {
        const char* bytes;
        size_t length;
        bool alert;
    };
    const Case cases[] = {
        {"\x15\x03\x01\x00\x02\x02\x46", 7, true},
        {"\x15\x03\x03\x00\x02\x02\x46\x16", 8, true},
        {"\x15\x03\x03\x00\x02\x02\x28", 7, false}, // handshake_failure
        {"\x15\x03\x03\x00\x02\x01\x46", 7, false}, // a warning only
        {"\x16\x03\x03\x00\x02\x02\x46", 7, false}, // a handshake record
        {"\x15\x03\x03\x00\x02\x02\x46", 6, false}, // not whole yet
        {"\x15\x02\x03\x00\x02\x02\x46", 7, false},
        {"\x15\x03\x03\x01\x02\x02\x46", 7, false},
        {"\x15\x03\x03\x00\x03\x02\x46", 7, false},
        {"\x16\x03\x01\x00\x31\x02\x00\x00\x2d\x03\x01", 11, true}, // ServerHello of TLS 1.0
        {"\x16\x03\x02\x00\x31\x02\x00\x00\x2d\x03\x02", 11, true}, // of TLS 1.1
        {"\x16\x03\x03\x00\x31\x02\x00\x00\x2d\x03\x03", 11, false},
        {"\x16\x03\x01\x00\x31\x02\x00\x00\x2d\x03", 10, false},
        {"\x16\x03\x01\x00\x31\x0b\x00\x00\x2d\x03\x01", 11, false}, // not a ServerHello
        {"\x16\x03\x01\x00\x31\x02\x00\x00\x2d\x02\x00", 11, false}, // not version 3.x
        {"\x16\x0b\x01\x00\x31\x02\x00\x00\x2d\x03\x01", 11, false}, // no TLS record
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.alert, ShowsOlderThanTls12(reinterpret_cast<const unsigned char*>(c.bytes), c.length))
            << c.bytes[6];
}

TEST(TlsRules, WaitText)
{
    EXPECT_EQ("30 s", WaitText(30000));
    EXPECT_EQ("1.5 s", WaitText(1500));
    EXPECT_EQ("0.25 s", WaitText(250));
}

} // namespace
