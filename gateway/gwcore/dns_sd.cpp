#include "gateway/gwcore/dns_sd.h"

#include "base/paths.h"

#include <cstdio>
#include <set>

#include "base/text.h"

namespace {

const size_t kMaxLabel = 63;
const size_t kMaxName = 255; // wire length, length octets and the root included
const size_t kMaxPointerTarget = 0x3FFF;
const size_t kHeaderSize = 12;
// What one search keeps at most: a flood of made-up instances must not grow it unbounded.
const size_t kMaxInstances = 256;
const size_t kMaxHosts = 256;

// The labels from the given one on, each after its length so that their boundaries stay
// apart. Names compare without regard to case; a writer shares only exact suffixes, so
// that a name reads back in the letters it was written in.
std::string NameKey(const DnsName& name, size_t from = 0, bool exact = false)
{
    std::string key;
    for (size_t i = from; i < name.size(); ++i) {
        key += static_cast<char>(name[i].size());
        for (char c : name[i])
            key += exact ? c : AsciiLower(c);
    }
    return key;
}

bool IsInstanceOfModemService(const DnsName& name)
{
    static const std::string serviceKey = NameKey(ModemServiceType());
    return name.size() == ModemServiceType().size() + 1 && NameKey(name, 1) == serviceKey;
}

class Writer {
public:
    void U8(unsigned value) { out_.push_back(static_cast<uint8_t>(value)); }
    void U16(unsigned value)
    {
        U8(value >> 8);
        U8(value);
    }
    void U32(uint32_t value)
    {
        U16(value >> 16);
        U16(value & 0xFFFF);
    }
    void PatchU16(size_t at, size_t value)
    {
        out_[at] = static_cast<uint8_t>(value >> 8);
        out_[at + 1] = static_cast<uint8_t>(value);
    }
    size_t Size() const { return out_.size(); }

    // Writes the labels up to the first suffix written before, then a pointer to it.
    bool Name(const DnsName& name)
    {
        size_t total = 1;
        for (const std::string& label : name) {
            if (label.empty() || label.size() > kMaxLabel)
                return false;
            total += label.size() + 1;
        }
        if (total > kMaxName)
            return false;
        for (size_t i = 0; i < name.size(); ++i) {
            std::string key = NameKey(name, i, true);
            auto known = suffixes_.find(key);
            if (known != suffixes_.end()) {
                U16(0xC000 | known->second);
                return true;
            }
            if (out_.size() <= kMaxPointerTarget)
                suffixes_[key] = out_.size();
            U8(static_cast<unsigned>(name[i].size()));
            out_.insert(out_.end(), name[i].begin(), name[i].end());
        }
        U8(0);
        return true;
    }

    bool Record(const DnsRecord& record)
    {
        if (!Name(record.name))
            return false;
        U16(record.type);
        U16(kDnsClassIn);
        U32(record.ttl);
        size_t lengthAt = out_.size();
        U16(0);
        bool ok = true;
        if (record.type == kDnsTypePtr) {
            ok = Name(record.target);
        } else if (record.type == kDnsTypeSrv) {
            U16(0); // priority
            U16(0); // weight
            U16(record.port);
            ok = Name(record.target);
        } else if (record.type == kDnsTypeA || record.type == kDnsTypeAaaa) {
            ok = record.address.size() == (record.type == kDnsTypeA ? 4u : 16u);
            out_.insert(out_.end(), record.address.begin(), record.address.end());
        }
        PatchU16(lengthAt, out_.size() - lengthAt - 2);
        return ok;
    }

    std::vector<uint8_t> Take() { return std::move(out_); }

private:
    std::vector<uint8_t> out_;
    std::map<std::string, size_t> suffixes_;
};

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t pos = 0;

    bool U16(uint16_t& value)
    {
        if (size_ - pos < 2)
            return false;
        value = static_cast<uint16_t>(data_[pos] << 8 | data_[pos + 1]);
        pos += 2;
        return true;
    }
    bool U32(uint32_t& value)
    {
        uint16_t high, low;
        if (!U16(high) || !U16(low))
            return false;
        value = static_cast<uint32_t>(high) << 16 | low;
        return true;
    }
    bool Bytes(size_t count, std::vector<uint8_t>& out)
    {
        if (size_ - pos < count)
            return false;
        out.assign(data_ + pos, data_ + pos + count);
        pos += count;
        return true;
    }

