#include "modem/modem_settings.h"

#include "base/ini_rules.h"
#include "base/text.h"
#include "modem/modem_naming.h"

const char kOwnModemConnectionPrefix[] = "Modem: ";

namespace {

constexpr size_t kValueLimit = 500;
const char kDefaultRoute[] = "qelsmslite";
const char kRouting[] = "Outbound MMS Routing";
const char kPhoneServerPrefix[] = "qelsmsmodem_";

const char* const kSmscPrefixes[] = {"SMPP - ", "HTTP - ", "UCP - ", "CIMD - "};

struct StorageName {
    MessageStorage storage;
    const char* value;
};
const StorageName kStorageNames[] = {
    {MessageStorage::DeviceMemory, "ME"}, {MessageStorage::SimCard, "SM"}, {MessageStorage::DirectToModem, "Direct"}};

std::string PhoneAddress(const std::string& modemName)
{
    return modemName.substr(sizeof kPhoneModemPrefix - 1);
}

// Writes the value, or removes the key when the value is empty.
void Put(IniStore& ini, const std::string& section, const char* key, const std::string& value)
{
    if (value.empty())
        ini.Delete(section, key);
    else
        ini.Write(section, key, value);
}

const char* YesNo(bool value)
{
    return value ? "Yes" : "No";
}

// The keys of the data connection, the same in the modem section and the route's VASP.INI.
void PutGsmConnection(IniStore& ini, const std::string& section, const ModemSettings& s)
{
    ini.Write(section, "UseDial", "Yes");
    const std::string& chosen = s.dataConnection;
    if (chosen.empty()) {
        ini.Write(section, "UseModem", s.modemName);
        ini.Write(section, "DialUpProfile", kOwnModemConnectionPrefix + s.modemName);
    } else {
        bool modem = StartsWithNoCase(chosen.data(), chosen.size(), kOwnModemConnectionPrefix);
        Put(ini, section, "UseModem", modem ? chosen.substr(sizeof kOwnModemConnectionPrefix - 1) : "");
        ini.Write(section, "DialUpProfile", chosen);
    }
    Put(ini, section, "APN", s.apn);
    Put(ini, section, "APNLogin", s.apnLogin);
    Put(ini, section, "APNPass", s.apnPassword);
    Put(ini, section, "WAPGatewayIP", s.mmsProxy);
}

void SaveRoute(const ModemSettings& s, const std::string& section, IniStore& sms, IniStore& vasp)
{
    vasp.Write("VASP", "Protocol", "MM1");
    vasp.Write("VASP", "ForceSenderAddress", "Yes");
    if (IsPhoneModemName(s.modemName)) {
        sms.Delete(section, "UseDial");
        Put(sms, section, "QelsmsModemMMSURL", s.mmsUrl);
        Put(sms, section, "QelsmsModemMMSProxy", s.mmsProxy);
        vasp.Write("VASP", "Server", kPhoneServerPrefix + PhoneAddress(s.modemName));
        if (vasp.Read("VASP", "MMSVersion", kValueLimit).empty())
            vasp.Write("VASP", "MMSVersion", "1.2");
        Put(vasp, "VASP", "QelsmsModemMMSURL", s.mmsUrl);
        Put(vasp, "VASP", "QelsmsModemMMSProxy", s.mmsProxy);
    } else {
        PutGsmConnection(sms, section, s);
        Put(sms, section, "MMSURL", s.mmsUrl);
        PutGsmConnection(vasp, "VASP", s);
        Put(vasp, "VASP", "Server", s.mmsUrl);
    }
}

} // namespace

std::string ConfiguredModemName(IniStore& smsIni)
{
    std::string name = smsIni.Read("SMSGW", "Modem1", 250);
    for (const char* prefix : kSmscPrefixes) {
        if (StartsWithNoCase(name.data(), name.size(), prefix))
            return {};
    }
    return name;
}

bool IsPhoneModemName(const std::string& name)
{
    return StartsWithNoCase(name.data(), name.size(), kPhoneModemPrefix);
}

std::string ModemRouteName(const std::string& modemName)
{
    if (IsPhoneModemName(modemName) && modemName.size() > sizeof kPhoneModemPrefix - 1)
        return RouteHost(PhoneAddress(modemName));
    return kDefaultRoute;
}

std::string NonStandardConnection(const std::string& chosen, const std::string& modemName)
{
    const size_t prefix = sizeof kOwnModemConnectionPrefix - 1;
    if (chosen.empty())
        return {};
    if (StartsWithNoCase(chosen.data(), chosen.size(), kOwnModemConnectionPrefix) &&
        EqualsNoCase(chosen.substr(prefix), modemName))
        return {};
    return chosen;
}

