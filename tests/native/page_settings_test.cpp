// Each page's settings against its INI keys: what an empty file shows, what a stored value
// shows, what is saved, and which keys are deleted when a setting is off.
#include "shell/debug_log_settings.h"
#include "shell/server_settings.h"

#include <gtest/gtest.h>

#include "memory_ini.h"

namespace {

struct ServerCase {
    const char* name;
    const char* storedWebPort; // nullptr: no key
    const char* storedSmppPort;
    const char* storedMm7Port;
    ServerSettings shown;
    ServerSettings saved;
    const char* writtenWebPort;
    const char* writtenSmppPort; // "<missing>": key deleted
    const char* writtenMm7Port;
};

ServerSettings Ports(unsigned long web, bool smpp, unsigned long smppPort, bool mm7, unsigned long mm7Port)
{
    ServerSettings settings;
    settings.webPort = web;
    settings.smppEnabled = smpp;
    settings.smppPort = smppPort;
    settings.mm7Enabled = mm7;
    settings.mm7Port = mm7Port;
    return settings;
}

const ServerCase kServerCases[] = {
    {"empty file", nullptr, nullptr, nullptr, Ports(8800, false, 0, false, 0), Ports(8800, false, 0, false, 0), "8800",
     "<missing>", "<missing>"},
    {"stored ports", "8080", "2775", "8002", Ports(8080, true, 2775, true, 8002), Ports(81, true, 2776, true, 8003),
     "81", "2776", "8003"},
    {"leading digits", "8080x", "27a", "b", Ports(8080, true, 27, false, 0), Ports(8080, true, 27, false, 0), "8080",
     "27", "<missing>"},
    {"zero falls back", "0", "0", "0", Ports(8800, false, 0, false, 0), Ports(0, true, 0, true, 0), "8800", "<missing>",
     "<missing>"},
    {"switched off", "8800", "2775", "8002", Ports(8800, true, 2775, true, 8002), Ports(8800, false, 2775, false, 8002),
     "8800", "<missing>", "<missing>"},
};

void StoreIf(IniStore& ini, const char* section, const char* key, const char* value)
{
    if (value)
        ini.Write(section, key, value);
}

TEST(ServerSettings, LoadAndSaveFollowTheirKeys)
{
    for (const ServerCase& c : kServerCases) {
        MemoryIni smsgw, mmsc;
        StoreIf(smsgw, "SMSGW", "WebPort", c.storedWebPort);
        StoreIf(smsgw, "SMSGW", "SMPPPort", c.storedSmppPort);
        StoreIf(mmsc, "MMSC", "WebPort", c.storedMm7Port);

        ServerSettings shown = LoadServerSettings(smsgw, mmsc);
        EXPECT_EQ(c.shown.webPort, shown.webPort) << c.name;
        EXPECT_EQ(c.shown.smppEnabled, shown.smppEnabled) << c.name;
        EXPECT_EQ(c.shown.smppPort, shown.smppPort) << c.name;
        EXPECT_EQ(c.shown.mm7Enabled, shown.mm7Enabled) << c.name;
        EXPECT_EQ(c.shown.mm7Port, shown.mm7Port) << c.name;

        SaveServerSettings(c.saved, smsgw, mmsc);
        EXPECT_EQ(c.writtenWebPort, smsgw.Get("SMSGW", "WebPort")) << c.name;
        EXPECT_EQ(c.writtenSmppPort, smsgw.Get("SMSGW", "SMPPPort")) << c.name;
        EXPECT_EQ(c.writtenMm7Port, mmsc.Get("MMSC", "WebPort")) << c.name;
        EXPECT_FALSE(mmsc.Has("SMSGW", "WebPort")) << c.name; // each key in its own file
    }
}

TEST(ServerSettings, OnlyPortsNoTcpPortCanHaveAreRefused)
{
    EXPECT_EQ(nullptr, InvalidPortField(Ports(65535, true, 1, true, 0)));
    EXPECT_EQ(kWebPortField, InvalidPortField(Ports(65536, false, 0, false, 0)));
    EXPECT_EQ(kSmppPortField, InvalidPortField(Ports(80, true, 70000, false, 0)));
    EXPECT_EQ(nullptr, InvalidPortField(Ports(80, false, 70000, false, 0))); // off: never stored
    EXPECT_EQ(kMm7PortField, InvalidPortField(Ports(80, false, 0, true, 99999)));
}

TEST(DebugLogSettings, EachSwitchIsItsServicesDebugKey)
{
    struct Case {
        const char* stored; // nullptr: no key
        bool shown;
        bool saved;
        const char* written;
    } const cases[] = {
        {nullptr, false, true, "Yes"},     {"yes", true, false, "<missing>"}, {"1", true, true, "Yes"},
        {"No", false, false, "<missing>"}, {"On", false, true, "Yes"},
    };
    for (const Case& c : cases) {
        for (size_t log = 0; log < kDebugLogCount; ++log) {
            MemoryIni smsgw, mmsc, mmswap;
            MemoryIni* files[kDebugLogCount] = {&smsgw, &mmsc, &mmswap};
            DebugLogStores stores{smsgw, mmsc, mmswap};
            StoreIf(stores[log], kDebugLogFiles[log].section, "Debug", c.stored);

            DebugLogSettings shown = LoadDebugLogSettings(stores);
            for (size_t other = 0; other < kDebugLogCount; ++other)
                EXPECT_EQ(other == log && c.shown, shown.enabled[other]) << log << " " << other;

            DebugLogSettings saved;
            saved.enabled[log] = c.saved;
            SaveDebugLogSettings(saved, stores);
            EXPECT_EQ(c.written, files[log]->Get(kDebugLogFiles[log].section, "Debug")) << log;
        }
    }
    EXPECT_STREQ("SMSGW", kDebugLogFiles[kSmsGatewayLog].section);
    EXPECT_STREQ("MMSC.INI", kDebugLogFiles[kMmscLog].iniName);
    EXPECT_STREQ("MMSWAPDEBUG.LOG", kDebugLogFiles[kMmswapLog].logName);
}

} // namespace
