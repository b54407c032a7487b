// TLSLINK.DLL: TLS sessions over an already connected, blocking socket, for the mail-server
// logins (SMTP STARTTLS, POP3 STLS, IMAP) and the MM7 connection over HTTPS. The library
// holds no TLS code of its own: the handshake and the records are Schannel's (SSPI), the
// certificate checks crypt32's. A client session accepts only a server certificate whose
// chain ends at an authority the machine trusts and, when the host name is known, whose
// names include it; this check is made here, so the library refuses the same servers on
// every system whatever the TLS provider checks on its own.
//
// The server certificate of sslAcceptSession lives in the local machine's "MY" store under
// the friendly name kServerCertificateName, its key in the machine key container of the
// same name.
#pragma once

#include <winsock2.h>
#include <windows.h>

#ifdef TLSLINK_BUILD
#define TLSLINK_API extern "C" __declspec(dllexport)
#else
#define TLSLINK_API extern "C" __declspec(dllimport)
#endif

// Size of the error text buffer the callers hand in, terminator included.
constexpr int kTlsLinkErrorTextSize = 256;
constexpr char kServerCertificateName[] = "QelSMS Gateway";

// Non-zero when TLS can be used on this system (the Schannel package is there).
TLSLINK_API int WINAPI sslInitLib();
// Frees what the library keeps between sessions (the server credentials).
TLSLINK_API void WINAPI sslTermLib();

// A client session (TLS 1.2) after a complete handshake over the connected socket, or 0 with
// what failed in errorText (kTlsLinkErrorTextSize bytes). The chain is refused on any error
// the chain engine reports (revocation that could not be checked aside), when the server
// certificate is not meant for servers, and when a certificate other than a self-signed root
// is signed with MD5 or SHA-1. sslInitSession checks the chain only; sslInitSessionHost also
// sends the host name (SNI) and checks the certificate's names against it. A server that
// answers with bytes that cannot start a TLS record is refused at once.
TLSLINK_API void* WINAPI sslInitSession(SOCKET socket, char* errorText);
TLSLINK_API void* WINAPI sslInitSessionHost(SOCKET socket, const char* host, char* errorText);
// A server session with the gateway's server certificate (a CA-signed one before the
// self-signed one), or 0 with what failed in errorText.
TLSLINK_API void* WINAPI sslAcceptSession(SOCKET socket, char* errorText);
// Sends close_notify when the session is still sound and frees it; the socket stays open.
TLSLINK_API void WINAPI sslFreeSession(void* session);

// The longest wait for the peer, for the calling thread: of the whole handshake of its next
// sslInitSession / sslInitSessionHost / sslAcceptSession, and of each later sslRecv and
// sslSend (also for the rest of a record). 0 sets the default again, 30000. When the caller
// set a shorter receive time-out (SO_RCVTIMEO) on the socket, that one bounds instead. A
// handshake that runs out fails with the wait named in errorText; sslRecv and sslSend give
// SOCKET_ERROR with WSAETIMEDOUT (a recv can be tried again; a send that ran out ends the
// session).
TLSLINK_API void WINAPI sslSetTimeout(unsigned milliseconds);

// As send and recv on a blocking socket: sslSend sends everything (in records of at most
// the negotiated size) and returns length; sslRecv returns what one or more records held,
// up to length, keeping the rest for the next call, 0 once the peer closed (close_notify or
// the connection ended between records), SOCKET_ERROR on failure (WSAGetLastError: the
// socket's error, WSAECONNRESET for a connection that ended inside a record,
// WSAECONNABORTED for a record that did not decrypt).
TLSLINK_API int WINAPI sslSend(void* session, const char* data, int length);
TLSLINK_API int WINAPI sslRecv(void* session, char* buffer, int length);
// Bytes held by the session: decrypted and not yet read, plus received and not yet
// decrypted. Bytes still in the socket are not counted.
TLSLINK_API int WINAPI sslDataPending(void* session);

// Non-zero when the gateway has a server certificate with its key (sslServerCertExists),
// and when that certificate was issued by an authority rather than self-signed
// (sslSignedCertExists).
TLSLINK_API int WINAPI sslServerCertExists();
TLSLINK_API int WINAPI sslSignedCertExists();
// Makes a new self-signed server certificate for hostName (subject CN and DNS name, server
// authentication, RSA 2048, SHA-256, valid ten years) and keeps it in place of the previous
// self-signed one. Non-zero on success.
TLSLINK_API int WINAPI sslGenerateCertificate(const char* hostName);
