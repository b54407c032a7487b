// The MM7 connection's settings against [VASP] of VASP.INI, and the connection check the
// dialog makes before it saves.
#include "mm7/mm7_connection_check.h"
#include "mm7/mm7_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory_ini.h"

namespace {

const std::string kLocation = "http://www.3gpp.org/ftp/Specs/archive/23_series/23.140/schema/";

MemoryIni Stored(const std::vector<std::pair<const char*, const char*>>& keys)
{
    MemoryIni ini;
    for (const auto& key : keys)
        ini.Write("VASP", key.first, key.second);
    return ini;
}

// Which variation the stored flags select.
TEST(Mm7Settings, VariationFromStoredFlags)
{
    struct Case {
        std::vector<std::pair<const char*, const char*>> keys;
        Mm7Variation expected;
    };
    const Case cases[] = {
        {{}, Mm7Variation::Standard},
        {{{"Protocol", "MM7"}}, Mm7Variation::Standard},
        {{{"Protocol", "mm7"}, {"AnnyWay", "Yes"}, {"LogicaCMG", "Yes"}}, Mm7Variation::AnnyWay},
        {{{"Protocol", "MM7"}, {"LogicaCMG", "1"}, {"PHPMultipartPost", "Yes"}}, Mm7Variation::LogicaCmg},
        {{{"Protocol", "MM7"}, {"PHPMultipartPost", "true"}}, Mm7Variation::PhpUpload},
        {{{"Protocol", "MM7"}, {"PHPMultipartPost", "No"}}, Mm7Variation::Standard},
        {{{"Protocol", "EricssonMM7"}, {"AnnyWay", "Yes"}}, Mm7Variation::Ericsson},
        {{{"Protocol", "EAIF"}, {"AnnyWay", "Yes"}}, Mm7Variation::Standard},
        {{{"AnnyWay", "Yes"}}, Mm7Variation::Standard},
    };
    for (const Case& c : cases) {
        MemoryIni ini = Stored(c.keys);
        EXPECT_EQ(c.expected, LoadMm7Settings(ini).variation) << (c.keys.empty() ? "empty" : c.keys.back().first);
    }
}

// What the stored version and schema show: a listed value in the list's spelling, an
// unlisted version as it stands, a schema from elsewhere as the custom entry.
TEST(Mm7Settings, VersionAndSchemaShown)
{
    struct Case {
        const char* version; // nullptr: no key
        std::string schema;
        const char* shownVersion;
        const char* shownSchema;
    };
    const Case cases[] = {
        {nullptr, "", "5.3.0", "REL-5-MM7-1-2"},
        {"6.7.0", kLocation + "REL-6-MM7-1-3", "6.7.0", "REL-6-MM7-1-3"},
        {"7.0.0", "HTTP://WWW.3GPP.ORG/ftp/Specs/archive/23_series/23.140/schema/rel-5-mm7-1-0", "7.0.0",
         "REL-5-MM7-1-0"},
        {"5.10.0", kLocation + "REL-7-MM7-1-0", "5.10.0", "(Custom)"},
        {"5.3.0", "http://example.com/schema/REL-5-MM7-1-2", "5.3.0", "(Custom)"},
        {"5.3.0", kLocation, "5.3.0", "(Custom)"},
    };
    for (const Case& c : cases) {
        MemoryIni ini;
        if (c.version)
            ini.Write("VASP", "MM7Version", c.version);
        if (!c.schema.empty())
            ini.Write("VASP", "MM7Schema", c.schema);
        Mm7Settings shown = LoadMm7Settings(ini);
        EXPECT_EQ(c.shownVersion, shown.version) << c.schema;
        EXPECT_EQ(c.shownSchema, shown.schema) << c.schema;
    }
}

// What OK leaves of a file that had every key, in the order the keys are written: the
// whole section after each save.
TEST(Mm7Settings, SaveWritesAndDeletesKeys)
{
    auto with = [](void (*change)(Mm7Settings&)) {
        Mm7Settings s;
        s.server = "x/mm7";
        change(s);
        return s;
    };
    const std::pair<std::string, std::string> mm7 = {"Protocol", "MM7"}, server = {"Server", "x/mm7"},
                                              deliver = {"mm7DeliverReq", "Yes"};
    struct Case {
        const char* name;
        Mm7Settings settings;
        IniEntries section;
    };
    const Case cases[] = {
        {"defaults", with([](Mm7Settings&) {}), {mm7, server, deliver}},
        {"every field",
         with([](Mm7Settings& s) {
             s.vaspId = "v1", s.vasId = "v2", s.serviceCode = "c", s.userName = "u", s.password = "p";
             s.version = "6.1.0", s.schema = "REL-6-MM7-1-0", s.stripWhiteSpace = true;
         }),
         {mm7,
          server,
          {"VASPID", "v1"},
          {"VASID", "v2"},
          {"ServiceCode", "c"},
          deliver,
          {"UserName", "u"},
          {"Password", "p"},
          {"MM7Version", "6.1.0"},
          {"MM7Schema", kLocation + "REL-6-MM7-1-0"},
          {"StripWhiteSpace", "Yes"}}},
        {"unlisted version, custom schema kept",
         with([](Mm7Settings& s) { s.version = "7.0.0", s.schema = "(Custom)"; }),
         {mm7, server, deliver, {"MM7Version", "7.0.0"}, {"MM7Schema", "old schema"}}},
        {"ericsson",
         with([](Mm7Settings& s) { s.variation = Mm7Variation::Ericsson; }),
         {{"Protocol", "EricssonMM7"}, server, deliver}},
        {"anny way",
         with([](Mm7Settings& s) { s.variation = Mm7Variation::AnnyWay; }),
         {mm7, server, deliver, {"AnnyWay", "Yes"}}},
        {"logica",
         with([](Mm7Settings& s) { s.variation = Mm7Variation::LogicaCmg; }),
         {mm7, server, deliver, {"LogicaCMG", "Yes"}}},
        {"php",
         with([](Mm7Settings& s) { s.variation = Mm7Variation::PhpUpload; }),
         {mm7, server, deliver, {"PHPMultipartPost", "Yes"}}},
    };
    for (const Case& c : cases) {
        MemoryIni ini;
        for (const char* key :
             {"Protocol", "Server", "Domain", "VASPID", "VASID", "ServiceCode", "mm7DeliverReq", "UserName", "Password",
              "MM7Version", "MM7Schema", "StripWhiteSpace", "AnnyWay", "LogicaCMG", "PHPMultipartPost"})
            ini.Write("VASP", key, std::string(key) == "MM7Schema" ? "old schema" : "old");
        EXPECT_TRUE(SaveMm7Settings(c.settings, ini)) << c.name;
        EXPECT_EQ(c.section, ini.ReadSection("VASP")) << c.name;
    }
}

// Saving what was loaded gives the file back, for every variation and an unlisted version.
TEST(Mm7Settings, SavedSettingsLoadAgain)
{
    for (Mm7Variation variation : {Mm7Variation::Standard, Mm7Variation::PhpUpload, Mm7Variation::Ericsson,
                                   Mm7Variation::LogicaCmg, Mm7Variation::AnnyWay}) {
        Mm7Settings saved;
        saved.variation = variation;
        saved.server = "https://[::1]:8443/mm7";
        saved.version = "7.0.0";
        saved.schema = "REL-6-MM7-1-3";
        MemoryIni ini;
        SaveMm7Settings(saved, ini);
        Mm7Settings loaded = LoadMm7Settings(ini);
        EXPECT_EQ(variation, loaded.variation);
        EXPECT_EQ(saved.server, loaded.server);
        EXPECT_EQ("7.0.0", loaded.version);
        EXPECT_EQ("REL-6-MM7-1-3", loaded.schema);
    }
}

TEST(Mm7Settings, FailedWriteIsReported)
{
    MemoryIni ini;
    ini.failFromWrite = 5;
    EXPECT_FALSE(SaveMm7Settings(Mm7Settings(), ini));
}

TEST(Mm7ServerUrl, HostPortAndTls)
{
    struct Case {
        const char* url;
        bool ok;
        const char* host;
        unsigned port;
        bool tls;
    };
    const Case cases[] = {
        {"mm7.example.com/mm7/deliver", true, "mm7.example.com", 80, false},
        {"http://mm7.example.com", true, "mm7.example.com", 80, false},
        {"HTTP://mm7.example.com:8080/x", true, "mm7.example.com", 8080, false},
        {"https://mm7.example.com/x", true, "mm7.example.com", 443, true},
        {"HtTpS://mm7.example.com:8443/a/b:c", true, "mm7.example.com", 8443, true},
        {"https://[::1]:8443/mm7", true, "[::1]", 8443, true},
        {"http://[::1]/", true, "[::1]", 80, false},
        {"127.0.0.1:9000", true, "127.0.0.1", 9000, false},
        {"ftp://host/x", false, "", 0, false}, // "ftp" with a port that is not a number
        {"https://", false, "", 0, false},
        {"http:///path", false, "", 0, false},
        {"host:0/x", false, "", 0, false},
        {"host:99999", false, "", 0, false},
        {"https://http://host", false, "", 0, true},
    };
    for (const Case& c : cases) {
        Mm7Endpoint endpoint;
        ASSERT_EQ(c.ok, ParseMm7ServerUrl(c.url, endpoint)) << c.url;
        if (!c.ok)
            continue;
        EXPECT_EQ(c.host, endpoint.host) << c.url;
        EXPECT_EQ(c.port, endpoint.port) << c.url;
        EXPECT_EQ(c.tls, endpoint.tls) << c.url;
    }
}

// A network whose every step can fail; it records the steps taken.
class ScriptedNetwork final : public Mm7Network {
public:
    bool open = true, connect = true, tlsUsable = true, handshake = true;
    std::vector<std::string> steps;

