// The byte stream the mail login dialogues talk over, and the waits they use. The Win32
// side implements it over a socket and a TLSLINK.DLL session; the native tests over a
// script. Portable: no windows.h.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

// Milliseconds from any fixed point.
using MailClock = std::function<unsigned long()>;

class MailStream {
public:
    enum class Wait { kReadable, kTimedOut, kFailed };

    virtual ~MailStream() = default;

    // Opens the socket; false when none could be had.
    virtual bool Open() = 0;
    // Connects to host (a bracketed IPv6 literal keeps its brackets) on port.
    virtual bool Connect(const std::string& host, unsigned port) = 0;
    // True when TLS sessions can be made (the TLS library is there and started).
    virtual bool TlsUsable() = 0;
    // The longest the next TLS handshake, and each later Send and Receive, may wait for the
    // peer; the dialogues set it before each of them from what is left of the step's time.
    virtual void LimitWaits(unsigned long milliseconds) = 0;
    // Starts a client TLS session on the connected socket, checking the server's certificate
    // against host; false with the library's reason in error. From then on every byte goes
    // through the session.
    virtual bool StartTls(const std::string& host, std::string& error) = 0;
    // What the session negotiated, for the transcript (or that the library does not say).
    virtual std::string TlsDetails() = 0;

    // Sends all of data in one call; true when all of it went out.
    virtual bool Send(const std::string& data) = 0;
    // Waits up to milliseconds for bytes to read; readable at once when the TLS session
    // already holds some.
    virtual Wait WaitReadable(unsigned long milliseconds) = 0;
    // How many bytes a read may ask for now; 0 when the peer has closed.
    virtual size_t Available() = 0;
    // Reads up to length bytes: their count, 0 or less when the connection ended or failed.
    virtual long Receive(char* buffer, size_t length) = 0;
};

// The waits of the login tests in seconds. Each reply wait is the most the whole reply may
// take, however the server trickles it. The product keeps the defaults; test hosts shorten
// them.
struct MailTiming {
    unsigned greetingProbe = 3; // a plain-text greeting before TLS, or TLS from the first byte
    unsigned startTlsReply = 5; // EHLO and STARTTLS (SMTP), STLS (POP3) before TLS
    unsigned handshake = 30;    // the TLS handshake
    unsigned send = 30;         // one command going out
    unsigned greeting = 30;     // the greeting (SMTP, POP3)
    unsigned smtpCommand = 120; // EHLO and the AUTH LOGIN steps
    unsigned smtpQuit = 10;     // QUIT (SMTP)
    unsigned pop3Command = 60;  // USER, PASS and QUIT (POP3)
    unsigned imapSelect = 15;   // one wait of the IMAP reader
    unsigned imapIdle = 180;    // the IMAP reader without data
    unsigned imapTotal = 1800;  // the IMAP reader in all
};

// The waits the program's login tests use (Win32 side); test hosts may shorten them.
MailTiming& MailLoginTiming();
