#include "twoway/twoway_settings.h"

#include "base/ini_rules.h"
#include "base/text.h"

const char kDefaultCharsetEntry[] = "(default)";
const char kMm7Routing[] = "qelsmslitemm7";

namespace {

constexpr size_t kValueChars = 1024;
const char kMain[] = "SMSGW";
const char kPostUrlKey[] = "2WayMMSPostURL";

std::string Read(IniStore& ini, const std::string& section, const char* key)
{
    return ini.Read(section, key, kValueChars);
}

bool ReadBool(IniStore& ini, const char* key)
{
    return IniBool(Read(ini, kMain, key).c_str());
}

void WriteOrDelete(IniStore& ini, const std::string& section, const char* key, const std::string& value)
{
    if (value.empty())
        ini.Delete(section, key);
    else
        ini.Write(section, key, value);
}

bool Listed(const std::vector<std::string>& names, const std::string& name)
{
    for (const std::string& listed : names) {
        if (EqualsNoCase(listed, name))
            return true;
    }
    return false;
}

// The upload URL lives in the route section beside "MMSRouting", which it stands in for.
// Earlier versions wrote it to [SMSGW]: such a value is still read when the route has none.
std::string ReadPostUrl(IniStore& smsgw, const std::string& routeSection)
{
    std::string url = Read(smsgw, routeSection, kPostUrlKey);
    return url.empty() ? Read(smsgw, kMain, kPostUrlKey) : url;
}

void LoadMmsRouting(TwoWaySettings& s, IniStore& smsgw, const std::string& routeSection)
{
    std::string routing = Read(smsgw, routeSection, "MMSRouting");
    if (routing.empty()) {
        if (ReadBool(smsgw, "2WayMMSToSMS")) {
            s.mmsRouting = MmsRouting::SmsCommands;
        } else if (!(s.postUrl = ReadPostUrl(smsgw, routeSection)).empty()) {
            s.mmsRouting = MmsRouting::PostUrl;
        }
    } else if (EqualsNoCase(routing, kMm7Routing)) {
        s.mmsRouting = MmsRouting::Mm7;
    } else if (routing.find('@') != std::string::npos) {
        s.mmsRouting = MmsRouting::Email;
        s.mmsEmail = routing;
    }
}

} // namespace

TwoWaySettings LoadTwoWaySettings(IniStore& smsgw, const std::string& routeSection,
                                  const std::vector<std::string>& localUsers)
{
    TwoWaySettings s;
    s.receiveSms = ReadBool(smsgw, "ReceiveSMS");
    if (!routeSection.empty()) {
        std::string user = Read(smsgw, routeSection, "RouteLocal");
        if (!user.empty() && Listed(localUsers, user)) {
            s.routeLocal = true;
            s.receiveSms = true;
            s.localUser = user;
        }
        LoadMmsRouting(s, smsgw, routeSection);
    }
    s.charset = Read(smsgw, kMain, "ReceiveSMSCharset");
    if (s.charset.empty())
        s.charset = "utf-8";
    s.receiveMms = s.receiveSms && ReadBool(smsgw, "ReceiveMMS");
    s.phpEnable = ReadBool(smsgw, "PHPEnable");
    s.phpAllowRemote = ReadBool(smsgw, "PHPAllowRemote");
    return s;
}

void SaveTwoWaySettings(const TwoWaySettings& s, IniStore& smsgw, const std::string& routeSection)
{
    smsgw.Write(kMain, "ReceiveSMS", s.receiveSms ? "Yes" : "No");
    smsgw.Write(kMain, "ReceiveMMS", s.receiveSms && s.receiveMms ? "Yes" : "No");
    smsgw.Write(kMain, "PHPEnable", s.phpEnable ? "Yes" : "No");
    smsgw.Write(kMain, "PHPAllowRemote", s.phpAllowRemote ? "Yes" : "No");
    if (!routeSection.empty())
        WriteOrDelete(smsgw, routeSection, "RouteLocal", s.routeLocal ? s.localUser : std::string());
    WriteOrDelete(smsgw, kMain, "ReceiveSMSCharset", s.charset == kDefaultCharsetEntry ? std::string() : s.charset);
    if (routeSection.empty())
        return;
    std::string routing = s.mmsRouting == MmsRouting::Mm7 ? kMm7Routing
                          : s.mmsRouting == MmsRouting::Email && s.mmsEmail.find('@') != std::string::npos
                              ? s.mmsEmail
                              : std::string();
    WriteOrDelete(smsgw, routeSection, "MMSRouting", routing);
    WriteOrDelete(smsgw, kMain, "2WayMMSToSMS", s.mmsRouting == MmsRouting::SmsCommands ? "Yes" : "");
    bool post = s.mmsRouting == MmsRouting::PostUrl && !s.postUrl.empty();
    WriteOrDelete(smsgw, routeSection, kPostUrlKey, post ? CompletedPostUrl(s.postUrl) : std::string());
    smsgw.Delete(kMain, kPostUrlKey);
}

std::string CompletedPostUrl(const std::string& url)
{
    return url.find("://") == std::string::npos ? "http://" + url : url;
}

bool IsListedCharset(const std::string& aliasForCharset, const std::string& codepage)
{
    return !aliasForCharset.empty() || !codepage.empty();
}

size_t CharsetSelection(const std::vector<std::string>& entries, const std::string& stored)
{
    std::string wanted = stored.empty() ? "utf-8" : stored;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (EqualsNoCase(entries[i], wanted))
            return i;
    }
    return 0;
}
