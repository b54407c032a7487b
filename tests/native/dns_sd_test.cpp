// Phone-modem discovery: the name rule, the reading and writing of DNS messages, the
// gathering of answers into phone modems, and the cache the connections look names up in.
#include "gateway/gwcore/dns_sd.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gateway/gwcore/modem_cache.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A packet written out by hand: numbers as bytes, texts as their characters.
Bytes Packet(std::initializer_list<std::string> pieces)
{
    Bytes out;
    for (const std::string& piece : pieces)
        out.insert(out.end(), piece.begin(), piece.end());
    return out;
}
std::string B(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values)
        out += static_cast<char>(v);
    return out;
}
// A response header with the given counts of questions and answers.
std::string Header(int questions, int answers)
{
    return B({0, 7, 0x84, 0, 0, questions, 0, answers, 0, 0, 0, 0});
}
const std::string kServiceWire = "\x0c_qelsmsmodem\x04_tcp\x05local" + B({0});
// The fixed fields of a resource record: type, class IN, TTL 120, data length.
std::string Fixed(int type, int length)
{
    return B({0, type, 0, 1, 0, 0, 0, 120, 0, length});
}

DnsName Instance(const std::string& label)
{
    DnsName name = ModemServiceType();
    name.insert(name.begin(), label);
    return name;
}
DnsRecord Ptr(const std::string& label, uint32_t ttl = 120)
{
    return {DnsSection::Answer, ModemServiceType(), kDnsTypePtr, ttl, Instance(label), 0, {}};
}
DnsRecord Srv(const std::string& label, const std::string& host, uint16_t port)
{
    return {DnsSection::Additional, Instance(label), kDnsTypeSrv, 120, {host, "local"}, port, {}};
}
DnsRecord Address(const std::string& host, Bytes address)
{
    return {
        DnsSection::Additional, {host, "local"}, address.size() == 4 ? kDnsTypeA : kDnsTypeAaaa, 120, {}, 0, address};
}
DnsMessage Response(std::vector<DnsRecord> records)
{
    DnsMessage message;
    message.flags = 0x8400;
    message.records = std::move(records);
    return message;
}