ModemSettings LoadModemSettings(IniStore& smsIni, const std::string& modemName, bool routeConfigured,
                                const std::string& phoneUrl, const std::string& phoneProxy)
{
    ModemSettings s;
    s.modemName = modemName;
    if (modemName.empty())
        return s;
    const std::string section = ModemSectionName(modemName);
    auto read = [&](const char* key) { return smsIni.Read(section, key, kValueLimit); };
    if (IsPhoneModemName(modemName)) {
        s.mmsUrl = read("QelsmsModemMMSURL");
        s.mmsProxy = read("QelsmsModemMMSProxy");
        if (s.mmsUrl.empty())
            s.mmsUrl = phoneUrl;
        if (s.mmsProxy.empty())
            s.mmsProxy = phoneProxy;
    } else {
        for (const StorageName& name : kStorageNames) {
            if (EqualsNoCase(read("ReceiveTo"), name.value))
                s.storage = name.storage;
        }
        std::string access = read("SMSAccess");
        s.smsAccess = EqualsNoCase(access, "GPRS")  ? SmsAccess::Gprs
                      : EqualsNoCase(access, "GSM") ? SmsAccess::Gsm
                                                    : SmsAccess::Default;
        s.apn = read("APN");
        s.apnLogin = read("APNLogin");
        s.apnPassword = read("APNPass");
        s.mmsProxy = read("WAPGatewayIP");
        s.mmsUrl = read("MMSURL");
        s.dataConnection = NonStandardConnection(read("DialUpProfile"), modemName);
    }
    std::string receiveSms = read("ReceiveSMS");
    s.receiveSms = IniBool((receiveSms.empty() ? std::string("Yes") : receiveSms).c_str());
    s.sendMms = routeConfigured;
    std::string receiveMms = read("ReceiveMMS");
    if (receiveMms.empty() && s.receiveSms) {
        s.sendMms = true;
        s.receiveMms = true;
    } else {
        s.receiveMms = IniBool(receiveMms.c_str());
    }
    return s;
}

SaveOutcome SaveModemSettings(const ModemSettings& s, IniStore& sms, IniStore& mmsc, RouteStore& routes)
{
    if (s.modemName.empty())
        return SaveOutcome::NothingToSave;
    const std::string route = ModemRouteName(s.modemName);
    const bool routeUsable = IsUsableRouteName(route);
    if (s.sendMms && !routeUsable)
        return SaveOutcome::UnusableRoute;

    std::string oldRoute = mmsc.Read("MMSC", "DefaultOutboundRoute", kValueLimit);
    if (!oldRoute.empty() && !EqualsNoCase(oldRoute, route)) {
        if (IsUsableRouteName(oldRoute))
            routes.DeleteRoute(oldRoute);
        mmsc.Delete(kRouting, route);
    }
    const std::string section = ModemSectionName(s.modemName);
    const bool gsm = !IsPhoneModemName(s.modemName);
    sms.Write("SMSGW", "Modem1", s.modemName);
    if (gsm) {
        const char* storage = "";
        for (const StorageName& name : kStorageNames) {
            if (name.storage == s.storage)
                storage = name.value;
        }
        Put(sms, section, "ReceiveTo", storage);
    }
    sms.Write(section, "ReceiveSMS", YesNo(s.receiveSms));
    if (gsm)
        Put(sms, section, "SMSAccess",
            s.smsAccess == SmsAccess::Gprs  ? "GPRS"
            : s.smsAccess == SmsAccess::Gsm ? "GSM"
                                            : "");
    const bool receiveMms = s.sendMms && s.receiveMms;
    sms.Write(section, "ReceiveMMS", YesNo(receiveMms));
    if (receiveMms)
        sms.Write("SMSGW", "ReceiveSMS", "Yes");

    if (s.sendMms) {
        routes.RegisterRoute(route);
        mmsc.Write("MMSC", "DefaultOutboundRoute", route);
        if (IniStore* vasp = routes.RouteIni(route))
            SaveRoute(s, section, sms, *vasp);
    } else {
        if (routeUsable)
            routes.DeleteRoute(route);
        mmsc.DeleteSection(kRouting);
    }
    return SaveOutcome::Saved;
}

TestInputProblem PrepareConnectionTest(const ModemSettings& s, ConnectionTestRequest& request)
{
    if (s.mmsUrl.empty())
        return TestInputProblem::NoUrl;
    if (s.modemName.empty())
        return TestInputProblem::NoModem;
    if (s.mmsProxy.empty())
        return TestInputProblem::NoProxy;
    const char http[] = "http://";
    request.wapGateway = StartsWithNoCase(s.mmsProxy.data(), s.mmsProxy.size(), http) ? s.mmsProxy.substr(sizeof http - 1)
                                                                                        : s.mmsProxy;
    request.apn = s.apn;
    request.apnLogin = s.apnLogin;
    request.apnPassword = s.apnPassword;
    request.modemName = s.modemName;
    request.dialUpProfile = NonStandardConnection(s.dataConnection, s.modemName);
    return TestInputProblem::None;
}
