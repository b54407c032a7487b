#include "modem/phone_modem_http.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/text.h"

namespace {

const size_t kNotFound = static_cast<size_t>(-1);
const char kContentLength[] = "Content-length:";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The first occurrence of a mark (compared without regard to case) in a text that only
// grows at its end. Each search resumes where the last one stopped, so a peer that
// trickles its answer in single bytes costs no more than one that sends it at once.
class GrowingSearch {
public:
    explicit GrowingSearch(const char* mark) : mark_(mark), markLength_(strlen(mark)) {}

    size_t Find(const char* text, size_t length)
    {
        if (found_ != kNotFound)
            return found_;
        size_t from = scanned_ >= markLength_ ? scanned_ - (markLength_ - 1) : 0;
        size_t at = FindNoCase(text + from, length - from, mark_);
        if (at != length - from)
            found_ = from + at;
        else
            scanned_ = length;
        return found_;
    }

private:
    const char* mark_;
    size_t markLength_;
    size_t scanned_ = 0;
    size_t found_ = kNotFound;
};

// What the reader looks for in the text received so far: where the headers end and what
// "Content-length:" says. The text ends at the first zero byte, as the peer's answer is
// read as one terminated text.
class ResponseScan {
public:
    void Grow(const PhoneModemResponse& response)
    {
        if (textLength_ == scannedBytes_)
            textLength_ += strnlen(response.text() + textLength_, response.received - textLength_);
        scannedBytes_ = response.received;
    }

    // The offset of the body: behind the first "\n\n", else the first "\n\r\n", else the
    // first "\r\r"; 0 while the headers have not ended.
    size_t BodyOffset(const char* text)
    {
        if (size_t at = lfLf_.Find(text, textLength_); at != kNotFound)
            return at + 2;
        if (size_t at = lfCrLf_.Find(text, textLength_); at != kNotFound)
            return at + 3;
        if (size_t at = crCr_.Find(text, textLength_); at != kNotFound)
            return at + 2;
        return 0;
    }

    // The decimal value behind "Content-length:" and any blanks, found anywhere in the
    // text; 0 when there is none. Every value above kResponseLimit reads as
    // kResponseLimit + 1, so that no count of digits can overflow it.
    size_t ContentLength(const char* text)
    {
        size_t at = contentLength_.Find(text, textLength_);
        if (at == kNotFound)
            return 0;
        const char* p = text + at + strlen(kContentLength);
        while (IsBlank(*p))
            ++p;
        size_t value = 0;
        for (; *p >= '0' && *p <= '9'; ++p)
            value = std::min(value * 10 + static_cast<size_t>(*p - '0'), kResponseLimit + 1);
        return value;
    }

private:
    size_t textLength_ = 0;
    size_t scannedBytes_ = 0;
    GrowingSearch lfLf_{"\n\n"};
    GrowingSearch lfCrLf_{"\n\r\n"};
    GrowingSearch crCr_{"\r\r"};
    GrowingSearch contentLength_{kContentLength};
};

// Room for needed bytes: grows the buffer, zero-filled, by half at least.
bool MakeRoom(std::vector<char>& buffer, size_t needed)
{
    if (needed <= buffer.size())
        return true;
    size_t grown = std::max(needed, buffer.size() + buffer.size() / 2);
    try {
        buffer.resize(std::min(grown, kResponseLimit + kResponseSlack), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// The length of the whole answer once its headers are in: headers and announced body, 0
// when no length is announced, kNotFound when the announced answer exceeds the limit.
size_t ExpectedLength(ResponseScan& scan, const PhoneModemResponse& response)
{
    size_t body = scan.BodyOffset(response.text());
    if (body == 0)
        return 0;
    size_t length = scan.ContentLength(response.text());
    if (length > kResponseLimit - body)
        return kNotFound;
    return length == 0 ? 0 : body + length;
}

size_t HeaderBlockEnd(const char* text)
{
    for (const char* p = strchr(text, '\n'); p; p = strchr(p + 1, '\n')) {
        if (p[1] == '\n')
            return p - text + 2;
        if (p[1] == '\r' && p[2] == '\n')
            return p - text + 3;
    }
    return 0;
}

void CopyValue(const char* value, char* output, size_t size)
{
    while (IsBlank(*value))
        ++value;
    size_t n = 0;
    while (n + 1 < size && static_cast<unsigned char>(value[n]) >= 0x20) {
        output[n] = value[n];
        ++n;
    }
    output[n] = '\0';
}

} // namespace

bool ReadPhoneModemResponse(ResponseStream& stream, PhoneModemResponse& response)
{
    response.buffer.assign(kResponseInitialBuffer, 0);
    response.received = 0;
    ResponseScan scan;
    size_t expected = 0;
    int idleWakeups = 0;
    // The limit in all holds the limit without data too: no byte can come before the start.
    const uint64_t start = stream.NowSeconds();
    for (;;) {
        const uint64_t now = stream.NowSeconds();
        if (now - start >= static_cast<uint64_t>(kResponseTotalSeconds))
            break;
        if (expected == 0)
            expected = ExpectedLength(scan, response);
        if (expected == kNotFound)
            return false;
        if (expected != 0 && response.received >= expected)
            break;
        const int left = kResponseTotalSeconds - static_cast<int>(now - start);
        if (stream.WaitReadable(std::min(kResponseIdleSeconds, left)) != ResponseStream::Wait::Readable)
            break;
        size_t waiting = 0;
        if (!stream.BytesWaiting(waiting))
            break;
        if (waiting == 0) {
            if (++idleWakeups > kResponseIdleWakeups)
                break;
            stream.SleepMs(1);
            continue;
        }
        if (waiting > kResponseLimit - response.received)
            return false;
        if (!MakeRoom(response.buffer, response.received + waiting + kResponseSlack))
            return false;
        long got = stream.Receive(response.buffer.data() + response.received, waiting);
        if (got < 0 || static_cast<size_t>(got) > waiting)
            break;
        if (got > 0) {
            response.received += static_cast<size_t>(got);
            scan.Grow(response);
        }
    }
    return true;
}

bool ExtractPhoneModemHeader(const char* response, const char* name, char* output, size_t size)
{
    if (size == 0)
        return false;
    output[0] = '\0';
    size_t end = HeaderBlockEnd(response);
    size_t length = strlen(response);
    size_t nameLength = strlen(name);
    for (size_t at = 0; at < end; ++at) {
        if (at > 0 && response[at - 1] != '\n')
            continue;
        if (StartsWithNoCase(response + at, length - at, name)) {
            CopyValue(response + at + nameLength, output, size);
            return true;
        }
    }
    return false;
}