    // Follows compression pointers only backwards, each before the start of the labels
    // that led to it, so every jump lands lower and the walk ends.
    bool Name(DnsName& name)
    {
        name.clear();
        size_t at = pos;
        size_t segmentStart = pos;
        size_t total = 1;
        bool jumped = false;
        for (;;) {
            if (at >= size_)
                return false;
            const uint8_t length = data_[at];
            if ((length & 0xC0) == 0xC0) {
                if (at + 1 >= size_)
                    return false;
                const size_t target = static_cast<size_t>(length & 0x3F) << 8 | data_[at + 1];
                if (target >= segmentStart)
                    return false;
                if (!jumped)
                    pos = at + 2;
                jumped = true;
                at = segmentStart = target;
                continue;
            }
            if (length & 0xC0)
                return false; // the extended label types are not in use
            if (length == 0) {
                if (!jumped)
                    pos = at + 1;
                return true;
            }
            total += length + 1u;
            if (total > kMaxName || size_ - at - 1 < length)
                return false;
            name.emplace_back(reinterpret_cast<const char*>(data_ + at + 1), length);
            at += 1u + length;
        }
    }

private:
    const uint8_t* data_;
    size_t size_;
};

bool IsKeptType(uint16_t type)
{
    return type == kDnsTypeA || type == kDnsTypeAaaa || type == kDnsTypePtr || type == kDnsTypeSrv;
}

// One record; false when it is malformed. Sets keep when it is of a kind discovery reads.
bool ReadRecord(Reader& in, DnsRecord& record, bool& keep)
{
    uint16_t dnsClass, length;
    if (!in.Name(record.name) || !in.U16(record.type) || !in.U16(dnsClass) || !in.U32(record.ttl) || !in.U16(length))
        return false;
    std::vector<uint8_t> skipped;
    const size_t end = in.pos + length;
    keep = (dnsClass & 0x7FFF) == kDnsClassIn && IsKeptType(record.type);
    if (!keep)
        return in.Bytes(length, skipped);
    switch (record.type) {
    case kDnsTypeA:
        return length == 4 && in.Bytes(length, record.address);
    case kDnsTypeAaaa:
        return length == 16 && in.Bytes(length, record.address);
    case kDnsTypePtr:
        return in.Name(record.target) && in.pos == end;
    default: // SRV: priority, weight, port, target
        return length > 6 && in.Bytes(4, skipped) && in.U16(record.port) && in.Name(record.target) && in.pos == end;
    }
}

bool ReadRecords(Reader& in, uint16_t count, DnsSection section, std::vector<DnsRecord>& records)
{
    for (unsigned i = 0; i < count; ++i) {
        DnsRecord record;
        record.section = section;
        bool keep = false;
        if (!ReadRecord(in, record, keep))
            return false;
        if (keep)
            records.push_back(std::move(record));
    }
    return true;
}

} // namespace

DnsName ModemServiceType()
{
    return {"_qelsmsmodem", "_tcp", "local"};
}

std::vector<uint8_t> EncodeDnsMessage(const DnsMessage& message)
{
    Writer out;
    out.U16(message.id);
    out.U16(message.flags);
    out.U16(static_cast<unsigned>(message.questions.size()));
    const size_t countsAt = out.Size();
    for (int i = 0; i < 3; ++i)
        out.U16(0);
    for (const DnsQuestion& question : message.questions) {
        if (!out.Name(question.name))
            return {};
        out.U16(question.type);
        out.U16(question.dnsClass);
    }
    const DnsSection sections[] = {DnsSection::Answer, DnsSection::Authority, DnsSection::Additional};
    for (size_t s = 0; s < 3; ++s) {
        size_t count = 0;
        for (const DnsRecord& record : message.records) {
            if (record.section != sections[s])
                continue;
            if (!out.Record(record))
                return {};
            ++count;
        }
        out.PatchU16(countsAt + 2 * s, count);
    }
    return out.Take();
}

bool ParseDnsMessage(const uint8_t* data, size_t size, DnsMessage& out)
{
    out = DnsMessage();
    if (!data || size < kHeaderSize)
        return false;
    Reader in(data, size);
    uint16_t counts[4];
    in.U16(out.id);
    in.U16(out.flags);
    for (uint16_t& count : counts)
        in.U16(count);
    for (unsigned i = 0; i < counts[0]; ++i) {
        DnsQuestion question;
        if (!in.Name(question.name) || !in.U16(question.type) || !in.U16(question.dnsClass))
            return false;
        out.questions.push_back(std::move(question));
    }
    return ReadRecords(in, counts[1], DnsSection::Answer, out.records) &&
           ReadRecords(in, counts[2], DnsSection::Authority, out.records) &&
           ReadRecords(in, counts[3], DnsSection::Additional, out.records);
}

std::vector<uint8_t> BuildModemQuery(uint16_t id, const std::vector<DnsQuestion>& followUps)
{
    DnsMessage query;
    query.id = id;
    query.questions.push_back({ModemServiceType(), kDnsTypePtr, kDnsClassIn});
    query.questions.insert(query.questions.end(), followUps.begin(), followUps.end());
    return EncodeDnsMessage(query);
}

