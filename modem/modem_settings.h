// The Modem page's settings: the modem's section in SMSGW.INI, the outbound MMS route in
// MMSC.INI and the route's own VASP.INI, read into a plain struct and saved back.
// Portable: no windows.h.
#pragma once

#include <string>

#include "base/ini_store.h"
#include "base/names.h"

enum class SmsAccess { Default, Gsm, Gprs };
enum class MessageStorage { Default, DeviceMemory, SimCard, DirectToModem };

struct ModemSettings {
    std::string modemName; // "Modem1"; empty when none (or an SMSC connection) is configured
    SmsAccess smsAccess = SmsAccess::Default;
    MessageStorage storage = MessageStorage::Default;
    bool receiveSms = true;
    bool sendMms = false;
    bool receiveMms = false;
    std::string apn, apnLogin, apnPassword, mmsProxy, mmsUrl;
    // The data connection chosen instead of the modem itself ("Modem: <other modem>" or a
    // dial-up connection); empty for the standard one.
    std::string dataConnection;
};

extern const char kOwnModemConnectionPrefix[]; // "Modem: "

// "Modem1" as the page shows it: an SMSC connection ("SMPP - " ...) counts as no modem.
std::string ConfiguredModemName(IniStore& smsIni);
bool IsPhoneModemName(const std::string& name);
// The outbound MMS route of the modem: a phone modem's address without its port
// (RouteHost: an IPv6 literal stays whole), else "qelsmslite". Whether it can name its
// folder is IsUsableRouteName's (base/names.h).
std::string ModemRouteName(const std::string& modemName);
// The connection that a choice in the list stands for: empty when it is the standard one
// (nothing chosen, or "Modem: " followed by this very modem).
std::string NonStandardConnection(const std::string& chosen, const std::string& modemName);

// Reads the settings of the modem. routeConfigured: the route's VASP.INI exists. The phone's
// own MMS settings fill a phone modem's empty URL and proxy.
ModemSettings LoadModemSettings(IniStore& smsIni, const std::string& modemName, bool routeConfigured,
                                const std::string& phoneUrl = {}, const std::string& phoneProxy = {});

// What saving does outside the INI files it is given: the route's folder and its
// registration with the MMSC account library.
class RouteStore {
public:
    virtual ~RouteStore() = default;
    virtual void DeleteRoute(const std::string& route) = 0; // VASPOUT\<route> and its registration
    virtual void RegisterRoute(const std::string& route) = 0;
    // The route's VASP.INI, its folders and an empty file made when missing; null when it
    // cannot be made.
    virtual IniStore* RouteIni(const std::string& route) = 0;
};

enum class SaveOutcome { Saved, NothingToSave, UnusableRoute };

// Saves the settings: the old default route is removed when the route changes, then the
// modem section, the route and its VASP.INI. A route name that cannot name a folder is never
// used as one: nothing is saved and the outcome says why.
SaveOutcome SaveModemSettings(const ModemSettings& settings, IniStore& smsIni, IniStore& mmscIni, RouteStore& routes);

// What the connection test hands to the elevated instance (MODEMTEST.INI), from the page's
// fields; dialUpProfile is written only when not empty.
struct ConnectionTestRequest {
    std::string wapGateway, apn, apnLogin, apnPassword, modemName, dialUpProfile;
};
enum class TestInputProblem { None, NoUrl, NoModem, NoProxy };
// Checks the fields in the order the page reports them and builds the request: the proxy
// loses a leading "http://"; the chosen connection is passed on only when non-standard.
TestInputProblem PrepareConnectionTest(const ModemSettings& settings, ConnectionTestRequest& request);
