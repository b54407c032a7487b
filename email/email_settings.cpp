// The E-Mail page's settings, the mailboxes and the authorised senders.
#include "email/email_settings.h"

#include <cstdio>

#include "base/ini_rules.h"
#include "base/text.h"

const char kDefaultEmailTemplate[] = "@@FromAddress@@ /@@Subject@@ /@@Text@@";
const char* const kEmailTemplates[3] = {kDefaultEmailTemplate, "@@Subject@@ /@@Text@@", "@@Text@@"};
const char kMailboxNotConfigured[] = "(Not Configured)";
const char kDefaultPollInterval[] = "120";

namespace {

const char kMmsc[] = "MMSC";
const char kSenders[] = "AuthEMailSMS";
constexpr size_t kValueChars = 1024;
// Reading the authorised senders stops after this many missing or empty keys.
constexpr unsigned kSenderMisses = 50;

bool ReadBool(IniStore& ini, const char* key)
{
    return IniBool(ini.Read(kMmsc, key, kValueChars).c_str());
}

void WriteYesOrDelete(IniStore& ini, const char* key, bool yes)
{
    if (yes)
        ini.Write(kMmsc, key, "Yes");
    else
        ini.Delete(kMmsc, key);
}

const char* MailboxKey(MailboxKind kind)
{
    return kind == MailboxKind::Sms ? "SMSMailbox" : "MMSMailbox";
}

std::string SectionOf(const std::string& name)
{
    return "Mailbox-" + name;
}

// Splits "host:port" at the first ":".
void SplitServer(const std::string& server, std::string& host, std::string& port)
{
    size_t colon = server.find(':');
    host = server.substr(0, colon);
    port = colon == std::string::npos ? std::string() : server.substr(colon + 1);
}

bool IsEmptyOrZero(const std::string& field)
{
    return IniNumber(field.c_str()) == 0;
}

std::string SenderKeyName(unsigned n)
{
    return "User" + std::to_string(n);
}

// The numbers of the stored sender keys, by the 50-miss rule.
std::vector<unsigned> StoredSenderNumbers(IniStore& mmsc, std::vector<std::string>* values)
{
    std::vector<unsigned> numbers;
    unsigned misses = 0;
    for (unsigned n = 1; misses < kSenderMisses; ++n) {
        std::string value = mmsc.Read(kSenders, SenderKeyName(n), kSenderEntryMax + 1);
        if (value.empty()) {
            ++misses;
            continue;
        }
        numbers.push_back(n);
        if (values)
            values->push_back(value);
    }
    return numbers;
}

} // namespace

EmailPageSettings LoadEmailPageSettings(IniStore& mmsc)
{
    EmailPageSettings settings;
    settings.smsPerEmail = SmsPerEmailFromText(mmsc.Read(kMmsc, "SMSPerEMail", kValueChars));
    settings.routeReplies = ReadBool(mmsc, "SMSEMailTrackSender");
    settings.deliveryReports = settings.routeReplies && ReadBool(mmsc, "SMSEMailReceiptRequested");
    settings.useMms = ReadBool(mmsc, "SMSEMailUseMMS");
    settings.forceMms = ReadBool(mmsc, "SMSEMailForceMMS");
    std::string stored = mmsc.Read(kMmsc, "SMSEMailTemplate", kValueChars);
    settings.smsTemplate = stored.empty() ? kDefaultEmailTemplate : stored;
    return settings;
}

void SaveEmailPageSettings(const EmailPageSettings& settings, IniStore& mmsc, IniStore& smsgw)
{
    mmsc.Write(kMmsc, "SMSEMail", MailboxName(mmsc, MailboxKind::Sms).empty() ? "No" : "Yes");
    char count[16];
    std::snprintf(count, sizeof count, "%u", settings.smsPerEmail ? settings.smsPerEmail : 1u);
    mmsc.Write(kMmsc, "SMSPerEMail", count);
    WriteYesOrDelete(mmsc, "SMSEMailTrackSender", settings.routeReplies);
    WriteYesOrDelete(mmsc, "SMSEMailReceiptRequested", settings.routeReplies && settings.deliveryReports);
    WriteYesOrDelete(mmsc, "SMSEMailUseMMS", settings.useMms);
    WriteYesOrDelete(mmsc, "SMSEMailForceMMS", settings.forceMms);
    if (settings.smsTemplate.empty() || EqualsNoCase(settings.smsTemplate, kDefaultEmailTemplate))
        mmsc.Delete(kMmsc, "SMSEMailTemplate");
    else
        mmsc.Write(kMmsc, "SMSEMailTemplate", settings.smsTemplate);
    if (settings.routeReplies)
        smsgw.Write("SMSGW", "ReceiveSMS", "Yes");
}

unsigned SmsPerEmailFromText(const std::string& text)
{
    unsigned long value = IniNumber(text.c_str());
    return value == 0 || value > 0xFFFFFFFFul ? 1u : static_cast<unsigned>(value);
}

std::string MailboxName(IniStore& mmsc, MailboxKind kind)
{
    return mmsc.Read(kMmsc, MailboxKey(kind), kValueChars);
}

