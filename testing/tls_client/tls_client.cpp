// Drives TLSLINK.DLL from the staged installation for the end-to-end tests: loads it as the
// program does (every entry point must be there), then one command. Prints one result line
// per step on stdout.
//
//   tls_client connect PORT [--host NAME] [--timeout MS] [--echo BYTES] [--read]
//       connects to 127.0.0.1:PORT and shakes hands (sslInitSessionHost when --host is given,
//       else sslInitSession; after sslSetTimeout(MS) when --timeout is given): "handshake ok"
//       or "handshake failed: <error text>". Then
//       --echo sends BYTES of the test pattern in one sslSend and reads as many back in
//       small pieces: "echo ok BYTES pending-seen 0|1" or "echo failed: ...";
//       --read reads until the session ends: "read N bytes then closed|error <WSA error>".
//   tls_client serve PORT [--generate NAME]
//       (after making a self-signed certificate for NAME) prints "certificates S C" (server
//       certificate exists, CA-signed one exists), listens on 127.0.0.1:PORT ("listening"),
//       accepts one connection, sslAcceptSession, echoes until the peer closes.
//   tls_client trust|untrust CERT.pem
//       adds the certificate to / removes it from the local machine's Root store.
#include "app/addon_libraries.h"

#include <wincrypt.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kReadPiece = 3000;

unsigned char PatternByte(size_t i)
{
    return static_cast<unsigned char>((i * 31 + (i >> 11)) & 0xFF);
}

void Say(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    printf("\n");
    fflush(stdout);
}

const char* Option(int argc, char** argv, const char* name)
{
    for (int i = 0; i + 1 < argc; ++i) {
        if (strcmp(argv[i], name) == 0)
            return argv[i + 1];
    }
    return nullptr;
}

bool Flag(int argc, char** argv, const char* name)
{
    for (int i = 0; i < argc; ++i) {
        if (strcmp(argv[i], name) == 0)
            return true;
    }
    return false;
}

sockaddr_in Loopback(int port)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int Echo(const TlsLink& tls, TlsSession session, size_t bytes)
{
    std::vector<char> data(bytes);
    for (size_t i = 0; i < bytes; ++i)
        data[i] = static_cast<char>(PatternByte(i));
    if (tls.sslSend(session, data.data(), static_cast<int>(bytes)) != static_cast<int>(bytes)) {
        Say("echo failed: send error %d", WSAGetLastError());
        return 1;
    }
    bool pendingSeen = false;
    char piece[kReadPiece];
    for (size_t got = 0; got < bytes;) {
        int n = tls.sslRecv(session, piece, sizeof piece);
        if (n <= 0) {
            Say("echo failed: recv gave %d after %u bytes (error %d)", n, static_cast<unsigned>(got),
                WSAGetLastError());
            return 1;
        }
        for (int i = 0; i < n; ++i, ++got) {
            if (static_cast<unsigned char>(piece[i]) != PatternByte(got)) {
                Say("echo failed: byte %u differs", static_cast<unsigned>(got));
                return 1;
            }
        }
        pendingSeen = pendingSeen || tls.sslDataPending(session) > 0;
    }
    Say("echo ok %u pending-seen %d", static_cast<unsigned>(bytes), pendingSeen ? 1 : 0);
    return 0;
}

int ReadToEnd(const TlsLink& tls, TlsSession session)
{
    char piece[kReadPiece];
    size_t total = 0;
    for (;;) {
        int n = tls.sslRecv(session, piece, sizeof piece);
        if (n == 0) {
            Say("read %u bytes then closed", static_cast<unsigned>(total));
            return 0;
        }
        if (n < 0) {
            Say("read %u bytes then error %d", static_cast<unsigned>(total), WSAGetLastError());
            return 0;
        }
        total += static_cast<size_t>(n);
    }
}

