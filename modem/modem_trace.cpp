#include "modem/modem_trace.h"

#include <cstdio>

#include "base/text.h"
#include "modem/at_error_codes.h"

ModemTrace::ModemTrace(std::function<unsigned long()> clock) : clock_(std::move(clock)), start_(clock_()) {}

void ModemTrace::Line(const std::string& text)
{
    char stamp[32];
    snprintf(stamp, sizeof stamp, "%8lu ms  ", clock_() - start_);
    text_ += stamp + text + "\r\n";
}

void ModemTrace::Sent(const std::string& command, bool written)
{
    Line("> " + VisibleText(MaskPin(command)) + (written ? "" : "   (write failed)"));
}

void ModemTrace::Received(const AtAnswer& answer, unsigned seconds)
{
    char head[64];
    snprintf(head, sizeof head, "< (%u s, %lu bytes) ", seconds, static_cast<unsigned long>(answer.count));
    Line(head + VisibleText(ExplainAtErrors(MaskPin(answer.text))));
}

void ModemTrace::Note(const std::string& text)
{
    Line("# " + VisibleText(MaskPin(text)));
}

std::string VisibleText(const std::string& text)
{
    std::string shown;
    for (unsigned char c : text) {
        if (c == '\r')
            shown += "\\r";
        else if (c == '\n')
            shown += "\\n";
        else if (c < 0x20 || c == 0x7F) {
            char code[8];
            snprintf(code, sizeof code, "\\x%02X", c);
            shown += code;
        } else
            shown += static_cast<char>(c);
    }
    return shown;
}

std::string MaskPin(const std::string& text)
{
    const char prefix[] = "AT+CPIN=\"";
    const size_t prefixLength = sizeof prefix - 1;
    std::string masked;
    size_t from = 0;
    for (;;) {
        size_t at = FindNoCase(text.data() + from, text.size() - from, prefix);
        if (at == text.size() - from)
            return masked + text.substr(from);
        size_t open = from + at + prefixLength;
        size_t close = text.find_first_of("\"\r\n", open);
        if (close == std::string::npos)
            close = text.size();
        masked += text.substr(from, open - from) + "****";
        from = close;
    }
}

bool TracedPort::Send(const std::string& text)
{
    bool written = inner_->Send(text);
    trace_.Sent(text, written);
    return written;
}

AtAnswer TracedPort::Read(unsigned seconds)
{
    AtAnswer answer = inner_->Read(seconds);
    trace_.Received(answer, seconds);
    return answer;
}

bool TracedPort::SetSpeed(unsigned bitsPerSecond)
{
    trace_.Note("speed " + std::to_string(bitsPerSecond) + " bit/s");
    return inner_->SetSpeed(bitsPerSecond);
}

void TracedPort::ApplyTimeouts(const TimeoutProfile& profile)
{
    inner_->ApplyTimeouts(profile);
}

OpenedPort TracedPorts::Open(const std::string& name)
{
    OpenedPort opened = inner_.Open(name);
    static const char* const kStages[] = {"opened", "could not be opened", "SetupComm failed", "GetCommState failed"};
    std::string note = "port " + name + " " + kStages[opened.stage];
    if (opened.stage == OpenedPort::OpenFailed)
        note += ", error " + std::to_string(opened.error);
    trace_.Note(note);
    if (opened.port)
        opened.port.reset(new TracedPort(std::move(opened.port), trace_));
    return opened;
}
