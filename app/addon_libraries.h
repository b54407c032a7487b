// The gateway's optional add-on libraries, loaded at run time: WAPLINK.DLL (modem
// arbitration, dial-up and WAP) and TLSLINK.DLL (TLS sessions over a connected socket).
// Each is loaded at most once per process, by full path from the folder of the running
// program and from nowhere else, and counts as present only when every required entry point
// resolved; otherwise the program acts as if the file did not exist.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <string>

// Called first at start-up: libraries loaded by bare name from then on come from the system
// folder (where the system offers that choice), and never from the current folder.
void RestrictLibrarySearch();

// The full path of an add-on library: the folder of the running program and the file name.
std::string AddOnLibraryPath(const char* file);

// --- WAPLINK.DLL ---

// Dials the dial-up profile ("Modem: <name>" for the modem itself) for the APN: 0 connected,
// 1 the WAP gateway did not answer, 600-799 a RAS error, anything else another failure.
typedef int(WINAPI* WspRasDialProc)(const char* profile, const char* apn, const char* login, const char* password,
                                    const char* wapGateway);
typedef int(WINAPI* WspRasHangUpProc)(const char* profile);
// Borrows the modem from the running gateway service, waiting up to waitMs: a non-zero
// allocation handle, or 0 when the service keeps the modem.
typedef DWORD(WINAPI* ModemAllocateProc)(const char* modemName, DWORD waitMs, DWORD* reserved);
typedef void(WINAPI* ModemReleaseProc)(DWORD allocation);
// Fills a list or combo box of the dialog with the dial-up connections; message is the
// control's add-string message (CB_ADDSTRING or LB_ADDSTRING).
typedef int(WINAPI* RasLoadListOrComboBoxProc)(HWND dialog, int controlId, UINT message);
// Optional: the context id the modem driver uses for the APN, read in two ways (selector 0
// or 1); 0 when it has none.
typedef int(WINAPI* ModemGetCidForApnProc)(const char* modemName, const char* apn, int selector);
// Optional: rewrites the modem driver's initialisation strings for the APN; non-zero when
// they were changed.
typedef int(WINAPI* ModemDriverUpdateInitStringsProc)(const char* modemName, const char* apn);
// Optional: writes the text of a RAS error code into buffer (at most length characters,
// terminator included).
typedef void(WINAPI* WspRasGetErrorStringProc)(DWORD code, char* buffer, DWORD length);

struct WapLink {
    WspRasDialProc WSPRasDial;
    WspRasHangUpProc WSPRasHangUp;
    ModemAllocateProc ModemAllocate;
    ModemReleaseProc ModemRelease;
    RasLoadListOrComboBoxProc RasLoadListOrComboBox;
    ModemGetCidForApnProc ModemGetCIDForAPN;                       // may be null
    ModemDriverUpdateInitStringsProc ModemDriverUpdateInitStrings; // may be null
    WspRasGetErrorStringProc WSPRasGetErrorString;                 // may be null
};

// The loaded library's entry points, or null when it is absent or incomplete.
const WapLink* LoadWapLink();

// --- TLSLINK.DLL ---

// The error text buffer a caller hands to sslInitSession and sslAcceptSession.
constexpr int kTlsErrorTextSize = 256;
typedef void* TlsSession;

typedef int(WINAPI* SslInitLibProc)();
typedef void(WINAPI* SslTermLibProc)();
// A client session over the connected socket, or 0 with what failed in errorText.
typedef TlsSession(WINAPI* SslInitSessionProc)(SOCKET socket, char* errorText);
typedef TlsSession(WINAPI* SslAcceptSessionProc)(SOCKET socket, char* errorText);
// Optional: a client session that sends the host name (SNI) and verifies the server
// certificate's chain, validity and names against it; 0 with the reason in errorText.
typedef TlsSession(WINAPI* SslInitSessionHostProc)(SOCKET socket, const char* host, char* errorText);
// Optional: the longest wait for the peer, for the calling thread, of the next handshake and
// of each later sslRecv / sslSend (0: the library's default, 30 s).
typedef void(WINAPI* SslSetTimeoutProc)(unsigned milliseconds);
typedef void(WINAPI* SslFreeSessionProc)(TlsSession session);
// As send and recv: bytes moved, 0 when the peer closed (recv), SOCKET_ERROR on failure.
typedef int(WINAPI* SslSendProc)(TlsSession session, const char* data, int length);
typedef int(WINAPI* SslRecvProc)(TlsSession session, char* buffer, int length);
// Non-zero when data is waiting in the session (decrypted, or received and not decrypted).
typedef int(WINAPI* SslDataPendingProc)(TlsSession session);
typedef int(WINAPI* SslServerCertExistsProc)();
typedef int(WINAPI* SslSignedCertExistsProc)();
typedef int(WINAPI* SslGenerateCertificateProc)(const char* hostName);

struct TlsLink {
    SslInitSessionProc sslInitSession;
    SslAcceptSessionProc sslAcceptSession;
    SslFreeSessionProc sslFreeSession;
    SslSendProc sslSend;
    SslRecvProc sslRecv;
    SslDataPendingProc sslDataPending;
    SslInitLibProc sslInitLib;
    SslTermLibProc sslTermLib;
    SslServerCertExistsProc sslServerCertExists;
    SslSignedCertExistsProc sslSignedCertExists;
    SslGenerateCertificateProc sslGenerateCertificate;
    SslInitSessionHostProc sslInitSessionHost; // may be null
    SslSetTimeoutProc sslSetTimeout;           // may be null
};

const TlsLink* LoadTlsLink();
