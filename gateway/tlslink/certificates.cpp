#include "gateway/tlslink/certificates.h"

#include "gateway/tlslink/security_text.h"
#include "gateway/tlslink/tls_rules.h"
#include "gateway/tlslink/tlslink.h"

#include <memory>
#include <vector>

namespace {

constexpr wchar_t kProviderName[] = L"Microsoft Enhanced RSA and AES Cryptographic Provider";
constexpr DWORD kKeyBits = 2048;
constexpr WORD kValidYears = 10;

std::wstring Widen(const char* text)
{
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 1, L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
    wide.resize(wcslen(wide.c_str()));
    return wide;
}

struct StoreCloser {
    void operator()(void* store) const { CertCloseStore(static_cast<HCERTSTORE>(store), 0); }
};
using StoreHandle = std::unique_ptr<void, StoreCloser>;

struct ChainFreer {
    void operator()(PCCERT_CHAIN_CONTEXT chain) const { CertFreeCertificateChain(chain); }
};
using ChainHandle = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFreer>;

StoreHandle OpenServerStore()
{
    return StoreHandle(CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0,
                                     CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG, "MY"));
}

bool HasOurName(PCCERT_CONTEXT certificate)
{
    wchar_t name[64] = {};
    DWORD size = sizeof name;
    if (!CertGetCertificateContextProperty(certificate, CERT_FRIENDLY_NAME_PROP_ID, name, &size))
        return false;
    return Widen(kServerCertificateName) == name;
}

bool HasPrivateKey(PCCERT_CONTEXT certificate)
{
    DWORD size = 0;
    return CertGetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size) != FALSE;
}

// The certificate's chain, built for server authentication against the machine's roots.
ChainHandle BuildServerChain(PCCERT_CONTEXT certificate)
{
    LPSTR serverAuth = const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH);
    CERT_CHAIN_PARA para = {};
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = &serverAuth;
    // Revocation is checked against what the machine already holds: a server check never
    // waits for a list from the network.
    DWORD flags = CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT | CERT_CHAIN_REVOCATION_CHECK_CACHE_ONLY;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &para, flags, nullptr, &chain))
        return nullptr;
    return ChainHandle(chain);
}

// DER of an extension value, or empty when encoding failed.
std::vector<BYTE> Encode(LPCSTR structType, const void* value)
{
    DWORD size = 0;
    if (!CryptEncodeObject(X509_ASN_ENCODING, structType, value, nullptr, &size))
        return {};
    std::vector<BYTE> der(size);
    if (!CryptEncodeObject(X509_ASN_ENCODING, structType, value, der.data(), &size))
        return {};
    der.resize(size);
    return der;
}

// A fresh exportable RSA key in the machine key container (Schannel servers read the key
// by exporting it on some systems).
bool MakeKey(const std::wstring& container, DWORD keySet)
{
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, container.c_str(), kProviderName, PROV_RSA_AES, keySet | CRYPT_NEWKEYSET)) {
        if (GetLastError() != static_cast<DWORD>(NTE_EXISTS) ||
            !CryptAcquireContextW(&provider, container.c_str(), kProviderName, PROV_RSA_AES, keySet))
            return false;
    }
    HCRYPTKEY key = 0;
    bool made = CryptGenKey(provider, AT_KEYEXCHANGE, (kKeyBits << 16) | CRYPT_EXPORTABLE, &key) != FALSE;
    if (made)
        CryptDestroyKey(key);
    CryptReleaseContext(provider, 0);
    return made;
}

PCCERT_CONTEXT CreateSelfSigned(const char* hostName, const std::wstring& container, DWORD keySet)
{
    std::string subject = std::string("CN=") + hostName;
    DWORD nameSize = 0;
    if (!CertStrToNameA(X509_ASN_ENCODING, subject.c_str(), CERT_X500_NAME_STR, nullptr, nullptr, &nameSize, nullptr))
        return nullptr;
    std::vector<BYTE> name(nameSize);
    if (!CertStrToNameA(X509_ASN_ENCODING, subject.c_str(), CERT_X500_NAME_STR, nullptr, name.data(), &nameSize,
                        nullptr))
        return nullptr;
    CERT_NAME_BLOB subjectBlob = {nameSize, name.data()};

    LPSTR serverAuth = const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH);
    CERT_ENHKEY_USAGE usage = {1, &serverAuth};
    std::wstring dnsName = Widen(hostName);
    CERT_ALT_NAME_ENTRY altEntry = {};
    altEntry.dwAltNameChoice = CERT_ALT_NAME_DNS_NAME;
    altEntry.pwszDNSName = &dnsName[0];
    CERT_ALT_NAME_INFO altNames = {1, &altEntry};
    std::vector<BYTE> usageDer = Encode(X509_ENHANCED_KEY_USAGE, &usage);
    std::vector<BYTE> altDer = Encode(X509_ALTERNATE_NAME, &altNames);
    if (usageDer.empty() || altDer.empty())
        return nullptr;
    CERT_EXTENSION extensions[] = {
        {const_cast<LPSTR>(szOID_ENHANCED_KEY_USAGE), FALSE, {static_cast<DWORD>(usageDer.size()), usageDer.data()}},
        {const_cast<LPSTR>(szOID_SUBJECT_ALT_NAME2), FALSE, {static_cast<DWORD>(altDer.size()), altDer.data()}},
    };
    CERT_EXTENSIONS extensionList = {2, extensions};

    CRYPT_KEY_PROV_INFO keyInfo = {};
    keyInfo.pwszContainerName = const_cast<LPWSTR>(container.c_str());
    keyInfo.pwszProvName = const_cast<LPWSTR>(kProviderName);
    keyInfo.dwProvType = PROV_RSA_AES;
    keyInfo.dwFlags = keySet;
    keyInfo.dwKeySpec = AT_KEYEXCHANGE;
    CRYPT_ALGORITHM_IDENTIFIER signature = {const_cast<LPSTR>(szOID_RSA_SHA256RSA), {0, nullptr}};

    SYSTEMTIME start, end;
    GetSystemTime(&start);
    end = start;
    end.wYear = static_cast<WORD>(end.wYear + kValidYears);
    if (end.wMonth == 2 && end.wDay == 29)
        end.wDay = 28;
    return CertCreateSelfSignCertificate(0, &subjectBlob, 0, &keyInfo, &signature, &start, &end, &extensionList);
}

