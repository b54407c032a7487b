// DNS service discovery over multicast DNS: the messages that find phone modems on the
// network, read and written, and the gathering of their records into phone modems.
// Portable: no windows.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A domain name as its labels, each as sent (a label may hold any byte, dots included).
using DnsName = std::vector<std::string>;

const uint16_t kDnsTypeA = 1;
const uint16_t kDnsTypePtr = 12;
const uint16_t kDnsTypeTxt = 16;
const uint16_t kDnsTypeAaaa = 28;
const uint16_t kDnsTypeSrv = 33;
const uint16_t kDnsClassIn = 1;

// "_qelsmsmodem._tcp.local": the service type a phone modem registers.
DnsName ModemServiceType();

struct DnsQuestion {
    DnsName name;
    uint16_t type = 0;
    uint16_t dnsClass = kDnsClassIn;
};

enum class DnsSection { Answer, Authority, Additional };

// A resource record of the kinds discovery reads; the data fields that do not belong to
// its type stay empty.
struct DnsRecord {
    DnsSection section = DnsSection::Answer;
    DnsName name;
    uint16_t type = 0;
    uint32_t ttl = 0;
    DnsName target;               // PTR: the instance; SRV: the host
    uint16_t port = 0;            // SRV
    std::vector<uint8_t> address; // A: 4 bytes; AAAA: 16 bytes
};

struct DnsMessage {
    uint16_t id = 0;
    uint16_t flags = 0; // 0x8000 marks a response
    std::vector<DnsQuestion> questions;
    std::vector<DnsRecord> records; // grouped by section when written
};

// The wire form: questions, then the records section by section, with repeated name
// suffixes compressed. Empty when a label is empty or longer than 63 bytes, a name longer
// than 255 bytes or an A/AAAA address of the wrong size.
std::vector<uint8_t> EncodeDnsMessage(const DnsMessage& message);

// Reads a message. False for a malformed one: anything outside the packet, a name longer
// than 255 bytes, a compression pointer that does not point back before its name, record
// data whose length does not match its content. Records of other types and classes are
// passed over; records whose class is IN (the cache-flush bit aside) and whose type is
// A, AAAA, PTR or SRV are kept.
bool ParseDnsMessage(const uint8_t* data, size_t size, DnsMessage& out);

// The one-shot query for phone modems: a PTR question for the service type, then the
// follow-up questions (SRV of instances, A of hosts) whose answers are still missing.
std::vector<uint8_t> BuildModemQuery(uint16_t id, const std::vector<DnsQuestion>& followUps = {});

// A name that may become an INI section, a route and a folder name: 1 to 100 ASCII
// letters, digits, blanks, '-', '_' and '.', without "..", neither beginning nor ending
// with a blank or a dot (Windows drops those from folder names), and not a device name
// (CON, NUL, COM1 ...) that Windows will not make a folder of.
bool IsPlainModemName(const std::string& name);

// An IPv4 (4 bytes) or IPv6 (16 bytes, zeros compressed) address as text.
std::string AddressText(const std::vector<uint8_t>& address);

struct FoundModem {
    std::string name; // the instance label
    std::string host; // IPv4 or IPv6 literal, without brackets
    int port = 0;
};

// Gathers the records of one search, which may come in any order and spread over many
// answers, into phone modems. A phone modem is complete once the SRV record of its
// instance and an address of the SRV's host are known; an IPv4 address is preferred.
// Goodbye records (TTL 0) and instances whose label is not a plain name are passed over.
class ModemBrowser {
public:
    // Takes one received message (ignored unless it is a response); gives the phone modems
    // it completed, each instance once.
    std::vector<FoundModem> Add(const DnsMessage& message);
    // What to ask next: SRV for instances known only by their PTR, A for hosts without
    // an address; at most limit questions.
    std::vector<DnsQuestion> FollowUps(size_t limit) const;

private:
    struct Instance {
        DnsName name;
        bool haveService = false;
        bool done = false;
        std::string hostKey;
        DnsName host;
        uint16_t port = 0;
    };
    struct Addresses {
        std::string v4;
        std::string v6;
    };
    void Take(const DnsRecord& record);
    Instance* InstanceFor(const DnsName& name);

    std::map<std::string, Instance> instances_;
    std::map<std::string, Addresses> addresses_;
};
