#include "gateway/tlslink/certificates.h"

#include "gateway/tlslink/security_text.h"
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
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &para, 0, nullptr, &chain))
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

// The chain's own verdict as the error the chain policy would give. Wine's policy check
// passes a chain that stops short of any root, so the chain's status is read here first.
DWORD ChainError(PCCERT_CHAIN_CONTEXT chain)
{
    struct StatusError {
        DWORD status;
        DWORD error;
    };
    static const StatusError kErrors[] = {
        {CERT_TRUST_IS_EXPLICIT_DISTRUST, static_cast<DWORD>(CERT_E_UNTRUSTEDROOT)},
        {CERT_TRUST_IS_NOT_SIGNATURE_VALID, static_cast<DWORD>(TRUST_E_CERT_SIGNATURE)},
        {CERT_TRUST_IS_REVOKED, static_cast<DWORD>(CRYPT_E_REVOKED)},
        {CERT_TRUST_IS_PARTIAL_CHAIN, static_cast<DWORD>(CERT_E_CHAINING)},
        {CERT_TRUST_IS_UNTRUSTED_ROOT, static_cast<DWORD>(CERT_E_UNTRUSTEDROOT)},
        {CERT_TRUST_IS_NOT_TIME_VALID, static_cast<DWORD>(CERT_E_EXPIRED)},
        {CERT_TRUST_IS_NOT_VALID_FOR_USAGE, static_cast<DWORD>(CERT_E_WRONG_USAGE)},
        {CERT_TRUST_IS_CYCLIC, static_cast<DWORD>(CERT_E_CHAINING)},
    };
    for (const StatusError& entry : kErrors) {
        if (chain->TrustStatus.dwErrorStatus & entry.status)
            return entry.error;
    }
    return 0;
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
    if (DWORD error = ChainError(chain.get())) {
        failure = CertificateFailureText(error, IsSelfSigned(certificate));
        return false;
    }
    std::wstring serverName = host && *host ? Widen(host) : std::wstring();
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = serverName.empty() ? nullptr : &serverName[0];
    CERT_CHAIN_POLICY_PARA policy = {};
    policy.cbSize = sizeof policy;
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