bool IsPlainModemName(const std::string& name)
{
    if (name.empty() || name.size() > 100)
        return false;
    for (char c : name) {
        const bool letterOrDigit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letterOrDigit && c != ' ' && c != '-' && c != '_' && c != '.')
            return false;
    }
    const char first = name.front();
    const char last = name.back();
    return name.find("..") == std::string::npos && first != ' ' && first != '.' && last != ' ' && last != '.' &&
           !IsDeviceName(name);
}

std::string AddressText(const std::vector<uint8_t>& address)
{
    char text[48];
    if (address.size() == 4) {
        snprintf(text, sizeof text, "%u.%u.%u.%u", address[0], address[1], address[2], address[3]);
        return text;
    }
    if (address.size() != 16)
        return {};
    unsigned groups[8];
    for (int i = 0; i < 8; ++i)
        groups[i] = static_cast<unsigned>(address[2 * i] << 8 | address[2 * i + 1]);
    // The longest run of two or more zero groups becomes "::".
    int bestStart = -1, bestLength = 1;
    for (int i = 0; i < 8;) {
        int j = i;
        while (j < 8 && groups[j] == 0)
            ++j;
        if (j - i > bestLength) {
            bestStart = i;
            bestLength = j - i;
        }
        i = j > i ? j : i + 1;
    }
    std::string out;
    for (int i = 0; i < 8; ++i) {
        if (i == bestStart) {
            out += "::";
            i += bestLength - 1;
            continue;
        }
        if (!out.empty() && out.back() != ':')
            out += ':';
        snprintf(text, sizeof text, "%x", groups[i]);
        out += text;
    }
    return out;
}

ModemBrowser::Instance* ModemBrowser::InstanceFor(const DnsName& name)
{
    if (!IsInstanceOfModemService(name) || !IsPlainModemName(name.front()))
        return nullptr;
    const std::string key = NameKey(name);
    auto known = instances_.find(key);
    if (known != instances_.end())
        return &known->second;
    if (instances_.size() >= kMaxInstances)
        return nullptr;
    Instance& added = instances_[key];
    added.name = name;
    return &added;
}

void ModemBrowser::Take(const DnsRecord& record)
{
    if (record.ttl == 0)
        return; // a goodbye: the service is leaving
    if (record.type == kDnsTypePtr) {
        if (NameKey(record.name) == NameKey(ModemServiceType()))
            InstanceFor(record.target);
    } else if (record.type == kDnsTypeSrv) {
        Instance* instance = InstanceFor(record.name);
        if (instance && !instance->haveService && record.port != 0) {
            instance->haveService = true;
            instance->host = record.target;
            instance->hostKey = NameKey(record.target);
            instance->port = record.port;
        }
    } else {
        const std::string key = NameKey(record.name);
        if (addresses_.count(key) == 0 && addresses_.size() >= kMaxHosts)
            return;
        Addresses& known = addresses_[key];
        std::string& slot = record.type == kDnsTypeA ? known.v4 : known.v6;
        if (slot.empty())
            slot = AddressText(record.address);
    }
}

std::vector<FoundModem> ModemBrowser::Add(const DnsMessage& message)
{
    std::vector<FoundModem> found;
    const bool isResponse = (message.flags & 0x8000) != 0;
    const unsigned opcode = (message.flags >> 11) & 0xF;
    const unsigned rcode = message.flags & 0xF;
    if (!isResponse || opcode != 0 || rcode != 0)
        return found;
    for (const DnsRecord& record : message.records)
        Take(record);
    for (auto& entry : instances_) {
        Instance& instance = entry.second;
        if (instance.done || !instance.haveService)
            continue;
        auto address = addresses_.find(instance.hostKey);
        if (address == addresses_.end())
            continue;
        instance.done = true;
        const std::string& host = address->second.v4.empty() ? address->second.v6 : address->second.v4;
        found.push_back({instance.name.front(), host, instance.port});
    }
    return found;
}

std::vector<DnsQuestion> ModemBrowser::FollowUps(size_t limit) const
{
    std::vector<DnsQuestion> questions;
    std::set<std::string> asked;
    for (const auto& entry : instances_) {
        const Instance& instance = entry.second;
        if (questions.size() >= limit)
            break;
        if (instance.done)
            continue;
        if (!instance.haveService)
            questions.push_back({instance.name, kDnsTypeSrv, kDnsClassIn});
        else if (asked.insert(instance.hostKey).second)
            questions.push_back({instance.host, kDnsTypeA, kDnsClassIn});
    }
    return questions;
}