    bool OpenSocket() override
    {
        steps.push_back("open");
        return open;
    }
    bool Connect(const std::string& host, unsigned port) override
    {
        steps.push_back("connect " + host + " " + std::to_string(port));
        return connect;
    }
    bool TlsUsable() override { return tlsUsable; }
    bool Handshake(const std::string& host, std::string& failure) override
    {
        steps.push_back("handshake " + host);
        failure = "host name does not match the certificate";
        return handshake;
    }
    void CloseSocket() override { steps.push_back("close"); }
};

TEST(Mm7ServerCheck, MessagesAndSteps)
{
    const std::string tlsRefusal = "Unable to negotiate SSL/TLS connection with server [::1]:8443\r\n\r\n";
    struct Case {
        const char* name;
        const char* url;
        void (*breakIt)(ScriptedNetwork&);
        std::string message; // "" for success
        std::vector<std::string> steps;
    };
    const Case cases[] = {
        {"empty URL", "", [](ScriptedNetwork&) {}, "Please define a URL for connecting to the server", {}},
        {"bad port", "http://host:http/", [](ScriptedNetwork&) {}, kBadServerUrlMessage, {}},
        {"no socket", "host", [](ScriptedNetwork& n) { n.open = false; }, "General socket error", {"open"}},
        {"refused",
         "host:8080/x",
         [](ScriptedNetwork& n) { n.connect = false; },
         "Unable to connect to server host:8080",
         {"open", "connect host 8080", "close"}},
        {"plain http", "host/x", [](ScriptedNetwork&) {}, "", {"open", "connect host 80", "close"}},
        {"plain http, no TLS needed",
         "host/x",
         [](ScriptedNetwork& n) { n.tlsUsable = false; },
         "",
         {"open", "connect host 80", "close"}},
        {"https",
         "https://[::1]:8443/mm7",
         [](ScriptedNetwork&) {},
         "",
         {"open", "connect [::1] 8443", "handshake ::1", "close"}},
        {"https certificate refused",
         "https://[::1]:8443/mm7",
         [](ScriptedNetwork& n) { n.handshake = false; },
         tlsRefusal + "host name does not match the certificate",
         {"open", "connect [::1] 8443", "handshake ::1", "close"}},
        {"https without TLS is refused",
         "https://[::1]:8443/mm7",
         [](ScriptedNetwork& n) { n.tlsUsable = false; },
         tlsRefusal + "SSL/TLS is not available on this computer (TLSLINK.DLL is missing or could not be started), "
                      "so an https server cannot be checked.",
         {"open", "connect [::1] 8443", "close"}},
    };
    for (const Case& c : cases) {
        ScriptedNetwork network;
        c.breakIt(network);
        Mm7CheckResult result = CheckMm7Server(c.url, network);
        EXPECT_EQ(c.message.empty(), result.ok) << c.name;
        EXPECT_EQ(c.message, result.message) << c.name;
        EXPECT_EQ(c.steps, network.steps) << c.name;
    }
}

} // namespace
