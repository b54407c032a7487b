// Modem answers come from whatever is on the other end of the port. The input is split at
// 0x00 bytes into the answers a scripted modem gives, one per read, in order; the whole
// modem test and the reset and network steps run over them, and the trace records them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "modem/at_error_codes.h"
#include "modem/at_sequence.h"
#include "modem/modem_trace.h"

namespace {

class FuzzPort : public AtPort {
public:
    explicit FuzzPort(std::vector<std::string> answers) : answers_(std::move(answers)) {}
    bool Send(const std::string&) override { return next_ % 7 != 6; }
    AtAnswer Read(unsigned) override
    {
        if (answers_.empty())
            return {};
        std::string text = answers_[next_++ % answers_.size()];
        if (text.size() > kAnswerBufferSize - 1)
            text.resize(kAnswerBufferSize - 1);
        return {text.size(), text};
    }
    bool SetSpeed(unsigned) override { return true; }
    void ApplyTimeouts(const TimeoutProfile&) override {}

private:
    std::vector<std::string> answers_;
    size_t next_ = 0;
};

struct QuietHost : ModemHost {
    void Sleep(unsigned) override {}
    void Show(const std::string&, MessageIcon, bool) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> answers(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            answers.emplace_back();
        else
            answers.back() += static_cast<char>(data[i]);
    }
    QuietHost host;
    {
        FuzzPort port(answers);
        RunSmsCapabilityTest(port, host, "1234");
    }
    {
        FuzzPort port(answers);
        SendResetCommand(port);
        WaitForNetwork(port, host);
    }
    unsigned long now = 0;
    ModemTrace trace([&] { return now++; });
    for (const std::string& answer : answers) {
        trace.Received({answer.size(), answer}, 1);
        if (MaskPin(answer).find("AT+CPIN=\"") != std::string::npos && MaskPin(answer) == answer &&
            answer.find("AT+CPIN=\"****") == std::string::npos)
            __builtin_trap();
        ExplainAtErrors(answer);
    }
    return 0;
}
