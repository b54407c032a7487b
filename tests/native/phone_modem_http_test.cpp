#include "modem/phone_modem_http.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>

namespace {

// What the peer does at one of the reader's wake-ups.
struct Step {
    enum Kind { Data, Close, Silence, Fail, Overrun, ReadFail } kind;
    std::string bytes;
    uint64_t secondsLater = 0; // the clock moves on this far first
};

Step Packet(const std::string& bytes)
{
    return {Step::Data, bytes, 0};
}
Step Closed(uint64_t secondsLater = 0)
{
    return {Step::Close, "", secondsLater};
}
const Step kSilence = {Step::Silence, "", 0};
const Step kFailure = {Step::Fail, "", 0};
const Step kOverrun = {Step::Overrun, "zz", 0};        // Receive claims one byte more than it gave
const Step kReadFailure = {Step::ReadFail, "lost", 0}; // bytes said to wait, and the read fails

// A socket that plays a script: one step per wait. After a Close every wait finds the
// socket readable with nothing waiting, as a closed socket is; after the script, silence.
// A step due later than a wait lasts is not reached by that wait: it times out.
class ScriptedStream : public ResponseStream {
public:
    explicit ScriptedStream(std::deque<Step> steps) : steps_(std::move(steps)) {}

    Wait WaitReadable(int seconds) override
    {
        EXPECT_GT(seconds, 0);
        EXPECT_LE(seconds, kResponseIdleSeconds);
        ++waits;
        if (closed_ || !pending_.empty())
            return Wait::Readable;
        if (steps_.empty())
            return Wait::TimedOut;
        if (steps_.front().secondsLater > static_cast<uint64_t>(seconds)) {
            now_ += seconds;
            steps_.front().secondsLater -= seconds;
            return Wait::TimedOut;
        }
        Step step = steps_.front();
        steps_.pop_front();
        now_ += step.secondsLater;
        switch (step.kind) {
        case Step::Data:
            pending_ = step.bytes;
            return Wait::Readable;
        case Step::Close:
            closed_ = true;
            return Wait::Readable;
        case Step::Silence:
            return Wait::TimedOut;
        case Step::ReadFail:
            pending_ = step.bytes;
            readFails_ = true;
            return Wait::Readable;
        case Step::Overrun:
            pending_ = step.bytes;
            overrun_ = true;
            return Wait::Readable;
        case Step::Fail:
            break;
        }
        return Wait::Failed;
    }
    bool BytesWaiting(size_t& count) override
    {
        count = pending_.size();
        return true;
    }
    long Receive(char* buffer, size_t length) override
    {
        if (readFails_) {
            readFails_ = false;
            pending_.clear();
            return -1;
        }
        size_t n = std::min(length, pending_.size());
        memcpy(buffer, pending_.data(), n);
        pending_.erase(0, n);
        return static_cast<long>(overrun_ ? n + 1 : n);
    }
    uint64_t NowSeconds() override { return now_; }
    void SleepMs(unsigned milliseconds) override
    {
        EXPECT_EQ(1u, milliseconds);
        ++sleeps;
    }