TEST(ModemName, OnlyPlainDisplayNamesPass)
{
    const struct {
        std::string name;
        bool plain;
    } cases[] = {
        {"Pixel 7", true},
        {"Galaxy_A52-2.home", true},
        {std::string(100, 'x'), true},
        {"Console", true},
        {"COM10", true},
        {"", false},
        {std::string(101, 'x'), false},
        {"../evil", false},
        {"a..b", false},
        {"bad]name", false},
        {"[x", false},
        {"a/b", false},
        {"a\\b", false},
        {"x:y", false},
        {"tab\tname", false},
        {"J\xc3\xbcrgen", false},
        {"Pixel ", false},
        {" Pixel", false},
        {"Pixel.", false},
        {".hidden", false},
        {"NUL", false},
        {"com1.txt", false},
        {"Aux ", false},
        {"100%", false},
        {std::string("a\0b", 3), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.plain, IsPlainModemName(c.name)) << c.name;
}

TEST(DnsMessages, MalformedPacketsAreRejected)
{
    const std::string name = B({1}) + "a" + B({0});
    const struct {
        const char* what;
        Bytes packet;
    } cases[] = {
        {"short header", Packet({B({0, 7, 0x84, 0, 0, 0})})},
        {"missing record", Packet({Header(0, 1)})},
        {"pointer to itself", Packet({Header(0, 1), B({0xC0, 12}), Fixed(1, 4), B({1, 2, 3, 4})})},
        {"pointer forward", Packet({Header(0, 1), B({0xC0, 14}), name, Fixed(1, 4), B({1, 2, 3, 4})})},
        {"pointer loop", Packet({Header(0, 2), B({1}), "a", B({0xC0, 30}), Fixed(1, 4), B({1, 2, 3, 4}), B({0xC0, 12}),
                                 Fixed(1, 4), B({1, 2, 3, 4})})},
        {"pointer cut short", Packet({Header(0, 1), B({0xC0})})},
        {"label past the end", Packet({Header(0, 1), B({9}), "abc"})},
        {"reserved label type", Packet({Header(0, 1), B({0x41}), "a", B({0}), Fixed(1, 4), B({1, 2, 3, 4})})},
        {"name over 255 bytes", Packet({Header(1, 0),
                                        [] {
                                            std::string long_;
                                            for (int i = 0; i < 5; ++i)
                                                long_ += B({60}) + std::string(60, 'x');
                                            return long_ + B({0, 0, 12, 0, 1});
                                        }()})},
        {"A of 5 bytes", Packet({Header(0, 1), name, Fixed(1, 5), B({1, 2, 3, 4, 5})})},
        {"AAAA of 4 bytes", Packet({Header(0, 1), name, Fixed(28, 4), B({1, 2, 3, 4})})},
        {"PTR name runs past its data", Packet({Header(0, 1), name, Fixed(12, 2), name})},
        {"PTR data longer than its name", Packet({Header(0, 1), name, Fixed(12, 4), name, B({0})})},
        {"SRV without target", Packet({Header(0, 1), name, Fixed(33, 6), B({0, 0, 0, 0, 0x23, 0x1e})})},
        {"data past the end", Packet({Header(0, 1), name, Fixed(16, 40), "txt"})},
    };
    for (const auto& c : cases) {
        DnsMessage message;
        EXPECT_FALSE(ParseDnsMessage(c.packet.data(), c.packet.size(), message)) << c.what;
    }
    DnsMessage none;
    EXPECT_FALSE(ParseDnsMessage(nullptr, 12, none));
}

TEST(DnsMessages, ReadsCompressedNamesAndPassesOverOtherRecords)
{
    // PTR to "Pixel 7" + the service type by pointer; TXT skipped; SRV whose target is
    // compressed too; an A record of class IN with the cache-flush bit.
    const Bytes packet = Packet({Header(1, 4), kServiceWire, B({0, 12, 0, 1}), B({0xC0, 12}), Fixed(12, 10), B({7}),
                                 "Pixel 7", B({0xC0, 12}), B({0xC0, 53}), Fixed(16, 1), B({0}), B({0xC0, 53}),
                                 Fixed(33, 14), B({0, 0, 0, 0, 0x23, 0x1e, 5}), "pixel", B({0xC0, 30}), B({0xC0, 94}),
                                 B({0, 1, 0x80, 1, 0, 0, 0, 120, 0, 4}), B({10, 0, 0, 7})});
    DnsMessage message;
    ASSERT_TRUE(ParseDnsMessage(packet.data(), packet.size(), message));
    ASSERT_EQ(1u, message.questions.size());
    EXPECT_EQ(ModemServiceType(), message.questions[0].name);
    ASSERT_EQ(3u, message.records.size());
    EXPECT_EQ(Instance("Pixel 7"), message.records[0].target);
    EXPECT_EQ(Instance("Pixel 7"), message.records[1].name);
    EXPECT_EQ((DnsName{"pixel", "local"}), message.records[1].target);
    EXPECT_EQ(8990, message.records[1].port);
    EXPECT_EQ((DnsName{"pixel", "local"}), message.records[2].name);
    EXPECT_EQ((Bytes{10, 0, 0, 7}), message.records[2].address);
}

TEST(DnsMessages, WrittenMessagesReadBackWithSharedSuffixesOnce)
{
    // Labels of the longest length, 63 bytes, and enough of them that the last SRV name
    // points back past offset 255.
    const std::string a63(63, 'a'), b63(63, 'b'), c63(63, 'c'), d63(63, 'd');
    DnsMessage sent = Response({Ptr("Pixel 7"), Ptr("Galaxy"), Ptr(a63), Ptr(b63), Ptr(d63), Ptr(c63),
                                Srv("Pixel 7", "pixel", 8990), Srv(c63, "pixel", 80), Address("pixel", {127, 0, 0, 1}),
                                Address("pixel", {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1})});
    sent.id = 0x1234;
    sent.questions.push_back({ModemServiceType(), kDnsTypePtr, kDnsClassIn});
    const Bytes wire = EncodeDnsMessage(sent);
    const std::string text(wire.begin(), wire.end());
    EXPECT_EQ(text.find("_qelsmsmodem"), text.rfind("_qelsmsmodem"));
    EXPECT_EQ(text.find("pixel"), text.rfind("pixel"));
    EXPECT_EQ(text.find(c63), text.rfind(c63));
    EXPECT_GT(text.find(c63), 255u);

    DnsMessage read;
    ASSERT_TRUE(ParseDnsMessage(wire.data(), wire.size(), read));
    EXPECT_EQ(0x1234, read.id);
    ASSERT_EQ(sent.records.size(), read.records.size());
    for (size_t i = 0; i < sent.records.size(); ++i) {
        EXPECT_EQ(sent.records[i].section, read.records[i].section) << i;
        EXPECT_EQ(sent.records[i].name, read.records[i].name) << i;
        EXPECT_EQ(sent.records[i].target, read.records[i].target) << i;
        EXPECT_EQ(sent.records[i].port, read.records[i].port) << i;
        EXPECT_EQ(sent.records[i].address, read.records[i].address) << i;
    }
    EXPECT_TRUE(EncodeDnsMessage(Response({Ptr(std::string(64, 'x'))})).empty());
    // A name of 255 bytes on the wire is the longest written.
    DnsRecord longest = Address("host", {1, 2, 3, 4});
    longest.name = {a63, b63, c63, std::string(61, 'e')};
    EXPECT_FALSE(EncodeDnsMessage(Response({longest})).empty());
    longest.name.back() += 'e';
    EXPECT_TRUE(EncodeDnsMessage(Response({longest})).empty());
    EXPECT_TRUE(EncodeDnsMessage(Response({Ptr("")})).empty());
}

TEST(DnsMessages, QueryAsksForTheServiceThenTheFollowUps)
{
    const Bytes wire = BuildModemQuery(77, {{Instance("Pixel 7"), kDnsTypeSrv, kDnsClassIn}});
    DnsMessage query;
    ASSERT_TRUE(ParseDnsMessage(wire.data(), wire.size(), query));
    EXPECT_EQ(77, query.id);
    EXPECT_EQ(0, query.flags);
    ASSERT_EQ(2u, query.questions.size());
    EXPECT_EQ(ModemServiceType(), query.questions[0].name);
    EXPECT_EQ(kDnsTypePtr, query.questions[0].type);
    EXPECT_EQ(kDnsClassIn, query.questions[0].dnsClass);
    EXPECT_EQ(Instance("Pixel 7"), query.questions[1].name);
}

TEST(DnsMessages, AddressTexts)
{
    const struct {
        Bytes address;
        const char* text;
    } cases[] = {
        {{192, 168, 1, 20}, "192.168.1.20"},
        {{0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, "fe80::1"},
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, "::1"},
        {{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}, "2001:db8:0:1::1"},
        {{0x20, 0x01, 0x0d, 0xb8, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 0}, "2001:db8:1:2:3:4:5:0"},
        {{1, 2, 3}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, AddressText(c.address)) << c.text;
}

std::vector<std::string> Browse(const std::vector<DnsMessage>& messages)
{
    ModemBrowser browser;
    std::vector<std::string> found;
    for (const DnsMessage& message : messages) {
        for (const FoundModem& modem : browser.Add(message))
            found.push_back(modem.name + "@" + modem.host + ":" + std::to_string(modem.port));
    }
    return found;
}

TEST(ModemBrowsing, AnswersGatherIntoPhoneModems)
{
    const Bytes v4 = {10, 0, 0, 7};
    const Bytes v6 = {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    DnsMessage query = Response({Srv("Pixel 7", "pixel", 8990), Address("pixel", v4)});
    query.flags = 0;
    DnsMessage goodbye = Response({Srv("Pixel 7", "pixel", 8990), Address("pixel", v4)});
    goodbye.records[0].ttl = 0;
    DnsName otherService = Instance("Printer");
    otherService[1] = "_ipp";
    DnsRecord otherSrv = Srv("Printer", "printer", 631);
    otherSrv.name = otherService;
    // Addresses of 256 hosts fill the search; a host known already is still served.
    DnsMessage flood = Response({Srv("A", "h0", 1), Srv("B", "late", 2)});
    for (int i = 0; i < 256; ++i)
        flood.records.push_back(Address("h" + std::to_string(i), v4));
    flood.records.push_back(Address("late", v4));
    const struct {
        const char* what;
        std::vector<DnsMessage> messages;
        std::vector<std::string> found;
    } cases[] = {
        {"one answer",
         {Response({Ptr("Pixel 7"), Srv("Pixel 7", "pixel", 8990), Address("pixel", v4)})},
         {"Pixel 7@10.0.0.7:8990"}},
        {"address before the service",
         {Response({Address("pixel", v4)}), Response({Ptr("Pixel 7")}), Response({Srv("Pixel 7", "pixel", 8990)})},
         {"Pixel 7@10.0.0.7:8990"}},
        {"IPv4 preferred",
         {Response({Address("pixel", v6), Address("pixel", v4), Srv("Pixel 7", "pixel", 8990)})},
         {"Pixel 7@10.0.0.7:8990"}},
        {"IPv6 alone", {Response({Address("pixel", v6), Srv("Pixel 7", "pixel", 8990)})}, {"Pixel 7@fe80::1:8990"}},
        {"announced again in another case",
         {Response({Srv("Pixel 7", "pixel", 8990), Address("pixel", v4)}),
          Response({Srv("PIXEL 7", "pixel", 8990), Address("pixel", v4)})},
         {"Pixel 7@10.0.0.7:8990"}},
        {"two on one host",
         {Response({Srv("A", "h", 1), Srv("B", "h", 2)}), Response({Address("h", v4)})},
         {"A@10.0.0.7:1", "B@10.0.0.7:2"}},
        {"a query is no answer", {query}, {}},
        {"goodbye", {goodbye}, {}},
        {"port 0", {Response({Srv("Pixel 7", "pixel", 0), Address("pixel", v4)})}, {}},
        {"other service", {Response({otherSrv, Address("printer", v4)})}, {}},
        {"addresses of 256 hosts at most", {flood}, {"A@10.0.0.7:1"}},
        {"unsafe names",
         {Response({Srv("../evil", "h", 1), Srv("bad]name", "h", 2), Srv("NUL", "h", 3), Address("h", v4)})},
         {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.found, Browse(c.messages)) << c.what;
}

TEST(ModemBrowsing, AsksForWhatIsMissing)
{
    ModemBrowser browser;
    browser.Add(Response({Ptr("Pixel 7"), Ptr("Galaxy"), Ptr("bad]name"), Srv("Galaxy", "galaxy", 8990)}));
    std::vector<DnsQuestion> asked = browser.FollowUps(16);
    ASSERT_EQ(2u, asked.size());
    EXPECT_EQ(DnsName({"galaxy", "local"}), asked[0].name);
    EXPECT_EQ(kDnsTypeA, asked[0].type);
    EXPECT_EQ(Instance("Pixel 7"), asked[1].name);
    EXPECT_EQ(kDnsTypeSrv, asked[1].type);
    EXPECT_EQ(1u, browser.FollowUps(1).size());

    browser.Add(Response({Srv("Pixel 7", "galaxy", 8991), Address("galaxy", {10, 0, 0, 8})}));
    EXPECT_TRUE(browser.FollowUps(16).empty());
}

TEST(ModemCache, KeepsEachNameOnceInOrderOfFinding)
{
    ModemCache cache;
    EXPECT_TRUE(cache.Add("Pixel 7", "10.0.0.7", 8990));
    EXPECT_TRUE(cache.Add("Galaxy", "fe80::1", 8991));
    EXPECT_FALSE(cache.Add("PIXEL 7", "10.0.0.9", 1)); // the first address stays
    EXPECT_FALSE(cache.Add("../evil", "10.0.0.1", 1));
    EXPECT_FALSE(cache.Add("Nokia", "", 1));
    EXPECT_FALSE(cache.Add("Nokia", "10.0.0.1", 0));
    EXPECT_FALSE(cache.Add("Nokia", std::string(64, '1'), 1));

    std::vector<std::string> listed;
    for (const ModemCacheEntry* entry = cache.Head(); entry; entry = entry->Next())
        listed.push_back(std::string(entry->name) + "@" + entry->host + ":" + std::to_string(entry->port));
    EXPECT_EQ((std::vector<std::string>{"Pixel 7@10.0.0.7:8990", "Galaxy@fe80::1:8991"}), listed);
}

TEST(ModemCache, StopsGrowingAtItsLimit)
{
    ModemCache cache;
    for (size_t i = 0; i <= ModemCache::kMaxEntries; ++i)
        cache.Add("Phone " + std::to_string(i), "10.0.0.1", 8990);
    EXPECT_EQ(ModemCache::kMaxEntries, cache.Count());
}

TEST(ModemCache, ModemReferencesResolveByNameOrTypedAddress)
{
    ModemCache cache;
    cache.Add("Pixel 7", "10.0.0.7", 8990);
    const struct {
        const char* text;
        int port;
        ModemReference result;
        const char* host;
        int resolvedPort;
    } cases[] = {
        {"qelsmsmodem_Pixel 7", 0, ModemReference::Resolved, "10.0.0.7", 8990},
        {"QELSMSMODEM_pixel 7", 0, ModemReference::Resolved, "10.0.0.7", 8990},
        {"qelsmsmodem_10.0.0.200:8990", 0, ModemReference::Resolved, "10.0.0.200", 8990},
        {"qelsmsmodem_[fe80::1]:8990", 0, ModemReference::Resolved, "fe80::1", 8990},
        {"qelsmsmodem_Pixel 8", 0, ModemReference::Unresolved, "", 0},
        {"qelsmsmodem_10.0.0.200", 0, ModemReference::Unresolved, "", 0},
        {"qelsmsmodem_", 0, ModemReference::Unresolved, "", 0},
        {"qelsmsmodem_Pixel 7", 80, ModemReference::None, "", 0},
        {"mail.example.com", 0, ModemReference::None, "", 0},
        {"qelsmsmodem", 0, ModemReference::None, "", 0},
    };
    for (const auto& c : cases) {
        HostAddress out;
        ASSERT_EQ(c.result, ResolveModemReference(c.text, c.port, cache, out)) << c.text;
        if (c.result == ModemReference::Resolved) {
            EXPECT_EQ(c.host, out.host) << c.text;
            EXPECT_EQ(c.resolvedPort, out.port) << c.text;
        }
    }
}

} // namespace
