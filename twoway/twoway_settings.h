// The 2-Way page's settings as SMSGW.INI holds them and as the page shows them. Portable:
// no windows.h. The route section is the configured modem's section (empty when no modem
// is configured: its keys and "2WayMMSToSMS" are then neither read nor written).
#pragma once

#include <string>
#include <vector>

#include "base/ini_store.h"

extern const char kDefaultCharsetEntry[]; // "(default)", the first entry of the charset list
extern const char kMm7Routing[];          // "qelsmslitemm7"

enum class MmsRouting {
    MmsInDirectory, // no routing keys
    SmsCommands,    // [SMSGW] "2WayMMSToSMS" = "Yes"
    Mm7,            // route "MMSRouting" = "qelsmslitemm7"
    Email,          // route "MMSRouting" = the address
    PostUrl,        // route "2WayMMSPostURL" = the URL
};

struct TwoWaySettings {
    bool receiveSms = false;
    bool receiveMms = false;
    bool routeLocal = false; // "Route SMS to local user" (else the 2-way command processor)
    std::string localUser;   // route "RouteLocal"
    std::string charset;     // [SMSGW] "ReceiveSMSCharset"; empty: "(default)"
    MmsRouting mmsRouting = MmsRouting::MmsInDirectory;
    std::string mmsEmail; // the forward address
    std::string postUrl;  // the upload URL
    bool phpEnable = false;
    bool phpAllowRemote = false;
};

// localUsers: the accounts that accept received messages; "RouteLocal" selects local routing
// only when it names one of them (without regard to case). "PHPEnable" is read as stored:
// the page turns it off when php-cgi.exe cannot be found.
TwoWaySettings LoadTwoWaySettings(IniStore& smsgw, const std::string& routeSection,
                                  const std::vector<std::string>& localUsers);

// Writes ReceiveSMS, ReceiveMMS, PHPEnable, PHPAllowRemote, RouteLocal, ReceiveSMSCharset,
// MMSRouting, 2WayMMSToSMS, 2WayMMSPostURL in this order. A URL without "://" is stored
// with "http://" in front (CompletedPostUrl).
void SaveTwoWaySettings(const TwoWaySettings& settings, IniStore& smsgw, const std::string& routeSection);

std::string CompletedPostUrl(const std::string& url);

// The charset list: an entry is listed when its "AliasForCharset" or "Codepage" value is
// present and not empty.
bool IsListedCharset(const std::string& aliasForCharset, const std::string& codepage);
// The entry to select for the stored charset (empty reads as "utf-8"): the first that equals
// it as a whole, without regard to case, or 0 ("(default)").
size_t CharsetSelection(const std::vector<std::string>& entries, const std::string& stored);
