// Answers to the phone-modem query come from anyone on the network. A message that reads
// must write out and read back the same, and whatever the browser makes of it must carry a
// plain name.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "gateway/gwcore/dns_sd.h"

namespace {

bool SameRecords(const DnsMessage& a, const DnsMessage& b)
{
    if (a.id != b.id || a.flags != b.flags || a.questions.size() != b.questions.size() ||
        a.records.size() != b.records.size())
        return false;
    for (size_t i = 0; i < a.questions.size(); ++i) {
        if (a.questions[i].name != b.questions[i].name || a.questions[i].type != b.questions[i].type)
            return false;
    }
    for (size_t i = 0; i < a.records.size(); ++i) {
        const DnsRecord& x = a.records[i];
        const DnsRecord& y = b.records[i];
        if (x.section != y.section || x.name != y.name || x.type != y.type || x.ttl != y.ttl || x.target != y.target ||
            x.port != y.port || x.address != y.address)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DnsMessage message;
    if (!ParseDnsMessage(data, size, message))
        return 0;

    // Records come back grouped by section, the order the parser met them in already.
    const std::vector<uint8_t> wire = EncodeDnsMessage(message);
    DnsMessage again;
    if (wire.empty() || !ParseDnsMessage(wire.data(), wire.size(), again) || !SameRecords(message, again))
        __builtin_trap();

    ModemBrowser browser;
    for (int round = 0; round < 2; ++round) {
        for (const FoundModem& modem : browser.Add(message)) {
            if (!IsPlainModemName(modem.name) || modem.host.empty() || modem.port == 0)
                __builtin_trap();
        }
        message.flags |= 0x8000; // the second round reads it as an answer in any case
        message.flags &= 0x87F0;
    }
    if (browser.FollowUps(16).size() > 16)
        __builtin_trap();
    return 0;
}