// The engine's error bits as the portable rules know them.
static_assert(kTrustIsNotTimeValid == CERT_TRUST_IS_NOT_TIME_VALID && kTrustIsRevoked == CERT_TRUST_IS_REVOKED &&
                  kTrustIsNotValidForUsage == CERT_TRUST_IS_NOT_VALID_FOR_USAGE &&
                  kTrustRevocationStatusUnknown == CERT_TRUST_REVOCATION_STATUS_UNKNOWN &&
                  kTrustInvalidBasicConstraints == CERT_TRUST_INVALID_BASIC_CONSTRAINTS &&
                  kTrustIsPartialChain == CERT_TRUST_IS_PARTIAL_CHAIN &&
                  kTrustIsOfflineRevocation == CERT_TRUST_IS_OFFLINE_REVOCATION &&
                  kTrustIsExplicitDistrust == CERT_TRUST_IS_EXPLICIT_DISTRUST &&
                  kTrustNameConstraintErrors ==
                      (CERT_TRUST_INVALID_NAME_CONSTRAINTS | CERT_TRUST_HAS_NOT_SUPPORTED_NAME_CONSTRAINT |
                       CERT_TRUST_HAS_NOT_DEFINED_NAME_CONSTRAINT | CERT_TRUST_HAS_NOT_PERMITTED_NAME_CONSTRAINT |
                       CERT_TRUST_HAS_EXCLUDED_NAME_CONSTRAINT),
              "chain status bits");

// The server certificate's extended key usages from its extension only (not from
// properties a store may have added).
void ReadUsages(PCCERT_CONTEXT certificate, ServerChain& facts)
{
    DWORD size = 0;
    if (!CertGetEnhancedKeyUsage(certificate, CERT_FIND_EXT_ONLY_ENHKEY_USAGE_FLAG, nullptr, &size)) {
        // No extension: good for every use. One that does not decode: good for none.
        facts.hasUsage = GetLastError() != static_cast<DWORD>(CRYPT_E_NOT_FOUND);
        return;
    }
    facts.hasUsage = true;
    std::vector<BYTE> buffer(size);
    auto* usage = reinterpret_cast<PCERT_ENHKEY_USAGE>(buffer.data());
    if (!CertGetEnhancedKeyUsage(certificate, CERT_FIND_EXT_ONLY_ENHKEY_USAGE_FLAG, usage, &size))
        return;
    for (DWORD i = 0; i < usage->cUsageIdentifier; ++i)
        facts.usages.push_back(usage->rgpszUsageIdentifier[i]);
}

// What the engine and the certificates say about a built chain, for the portable rules.
ServerChain ChainFacts(PCCERT_CHAIN_CONTEXT chain)
{
    ServerChain facts;
    facts.errorStatus = chain->TrustStatus.dwErrorStatus;
    for (DWORD c = 0; c < chain->cChain; ++c) {
        const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[c];
        facts.errorStatus |= simple->TrustStatus.dwErrorStatus;
        for (DWORD e = 0; e < simple->cElement; ++e) {
            const CERT_CHAIN_ELEMENT* element = simple->rgpElement[e];
            ChainCertificate certificate;
            certificate.errorStatus = element->TrustStatus.dwErrorStatus;
            certificate.selfSigned = (element->TrustStatus.dwInfoStatus & CERT_TRUST_IS_SELF_SIGNED) != 0;
            const char* oid = element->pCertContext->pCertInfo->SignatureAlgorithm.pszObjId;
            certificate.signatureOid = oid ? oid : "";
            facts.certificates.push_back(certificate);
        }
    }
    if (chain->cChain > 0 && chain->rgpChain[0]->cElement > 0)
        ReadUsages(chain->rgpChain[0]->rgpElement[0]->pCertContext, facts);
    return facts;
}

