// How modems and routes are named in SMSGW.INI.
#pragma once

#include <string>

// ModemSectionName, the section of a modem or route, is an INI rule: base/ini_rules.h.
#include "base/ini_rules.h"

// "QelSMSModem - ": the name of a modem reached over the network (a phone modem).
extern const char kPhoneModemPrefix[15];

// What the administrator chose on the modem page, from the text of its name field.
struct ModemChoice {
    enum Kind {
        Nothing,      // empty: the page stays without a message
        PhoneModem,   // a listed phone modem (or any name with the phone-modem prefix)
        WindowsModem, // a telephony line from the list
        TypedAddress, // an address and port typed by hand
        NotAnAddress, // typed text that cannot name a host: refused like an unreachable one
    } kind = Nothing;
    std::string modemName; // the value for "Modem1"
    std::string address;   // the phone modem's address (behind the prefix)
    std::string routeName; // "RouteName" of a phone modem
};

// listed: the list of modems holds exactly this text.
ModemChoice InterpretModemChoice(const std::string& text, bool listed);

// The host of a typed address, without its port: "10.0.0.200:8990" -> "10.0.0.200",
// "[fe80::1]:8990" -> "[fe80::1]"; an unbracketed IPv6 literal has no port and stays whole.
std::string RouteHost(const std::string& address);