int Connect(const TlsLink& tls, int argc, char** argv)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = Loopback(atoi(argv[2]));
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        Say("connect failed %d", WSAGetLastError());
        return 1;
    }
    char errorText[kTlsErrorTextSize];
    memset(errorText, 'x', sizeof errorText);
    if (const char* timeout = Option(argc, argv, "--timeout"))
        tls.sslSetTimeout(static_cast<unsigned>(atol(timeout)));
    const char* host = Option(argc, argv, "--host");
    TlsSession session = host ? tls.sslInitSessionHost(s, host, errorText) : tls.sslInitSession(s, errorText);
    if (!session) {
        Say("handshake failed: %.*s", kTlsErrorTextSize, errorText);
        closesocket(s);
        return 0;
    }
    Say("handshake ok");
    int result = 0;
    if (const char* echo = Option(argc, argv, "--echo"))
        result = Echo(tls, session, static_cast<size_t>(atol(echo)));
    if (Flag(argc, argv, "--read"))
        result = ReadToEnd(tls, session);
    tls.sslFreeSession(session);
    closesocket(s);
    return result;
}

int Serve(const TlsLink& tls, int argc, char** argv)
{
    if (const char* name = Option(argc, argv, "--generate"))
        Say("generate %d", tls.sslGenerateCertificate(name));
    Say("certificates %d %d", tls.sslServerCertExists(), tls.sslSignedCertExists());
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = Loopback(atoi(argv[2]));
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 1) != 0) {
        Say("listen failed %d", WSAGetLastError());
        return 1;
    }
    Say("listening");
    SOCKET s = accept(listener, nullptr, nullptr);
    char errorText[kTlsErrorTextSize];
    TlsSession session = tls.sslAcceptSession(s, errorText);
    if (!session) {
        Say("accept failed: %s", errorText);
        closesocket(s);
        return 0;
    }
    Say("accept ok");
    char piece[kReadPiece];
    size_t total = 0;
    int n;
    while ((n = tls.sslRecv(session, piece, sizeof piece)) > 0) {
        total += static_cast<size_t>(n);
        if (tls.sslSend(session, piece, n) != n)
            break;
    }
    Say("echoed %u bytes, last recv %d", static_cast<unsigned>(total), n);
    tls.sslFreeSession(session);
    closesocket(s);
    return 0;
}

int Trust(bool add, const char* file)
{
    FILE* f = fopen(file, "rb");
    if (!f) {
        Say("cannot read %s", file);
        return 1;
    }
    std::string pem;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        pem.append(chunk, n);
    fclose(f);
    DWORD size = 0;
    CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr);
    std::vector<BYTE> der(size);
    if (!size ||
        !CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr)) {
        Say("not a PEM certificate");
        return 1;
    }
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
    PCCERT_CONTEXT wanted = CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size);
    BOOL ok = FALSE;
    if (add) {
        ok = CertAddCertificateContextToStore(root, wanted, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    } else {
        PCCERT_CONTEXT found;
        while ((found = CertFindCertificateInStore(root, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted, nullptr)))
            ok = CertDeleteCertificateFromStore(found); // frees found
        // Wine keeps a deleted root in the registry: remove its key as well.
        BYTE hash[20];
        DWORD hashSize = sizeof hash;
        if (CertGetCertificateContextProperty(wanted, CERT_SHA1_HASH_PROP_ID, hash, &hashSize)) {
            std::string key = "Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\";
            for (DWORD i = 0; i < hashSize; ++i) {
                char hex[3];
                snprintf(hex, sizeof hex, "%02X", hash[i]);
                key += hex;
            }
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
        }
    }
    CertFreeCertificateContext(wanted);
    CertCloseStore(root, 0);
    Say("%s %d", add ? "trusted" : "untrusted", ok ? 1 : 0);
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: tls_client connect|serve PORT [options] | trust|untrust CERT.pem\n");
        return 2;
    }
    std::string command = argv[1];
    if (command == "trust" || command == "untrust")
        return Trust(command == "trust", argv[2]);
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    const TlsLink* tls = LoadTlsLink();
    if (!tls) {
        Say("TLSLINK.DLL not loaded");
        return 1;
    }
    Say("init %d", tls->sslInitLib());
    int result = command == "serve" ? Serve(*tls, argc, argv) : Connect(*tls, argc, argv);
    tls->sslTermLib();
    return result;
}