std::string ReadMailboxSetting(IniStore& mmsc, MailboxKind kind, const char* key, const std::string& fallback)
{
    std::string name = MailboxName(mmsc, kind);
    std::string value = name.empty() ? std::string() : mmsc.Read(SectionOf(name), key, kValueChars);
    return value.empty() ? fallback : value;
}

unsigned DefaultIncomingPort(bool pop3, bool useTls)
{
    if (pop3)
        return useTls ? 995 : 110;
    return useTls ? 993 : 143;
}

unsigned DefaultSmtpPort(bool useTls)
{
    return useTls ? 587 : 25;
}

MailboxSettings LoadMailbox(IniStore& mmsc, MailboxKind kind)
{
    MailboxSettings settings;
    std::string name = MailboxName(mmsc, kind);
    if (!name.empty()) {
        std::string section = SectionOf(name);
        auto read = [&](const char* key) { return mmsc.Read(section, key, kValueChars); };
        settings.address = read("EMailAddress");
        settings.fullName = read("EMailFullName");
        settings.userName = read("Username");
        settings.password = read("Password");
        std::string pop3 = read("POP3Server");
        std::string imap = read("IMAPServer");
        if (!pop3.empty()) {
            SplitServer(pop3, settings.serverHost, settings.serverPort);
            settings.pop3 = true;
        }
        if (!imap.empty()) {
            SplitServer(imap, settings.serverHost, settings.serverPort);
            settings.pop3 = false;
        }
        settings.useTls = IniBool(read("UseSSL").c_str());
        SplitServer(read("SMTPServer"), settings.smtpHost, settings.smtpPort);
        settings.pollInterval = read("PollInterval");
    }
    if (IsEmptyOrZero(settings.serverPort))
        settings.serverPort = std::to_string(DefaultIncomingPort(settings.pop3, settings.useTls));
    if (IsEmptyOrZero(settings.smtpPort))
        settings.smtpPort = std::to_string(DefaultSmtpPort(settings.useTls));
    if (IsEmptyOrZero(settings.pollInterval))
        settings.pollInterval = kDefaultPollInterval;
    return settings;
}

MailboxField MissingMailboxField(const MailboxSettings& settings)
{
    if (settings.address.empty())
        return MailboxField::Address;
    if (settings.userName.empty())
        return MailboxField::UserName;
    if (settings.password.empty())
        return MailboxField::Password;
    if (settings.serverHost.empty())
        return MailboxField::ServerHost;
    if (settings.smtpHost.empty())
        return MailboxField::SmtpHost;
    return MailboxField::None;
}

std::string ServerString(const std::string& host, const std::string& port)
{
    return port.empty() ? host : host + ":" + port;
}

void SaveMailbox(IniStore& mmsc, MailboxKind kind, const MailboxSettings& settings)
{
    std::string oldName = MailboxName(mmsc, kind);
    if (!oldName.empty() && !EqualsNoCase(oldName, settings.address))
        mmsc.DeleteSection(SectionOf(oldName));
    mmsc.Write(kMmsc, MailboxKey(kind), settings.address);
    std::string section = SectionOf(settings.address);
    mmsc.Write(section, "EMailAddress", settings.address);
    mmsc.Write(section, "EMailFullName", settings.fullName);
    mmsc.Write(section, "Username", settings.userName);
    mmsc.Write(section, "Password", settings.password);
    std::string server = ServerString(settings.serverHost, settings.serverPort);
    mmsc.Write(section, settings.pop3 ? "POP3Server" : "IMAPServer", server);
    mmsc.Delete(section, settings.pop3 ? "IMAPServer" : "POP3Server");
    if (settings.useTls)
        mmsc.Write(section, "UseSSL", "Yes");
    else
        mmsc.Delete(section, "UseSSL");
    mmsc.Write(section, "SMTPServer", ServerString(settings.smtpHost, settings.smtpPort));
    if (settings.pollInterval.empty())
        mmsc.Delete(section, "PollInterval");
    else
        mmsc.Write(section, "PollInterval", settings.pollInterval);
}

void RemoveMailbox(IniStore& mmsc, MailboxKind kind)
{
    std::string name = MailboxName(mmsc, kind);
    if (name.empty())
        return;
    mmsc.DeleteSection(SectionOf(name));
    mmsc.Delete(kMmsc, MailboxKey(kind));
}

std::vector<std::string> LoadAuthorisedSenders(IniStore& mmsc)
{
    std::vector<std::string> entries;
    StoredSenderNumbers(mmsc, &entries);
    return entries;
}

void SaveAuthorisedSenders(IniStore& mmsc, const std::vector<std::string>& entries)
{
    for (unsigned n : StoredSenderNumbers(mmsc, nullptr))
        mmsc.Delete(kSenders, SenderKeyName(n));
    unsigned n = 0;
    for (const std::string& entry : entries)
        mmsc.Write(kSenders, SenderKeyName(++n), entry.substr(0, kSenderEntryMax));
}

std::string SenderKey(const std::string& entry)
{
    return entry.substr(0, entry.find(','));
}
