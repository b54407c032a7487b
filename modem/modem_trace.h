// The trace of the last modem test (MODEMTRACE.LOG): every command sent and every answer
// read, with the milliseconds since the test began, what was opened and every message
// shown. A PIN never appears in it, and error reports carry their meaning.
// Portable: no windows.h.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "modem/at_sequence.h"

class ModemTrace {
public:
    // clock: milliseconds from any fixed point.
    explicit ModemTrace(std::function<unsigned long()> clock);

    void Sent(const std::string& command, bool written);
    void Received(const AtAnswer& answer, unsigned seconds);
    void Note(const std::string& text);
    const std::string& Text() const { return text_; }

private:
    void Line(const std::string& text);

    std::function<unsigned long()> clock_;
    unsigned long start_;
    std::string text_;
};

// The text as one trace line: control characters shown as \r, \n, \xNN.
std::string VisibleText(const std::string& text);
// The text with what follows each AT+CPIN=" (up to its quote or line end) replaced by
// ****: in the commands sent, in the modem's echo of them and in every note (a message
// that quotes the modem's answer quotes the PIN too).
std::string MaskPin(const std::string& text);

// A port whose traffic is written to the trace.
class TracedPort final : public AtPort {
public:
    TracedPort(std::unique_ptr<AtPort> inner, ModemTrace& trace) : inner_(std::move(inner)), trace_(trace) {}
    bool Send(const std::string& text) override;
    AtAnswer Read(unsigned seconds) override;
    bool SetSpeed(unsigned bitsPerSecond) override;
    void ApplyTimeouts(const TimeoutProfile& profile) override;

private:
    std::unique_ptr<AtPort> inner_;
    ModemTrace& trace_;
};

// Ports whose opening and traffic are traced.
class TracedPorts final : public SerialPorts {
public:
    TracedPorts(SerialPorts& inner, ModemTrace& trace) : inner_(inner), trace_(trace) {}
    OpenedPort Open(const std::string& name) override;

private:
    SerialPorts& inner_;
    ModemTrace& trace_;
};
