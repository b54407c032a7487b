// Texts for what the TLS provider and the certificate checks report, written into the
// callers' error text buffer.
#pragma once

#include <windows.h>

#include <string>

// lead followed by what the status of the TLS provider means and its code:
// "TLS handshake failed: " gives "TLS handshake failed: <meaning> (0x80090304)".
std::string StatusText(const char* lead, LONG status);
// The verdict of the chain policy check for a server certificate: "host name does not
// match the certificate" or "server certificate not trusted: <why> (0x800B0109)".
std::string CertificateFailureText(DWORD error, bool selfSigned);
// Copies text into a caller's error buffer of kTlsLinkErrorTextSize bytes, cut to fit.
void CopyErrorText(char* errorText, const std::string& text);
