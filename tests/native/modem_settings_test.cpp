// The Modem page's settings against SMSGW.INI, MMSC.INI and the route's VASP.INI: what a
// stored modem shows, what saving writes for a GSM and a phone modem, and the route folders.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "memory_ini.h"
#include "modem/modem_settings.h"

namespace {

struct MemoryRoutes : RouteStore {
    std::map<std::string, std::unique_ptr<MemoryIni>> folders; // route -> its VASP.INI
    std::vector<std::string> calls;
    void DeleteRoute(const std::string& route) override
    {
        calls.push_back("delete " + route);
        folders.erase(route);
    }
    void RegisterRoute(const std::string& route) override { calls.push_back("register " + route); }
    IniStore* RouteIni(const std::string& route) override
    {
        auto& ini = folders[route];
        if (!ini)
            ini.reset(new MemoryIni);
        return ini.get();
    }
};

TEST(ModemSettings, LoadsWhatIsStored)
{
    MemoryIni sms;
    sms.Write("SMSGW", "Modem1", "SMPP - Provider");
    EXPECT_EQ(ConfiguredModemName(sms), ""); // an SMSC connection is no modem

    sms.Write("Modem - Wavecom", "ReceiveTo", "SM");
    sms.Write("Modem - Wavecom", "SMSAccess", "GPRS");
    sms.Write("Modem - Wavecom", "APN", "mms.net");
    sms.Write("Modem - Wavecom", "WAPGatewayIP", "10.1.1.1:8080");
    sms.Write("Modem - Wavecom", "MMSURL", "http://mmsc/");
    sms.Write("Modem - Wavecom", "DialUpProfile", "Modem: wavecom"); // its own modem: standard
    ModemSettings gsm = LoadModemSettings(sms, "Wavecom", false);
    EXPECT_EQ(gsm.storage, MessageStorage::SimCard);
    EXPECT_EQ(gsm.smsAccess, SmsAccess::Gprs);
    EXPECT_EQ(gsm.apn + "|" + gsm.mmsProxy + "|" + gsm.mmsUrl, "mms.net|10.1.1.1:8080|http://mmsc/");
    EXPECT_EQ(gsm.dataConnection, "");
    // No ReceiveMMS yet and SMS received: both MMS boxes start checked.
    EXPECT_TRUE(gsm.receiveSms && gsm.sendMms && gsm.receiveMms);

    sms.Write("Modem - Wavecom", "ReceiveMMS", "No");
    sms.Write("Modem - Wavecom", "DialUpProfile", "GPRS Internet");
    gsm = LoadModemSettings(sms, "Wavecom", false);
    EXPECT_FALSE(gsm.sendMms || gsm.receiveMms);
    EXPECT_EQ(gsm.dataConnection, "GPRS Internet");

    sms.Write("QelSMSModem - Pixel", "QelsmsModemMMSProxy", "proxy:80");
    ModemSettings phone = LoadModemSettings(sms, "QelSMSModem - Pixel", true, "http://phone-mmsc/", "phone-proxy");
    EXPECT_EQ(phone.mmsUrl, "http://phone-mmsc/"); // empty: the phone's own
    EXPECT_EQ(phone.mmsProxy, "proxy:80");
}

TEST(ModemSettings, RouteNames)
{
    EXPECT_EQ(ModemRouteName("Wavecom"), "qelsmslite");
    EXPECT_EQ(ModemRouteName("Wavecom Fastrack Supreme 10"), "qelsmslite"); // longer than the phone prefix
    EXPECT_EQ(ModemRouteName("QelSMSModem - x"), "x");
    EXPECT_EQ(ModemRouteName("QelSMSModem - "), "qelsmslite");
    EXPECT_EQ(ModemRouteName("QelSMSModem - Pixel 7"), "Pixel 7");
    EXPECT_EQ(ModemRouteName("QelSMSModem - 10.0.0.2:8990"), "10.0.0.2");
    // Two IPv6 phones keep two routes (neither can name a folder: ':' is refused).
    EXPECT_EQ(ModemRouteName("QelSMSModem - [fe80::1]:8990"), "[fe80::1]");
    EXPECT_EQ(ModemRouteName("QelSMSModem - [fe80::2]:8990"), "[fe80::2]");
    EXPECT_EQ(ModemRouteName("QelSMSModem - ."), ".");
    EXPECT_EQ(NonStandardConnection("Modem: Other", "Wavecom"), "Modem: Other");
    EXPECT_EQ(NonStandardConnection("modem: WAVECOM", "Wavecom"), "");
}

ModemSettings GsmWithMms()
{
    ModemSettings s;
    s.modemName = "Wavecom";
    s.storage = MessageStorage::DirectToModem;
    s.smsAccess = SmsAccess::Gsm;
    s.sendMms = s.receiveMms = true;
    s.apn = "mms.net";
    s.apnLogin = "user";
    s.mmsProxy = "10.1.1.1:8080";
    s.mmsUrl = "http://mmsc/";
    return s;
}

TEST(ModemSettings, SavesAGsmModemAndReplacesAPhoneRoute)
{
    MemoryIni sms, mmsc;
    MemoryRoutes routes;
    mmsc.Write("MMSC", "DefaultOutboundRoute", "Pixel");
    mmsc.Write("Outbound MMS Routing", "qelsmslite", "x");
    ModemSettings s = GsmWithMms();
    s.dataConnection = "GPRS Internet";
    ASSERT_EQ(SaveModemSettings(s, sms, mmsc, routes), SaveOutcome::Saved);
    EXPECT_EQ(routes.calls, (std::vector<std::string>{"delete Pixel", "register qelsmslite"}));
    EXPECT_FALSE(mmsc.Has("Outbound MMS Routing", "qelsmslite"));
    EXPECT_EQ(mmsc.Get("MMSC", "DefaultOutboundRoute"), "qelsmslite");
    const char* section = "Modem - Wavecom";
    EXPECT_EQ(sms.Get("SMSGW", "Modem1"), "Wavecom");
    EXPECT_EQ(sms.Get("SMSGW", "ReceiveSMS"), "Yes");
    EXPECT_EQ(sms.Get(section, "ReceiveTo"), "Direct");
    EXPECT_EQ(sms.Get(section, "SMSAccess"), "GSM");
    EXPECT_EQ(sms.Get(section, "ReceiveMMS"), "Yes");
    EXPECT_EQ(sms.Get(section, "DialUpProfile"), "GPRS Internet");
    EXPECT_FALSE(sms.Has(section, "UseModem")); // a dial-up connection, not a modem
    EXPECT_FALSE(sms.Has(section, "APNPass")); // empty values are removed
    MemoryIni& vasp = *routes.folders["qelsmslite"];
    for (IniStore* ini : {static_cast<IniStore*>(&sms), static_cast<IniStore*>(&vasp)}) {
        const char* at = ini == &sms ? section : "VASP";
        EXPECT_EQ(ini->Read(at, "UseDial", 10) + ini->Read(at, "APN", 10) + ini->Read(at, "APNLogin", 10), "Yesmms.netuser");
    }
    EXPECT_EQ(vasp.Get("VASP", "Protocol"), "MM1");
    EXPECT_EQ(vasp.Get("VASP", "ForceSenderAddress"), "Yes");
    EXPECT_EQ(vasp.Get("VASP", "Server"), "http://mmsc/");
    EXPECT_EQ(vasp.Get("VASP", "WAPGatewayIP"), "10.1.1.1:8080");

    s.dataConnection = "Modem: Other GSM";
    SaveModemSettings(s, sms, mmsc, routes);
    EXPECT_EQ(sms.Get(section, "UseModem"), "Other GSM");
    EXPECT_EQ(vasp.Get("VASP", "UseModem"), "Other GSM");

    s.dataConnection = "";
    s.storage = MessageStorage::Default;
    s.smsAccess = SmsAccess::Default;
    SaveModemSettings(s, sms, mmsc, routes);
    EXPECT_EQ(sms.Get(section, "UseModem"), "Wavecom");
    EXPECT_EQ(sms.Get(section, "DialUpProfile"), "Modem: Wavecom");
    EXPECT_FALSE(sms.Has(section, "ReceiveTo") || sms.Has(section, "SMSAccess"));

    s.sendMms = false;
    routes.calls.clear();
    SaveModemSettings(s, sms, mmsc, routes);
    EXPECT_EQ(routes.calls, (std::vector<std::string>{"delete qelsmslite"}));
    EXPECT_FALSE(mmsc.HasSection("Outbound MMS Routing"));
    EXPECT_EQ(sms.Get(section, "ReceiveMMS"), "No");
}

TEST(ModemSettings, SavesAPhoneModemRoute)
{
    MemoryIni sms, mmsc;
    MemoryRoutes routes;
    ModemSettings s;
    s.modemName = "QelSMSModem - Pixel 7";
    s.sendMms = true;
    s.mmsUrl = "http://mmsc/";
    s.mmsProxy = "proxy:80";
    sms.Write("QelSMSModem - Pixel 7", "UseDial", "Yes"); // left by a GSM modem of that name
    ASSERT_EQ(SaveModemSettings(s, sms, mmsc, routes), SaveOutcome::Saved);
    EXPECT_FALSE(sms.Has("QelSMSModem - Pixel 7", "UseDial"));
    MemoryIni& vasp = *routes.folders["Pixel 7"];
    EXPECT_EQ(vasp.Get("VASP", "Server"), "qelsmsmodem_Pixel 7");
    EXPECT_EQ(vasp.Get("VASP", "MMSVersion"), "1.2");
    EXPECT_EQ(vasp.Get("VASP", "QelsmsModemMMSProxy") + " " + vasp.Get("VASP", "QelsmsModemMMSURL"), "proxy:80 http://mmsc/");
    EXPECT_EQ(sms.Get("QelSMSModem - Pixel 7", "QelsmsModemMMSURL") + " " + sms.Get("QelSMSModem - Pixel 7", "QelsmsModemMMSProxy"),
              "http://mmsc/ proxy:80");
    EXPECT_FALSE(sms.Has("QelSMSModem - Pixel 7", "SMSAccess") || sms.Has("QelSMSModem - Pixel 7", "APN"));
    vasp.Write("VASP", "MMSVersion", "1.0");
    SaveModemSettings(s, sms, mmsc, routes);
    EXPECT_EQ(vasp.Get("VASP", "MMSVersion"), "1.0"); // kept once set
}

TEST(ModemSettings, RouteNamesThatCannotNameAFolderAreNeverUsedAsOne)
{
    // A phone name whose route would be empty: nothing is saved, no folder touched.
    MemoryIni sms, mmsc;
    MemoryRoutes routes;
    ModemSettings s = GsmWithMms();
    s.modemName = "QelSMSModem - :x";
    EXPECT_EQ(SaveModemSettings(s, sms, mmsc, routes), SaveOutcome::UnusableRoute);
    EXPECT_TRUE(routes.calls.empty());
    EXPECT_FALSE(sms.Has("SMSGW", "Modem1"));

    // An edited DefaultOutboundRoute that would reach VASPOUT itself or beyond is not deleted.
    for (const char* old : {"..\\..", ".", "x. "}) {
        routes.calls.clear();
        mmsc.Write("MMSC", "DefaultOutboundRoute", old);
        ASSERT_EQ(SaveModemSettings(GsmWithMms(), sms, mmsc, routes), SaveOutcome::Saved);
        EXPECT_EQ(routes.calls, (std::vector<std::string>{"register qelsmslite"})) << old;
    }

    // Without MMS the unusable route's folder is not deleted either; the rest is saved.
    s.sendMms = false;
    routes.calls.clear();
    EXPECT_EQ(SaveModemSettings(s, sms, mmsc, routes), SaveOutcome::Saved);
    EXPECT_EQ(routes.calls, (std::vector<std::string>{"delete qelsmslite"}));
}

} // namespace

namespace {

TEST(ModemSettings, ConnectionTestRequest)
{
    ModemSettings s = GsmWithMms();
    ConnectionTestRequest request;
    s.mmsProxy = "HTTP://10.1.1.1:8080";
    s.dataConnection = "Modem: wavecom"; // the page's own modem: the standard connection
    ASSERT_EQ(PrepareConnectionTest(s, request), TestInputProblem::None);
    EXPECT_EQ(request.wapGateway, "10.1.1.1:8080");
    EXPECT_EQ(request.dialUpProfile, "");
    s.dataConnection = "Office VPN";
    PrepareConnectionTest(s, request);
    EXPECT_EQ(request.dialUpProfile, "Office VPN");

    ModemSettings missing = s;
    missing.mmsUrl.clear();
    missing.modemName.clear();
    EXPECT_EQ(PrepareConnectionTest(missing, request), TestInputProblem::NoUrl);
    missing.mmsUrl = "u";
    EXPECT_EQ(PrepareConnectionTest(missing, request), TestInputProblem::NoModem);
    missing.modemName = "m";
    missing.mmsProxy.clear();
    EXPECT_EQ(PrepareConnectionTest(missing, request), TestInputProblem::NoProxy);
}

} // namespace