    int waits = 0;
    int sleeps = 0;

private:
    std::deque<Step> steps_;
    std::string pending_;
    bool closed_ = false;
    bool overrun_ = false;
    bool readFails_ = false;
    uint64_t now_ = 5000;
};

std::deque<Step> Packets(const std::string& bytes, size_t size)
{
    std::deque<Step> steps;
    for (size_t at = 0; at < bytes.size(); at += size)
        steps.push_back(Packet(bytes.substr(at, size)));
    return steps;
}

std::string Text(const PhoneModemResponse& response)
{
    return std::string(response.text(), response.received);
}

bool TrailingBytesAreZero(const PhoneModemResponse& response)
{
    const std::vector<char>& b = response.buffer;
    return b.size() >= response.received + kResponseSlack &&
           std::all_of(b.begin() + response.received, b.end(), [](char c) { return c == 0; });
}

struct ExtractCase {
    const char* response;
    const char* value; // nullptr: not there
};

TEST(PhoneModemHeader, ValueOfTheNamedHeaderInTheHeaderBlock)
{
    const std::string longValue(200, 'v');
    const std::string longAnswer = "HTTP/1.0 200 OK\r\nX-QelSMS-DeviceID: " + longValue + "\r\n\r\n";
    const std::string cut(149, 'v');
    const ExtractCase cases[] = {
        {"HTTP/1.0 200 OK\r\nX-QelSMS-DeviceName: Pixel\r\nX-QelSMS-DeviceID: 42\r\n\r\n", "42"},
        {"HTTP/1.0 200 OK\nX-QelSMS-DeviceID: 42\n\nbody", "42"},
        {"HTTP/1.0 200 OK\r\nx-qelsms-deviceid:42\r\n\r\n", "42"},
        {"X-QelSMS-DeviceID: 7\n\n", "7"},                                 // first line
        {"HTTP/1.0 200 OK\r\nX-QelSMS-DeviceID: \t 42  \r\n\r\n", "42  "}, // blanks before skipped, after kept
        {"HTTP/1.0 200 OK\r\nX-QelSMS-DeviceID:\r\n\r\n", ""},             // there, but empty
        {"HTTP/1.0 200 OK\r\nX-QelSMS-DeviceID: a\x01z\r\n\r\n", "a"},     // up to a control character
        {"HTTP/1.0 200 OK\r\nX-QelSMS-DeviceID: caf\xc3\xa9\r\n\r\n", "caf\xc3\xa9"},
        {"HTTP/1.0 200 OK\r\nX-QelSMS-DeviceID: 1\r\nX-QelSMS-DeviceID: 2\r\n\r\n", "1"},
        {"HTTP/1.0 200 OK\r\nX-QelSMS-DeviceName: Pixel\r\n\r\n", nullptr},   // name only
        {"HTTP/1.0 200 OK\r\n\r\nX-QelSMS-DeviceID: 42\r\n\r\n", nullptr},    // only in the body
        {"HTTP/1.0 200 OK\r\nX-Note: X-QelSMS-DeviceID: 9\r\n\r\n", nullptr}, // not at a line start
        {"HTTP/1.0 200 OK\r\nX-QelSMS-DeviceID: 42\r\n", nullptr},            // headers never end
        {"HTTP/1.0 200 OK\rX-QelSMS-DeviceID: 42\r\r", nullptr},              // CR line ends are no block
        {"", nullptr},
        {longAnswer.c_str(), cut.c_str()},
    };
    for (const ExtractCase& c : cases) {
        char value[150] = "stale";
        EXPECT_EQ(c.value != nullptr, ExtractPhoneModemHeader(c.response, "X-QelSMS-DeviceID:", value, sizeof value))
            << c.response;
        EXPECT_STREQ(c.value ? c.value : "", value) << c.response;
    }

    char small[4] = "xyz";
    EXPECT_TRUE(ExtractPhoneModemHeader("A: 123456\n\n", "a:", small, sizeof small));
    EXPECT_STREQ("123", small);
    EXPECT_TRUE(ExtractPhoneModemHeader("A: 123456\n\n", "a:", small, 1));
    EXPECT_STREQ("", small);
}

TEST(PhoneModemResponse, StopsOnceTheAnnouncedBodyIsIn)
{
    // The header end is searched as "\n\n", "\n\r\n", then "\r\r"; a wrong body offset
    // would stop before the body's last two bytes or wait for more and take in the next packet.
    const char* const answers[] = {
        "HTTP/1.0 200 OK\r\nContent-length: 5\r\n\r\nHELLO",
        "HTTP/1.0 200 OK\nContent-Length:5\n\nHELLO",
        "HTTP/1.0 200 OK\rCONTENT-LENGTH: \t5\r\rHELLO",
        "HTTP/1.0 200 OK\r\n\r\nHELLO Content-length: 5",
    };
    for (const char* answer : answers) {
        std::string text = answer;
        ScriptedStream stream(
            {Packet(text.substr(0, text.size() - 2)), Packet(text.substr(text.size() - 2)), Packet("EXTRA"), Closed()});
        PhoneModemResponse response;
        ASSERT_TRUE(ReadPhoneModemResponse(stream, response)) << answer;
        EXPECT_EQ(answer, Text(response));
        EXPECT_TRUE(TrailingBytesAreZero(response));
    }
}

TEST(PhoneModemResponse, TinyPacketsAreCollectedAndTheBufferGrowsByHalf)
{
    std::string answer = "HTTP/1.0 200 OK\r\nX-QelSMS-DeviceID: 42\r\nContent-length: 2900\r\n\r\n";
    answer += std::string(2900, 'b');
    std::deque<Step> steps = Packets(answer, 7);
    steps.push_back(Packet("EXTRA"));
    ScriptedStream stream(steps);
    PhoneModemResponse response;
    ASSERT_TRUE(ReadPhoneModemResponse(stream, response));
    EXPECT_EQ(answer, Text(response));
    EXPECT_EQ(kResponseInitialBuffer * 3 / 2, response.buffer.size());
    EXPECT_TRUE(TrailingBytesAreZero(response));
}

struct StopCase {
    const char* what;
    std::deque<Step> steps;
    int waits;
    int sleeps;
};

TEST(PhoneModemResponse, WhatCameUntilTheStreamEndsIsTheAnswer)
{
    const std::string answer = "HTTP/1.0 200 OK\r\nX-QelSMS-DeviceName: Pixel\r\n\r\nbody";
    const StopCase cases[] = {
        {"closed: six idle wake-ups", {Packet(answer), Closed()}, 7, 5},
        {"silent for the whole wait", {Packet(answer), kSilence}, 2, 0},
        {"socket failure", {Packet(answer), kFailure}, 2, 0},
        {"a read that claims more than it was asked for", {Packet(answer), kOverrun}, 2, 0},
        {"a failed read", {Packet(answer), kReadFailure, Packet("more"), Closed()}, 2, 0},
        {"over two minutes since the first byte", {Packet(answer), Closed(121)}, 2, 0},
        {"two minutes in all are the end", {Packet(answer), Closed(120)}, 2, 1},
        {"under two minutes is within", {Packet(answer), Closed(119)}, 7, 5},
    };
    for (const StopCase& c : cases) {
        ScriptedStream stream(c.steps);
        PhoneModemResponse response;
        ASSERT_TRUE(ReadPhoneModemResponse(stream, response)) << c.what;
        EXPECT_EQ(answer, Text(response)) << c.what;
        EXPECT_EQ(c.waits, stream.waits) << c.what;
        EXPECT_EQ(c.sleeps, stream.sleeps) << c.what;
    }
}

// A peer that trickles its answer, or goes silent late, is not waited for beyond two
// minutes from the first wait.
TEST(PhoneModemResponse, ATricklingPeerEndsWithinTwoMinutesInAll)
{
    const struct {
        const char* what;
        std::deque<Step> steps;
        size_t received;
    } cases[] = {
        {"a byte every 4 s", std::deque<Step>(60, Step{Step::Data, "x", 4}), 30},
        {"a byte at 119 s, then one 100 s later", {Packet("ab"), {Step::Data, "c", 119}, {Step::Data, "d", 100}}, 3},
    };
    for (const auto& c : cases) {
        ScriptedStream stream(c.steps);
        PhoneModemResponse response;
        ASSERT_TRUE(ReadPhoneModemResponse(stream, response)) << c.what;
        EXPECT_EQ(stream.NowSeconds(), 5000u + kResponseTotalSeconds) << c.what;
        EXPECT_EQ(response.received, c.received) << c.what;
    }
}

TEST(PhoneModemResponse, AnswersBeyondTheLimitFail)
{
    const std::string head = "HTTP/1.0 200 OK\r\n\r\n";
    // A peer that keeps sending: 2 MiB, then it closes.
    ScriptedStream endless(Packets(head + std::string(2 * kResponseLimit, 'x'), 65536));
    PhoneModemResponse response;
    EXPECT_FALSE(ReadPhoneModemResponse(endless, response));
    EXPECT_LE(response.buffer.size(), kResponseLimit + kResponseSlack);

    std::string full = head + std::string(kResponseLimit - head.size(), 'x');
    std::deque<Step> steps = Packets(full, 65536);
    steps.push_back(Closed());
    ScriptedStream atLimit(steps);
    EXPECT_TRUE(ReadPhoneModemResponse(atLimit, response));
    EXPECT_EQ(kResponseLimit, response.received);

    steps = Packets(full + "x", 65536);
    steps.push_back(Closed());
    ScriptedStream overLimit(steps);
    EXPECT_FALSE(ReadPhoneModemResponse(overLimit, response));
}

TEST(PhoneModemResponse, AnnouncedLengthsBeyondTheLimitFailWithoutWaiting)
{
    const char* const lengths[] = {"99999999999999999999", "18446744073709551616", "4294967296", "1048576"};
    for (const char* length : lengths) {
        ScriptedStream stream(
            {Packet(std::string("HTTP/1.0 200 OK\r\nContent-length: ") + length + "\r\n\r\n"), Closed()});
        PhoneModemResponse response;
        EXPECT_FALSE(ReadPhoneModemResponse(stream, response)) << length;
        EXPECT_EQ(1, stream.waits) << length;
    }

    // The largest length that fits is waited for: headers and body exactly at the limit.
    const size_t headSize = std::string("HTTP/1.0 200 OK\r\nContent-length: 1234567\r\n\r\n").size();
    std::string head = "HTTP/1.0 200 OK\r\nContent-length: " + std::to_string(kResponseLimit - headSize) + "\r\n\r\n";
    ASSERT_EQ(headSize, head.size());
    ScriptedStream fits({Packet(head), Packet("body"), Closed()});
    PhoneModemResponse response;
    EXPECT_TRUE(ReadPhoneModemResponse(fits, response));
    EXPECT_EQ(head + "body", Text(response));
}

} // namespace