// True when the TLS provider will find the certificate's private key the way it looks
// for it.
bool KeyReachable(PCCERT_CONTEXT certificate)
{
    HCRYPTPROV_OR_NCRYPT_KEY_HANDLE key = 0;
    DWORD keySpec = 0;
    BOOL mustFree = FALSE;
    if (!CryptAcquireCertificatePrivateKey(certificate, 0, nullptr, &key, &keySpec, &mustFree))
        return false;
    if (mustFree)
        CryptReleaseContext(key, 0);
    return true;
}

// The key belongs in the machine's key set, where a service finds it. Wine looks for a
// certificate's key in the user's key set whatever the certificate says; there the key
// goes to the user's key set instead.
PCCERT_CONTEXT MakeUsableCertificate(const char* hostName)
{
    std::wstring container = Widen(kServerCertificateName);
    for (DWORD keySet : {static_cast<DWORD>(CRYPT_MACHINE_KEYSET), static_cast<DWORD>(0)}) {
        if (!MakeKey(container, keySet))
            continue;
        PCCERT_CONTEXT made = CreateSelfSigned(hostName, container, keySet);
        if (made && KeyReachable(made))
            return made;
        if (made)
            CertFreeCertificateContext(made);
    }
    return nullptr;
}

} // namespace

bool VerifyServerCertificate(PCCERT_CONTEXT certificate, const char* host, std::string& failure)
{
    ChainHandle chain = BuildServerChain(certificate);
    if (!chain) {
        failure = CertificateFailureText(GetLastError(), false);
        return false;
    }
    // Wine's SSL policy passes chains whose issuer is no authority and MD5 or SHA-1
    // signatures: the chain's own status and certificates decide first.
    if (DWORD error = ServerChainError(ChainFacts(chain.get()))) {
        failure = CertificateFailureText(error, IsSelfSigned(certificate));
        return false;
    }
    // The chain is sound by now (a revoked certificate refused it above): the platform's SSL
    // policy is asked for the host name, not again for revocation it could not check.
    std::wstring serverName = host && *host ? Widen(host) : std::wstring();
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.fdwChecks = 0x00000080; // SECURITY_FLAG_IGNORE_REVOCATION (wininet.h)
    ssl.pwszServerName = serverName.empty() ? nullptr : &serverName[0];
    CERT_CHAIN_POLICY_PARA policy = {};
    policy.cbSize = sizeof policy;
    policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status = {};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &status)) {
        failure = CertificateFailureText(GetLastError(), false);
        return false;
    }
    if (status.dwError == 0)
        return true;
    failure = CertificateFailureText(status.dwError, IsSelfSigned(certificate));
    return false;
}

bool IsSelfSigned(PCCERT_CONTEXT certificate)
{
    return CertCompareCertificateName(X509_ASN_ENCODING, &certificate->pCertInfo->Subject,
                                      &certificate->pCertInfo->Issuer) != FALSE;
}

PCCERT_CONTEXT FindServerCertificate()
{
    StoreHandle store = OpenServerStore();
    if (!store)
        return nullptr;
    PCCERT_CONTEXT found = nullptr;
    PCCERT_CONTEXT next = nullptr;
    while ((next = CertEnumCertificatesInStore(store.get(), next)) != nullptr) {
        if (!HasOurName(next) || !HasPrivateKey(next))
            continue;
        if (!found || (IsSelfSigned(found) && !IsSelfSigned(next))) {
            if (found)
                CertFreeCertificateContext(found);
            found = CertDuplicateCertificateContext(next);
        }
    }
    return found;
}

bool GenerateServerCertificate(const char* hostName)
{
    if (!hostName || !*hostName)
        return false;
    PCCERT_CONTEXT made = MakeUsableCertificate(hostName);
    if (!made)
        return false;
    std::wstring friendly = Widen(kServerCertificateName);
    CRYPT_DATA_BLOB friendlyBlob = {static_cast<DWORD>((friendly.size() + 1) * sizeof(wchar_t)),
                                    reinterpret_cast<BYTE*>(&friendly[0])};
    CertSetCertificateContextProperty(made, CERT_FRIENDLY_NAME_PROP_ID, 0, &friendlyBlob);

    StoreHandle store(CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "MY"));
    bool added = false;
    if (store) {
        // The new key replaced the container's old one: the old self-signed certificate
        // cannot be used any more.
        std::vector<PCCERT_CONTEXT> stale;
        PCCERT_CONTEXT next = nullptr;
        while ((next = CertEnumCertificatesInStore(store.get(), next)) != nullptr) {
            if (HasOurName(next) && IsSelfSigned(next))
                stale.push_back(CertDuplicateCertificateContext(next));
        }
        for (PCCERT_CONTEXT old : stale)
            CertDeleteCertificateFromStore(old); // frees old
        added = CertAddCertificateContextToStore(store.get(), made, CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE;
    }
    CertFreeCertificateContext(made);
    return added;
}
