// The certificate side of TLSLINK: the check of a server's certificate after the handshake,
// and the gateway's own server certificate in the local machine's "MY" store.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <string>

// Checks the certificate the server presented: its chain must end at a trusted root, it
// must be meant for servers and, when host is neither null nor empty, name the host. True
// when it passes; otherwise false with the reason in failure.
bool VerifyServerCertificate(PCCERT_CONTEXT certificate, const char* host, std::string& failure);

// The gateway's server certificate with a private key: a CA-signed one when there is one,
// else the self-signed one; null when there is none. The caller frees it
// (CertFreeCertificateContext).
PCCERT_CONTEXT FindServerCertificate();
bool IsSelfSigned(PCCERT_CONTEXT certificate);

// Makes a self-signed server certificate for hostName and puts it in the store in place of
// the previous self-signed one. True on success.
bool GenerateServerCertificate(const char* hostName);
