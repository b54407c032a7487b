// The phone modem's side of its "/init" exchange: reading the HTTP answer off a socket and
// picking header values out of it. The socket, the clock and the sleep are reached through
// a small interface so that the reader can be tested without a network. Portable: no
// windows.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// What the reader needs of a connected socket.
class ResponseStream {
public:
    virtual ~ResponseStream() = default;
    enum class Wait { Readable, TimedOut, Failed };
    // Waits until the socket has something to read (data or the peer's close).
    virtual Wait WaitReadable(int seconds) = 0;
    // The count of bytes waiting to be received; false on error.
    virtual bool BytesWaiting(size_t& count) = 0;
    // Receives up to length bytes: their count, 0 when none came, negative on error.
    virtual long Receive(char* buffer, size_t length) = 0;
    virtual uint64_t NowSeconds() = 0;
    virtual void SleepMs(unsigned milliseconds) = 0;
};

// The reader starts with a buffer of this size and grows it by half when it runs short.
const size_t kResponseInitialBuffer = 2048;
// Zero bytes the buffer always keeps behind the data, so that it stays a terminated text.
const size_t kResponseSlack = 16;
// The longest answer taken: a phone modem answers with a few headers, and a peer that
// sends or announces more is not one.
const size_t kResponseLimit = 1024 * 1024;
// The longest single wait of the reader.
const int kResponseIdleSeconds = 120;
// The whole answer may take this long, however the peer trickles it; so no silence is
// waited out for longer either.
const int kResponseTotalSeconds = 120;
// Wake-ups with nothing to read (the peer has closed) before the reader stops.
const int kResponseIdleWakeups = 5;

struct PhoneModemResponse {
    std::vector<char> buffer; // the data, then at least kResponseSlack zero bytes
    size_t received = 0;
    const char* text() const { return buffer.data(); }
};

// Reads an HTTP answer: until the headers and the body that "Content-length:" announces
// have arrived, the peer has closed, the answer took kResponseTotalSeconds in all (no wait
// runs past it), or the socket failed; what came until then is the answer. False when the
// buffer cannot grow, or when the answer is, or announces itself as, longer than
// kResponseLimit.
bool ReadPhoneModemResponse(ResponseStream& stream, PhoneModemResponse& response);

// Copies the value of the header named name (with its colon, "X-QelSMS-DeviceID:"; the
// name is compared without regard to case) from the header block of response into output:
// the blanks behind the name skipped, up to the first control character, at most size - 1
// characters, terminated. The header block ends at the first blank line (LF LF or LF CR LF);
// an answer without one has no headers. Output is empty when the header is not there.
// True when it is there, even with an empty value.
bool ExtractPhoneModemHeader(const char* response, const char* name, char* output, size_t size);
