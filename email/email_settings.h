// The E-Mail page's settings, the mailboxes and the authorised senders, as stored in
// MMSC.INI (and one key of SMSGW.INI). Portable: no windows.h.
#pragma once

#include <string>
#include <vector>

#include "base/ini_store.h"

extern const char kDefaultEmailTemplate[];   // "@@FromAddress@@ /@@Subject@@ /@@Text@@"
extern const char* const kEmailTemplates[3]; // the template list's entries
extern const char kMailboxNotConfigured[];   // "(Not Configured)"

// The page's own settings ([MMSC] of MMSC.INI).
struct EmailPageSettings {
    unsigned smsPerEmail = 1;
    bool routeReplies = false;    // "SMSEMailTrackSender"
    bool deliveryReports = false; // "SMSEMailReceiptRequested"; only with routeReplies
    bool useMms = false;          // "SMSEMailUseMMS"
    bool forceMms = false;        // "SMSEMailForceMMS"
    std::string smsTemplate = kDefaultEmailTemplate;
};
EmailPageSettings LoadEmailPageSettings(IniStore& mmsc);
// Writes the table in its order: "SMSEMail" from the SMS mailbox, the keys of the page, and
// [SMSGW] "ReceiveSMS" = "Yes" when replies are routed to e-mail.
void SaveEmailPageSettings(const EmailPageSettings& settings, IniStore& mmsc, IniStore& smsgw);

// The field's number; 0 or anything that is not a number gives 1.
unsigned SmsPerEmailFromText(const std::string& text);

// Mailboxes: kind 1 is the SMS mailbox, kind 2 the MMS mailbox. [MMSC] "SMSMailbox" or
// "MMSMailbox" holds the name (its e-mail address); its settings are in "Mailbox-<name>".
enum class MailboxKind { Sms = 1, Mms = 2 };
std::string MailboxName(IniStore& mmsc, MailboxKind kind);
// A setting of the kind's mailbox; the default when there is no mailbox or the value is empty.
std::string ReadMailboxSetting(IniStore& mmsc, MailboxKind kind, const char* key, const std::string& fallback);

struct MailboxSettings {
    std::string address;
    std::string fullName;
    std::string userName;
    std::string password;
    bool pop3 = false; // the incoming server speaks POP3 rather than IMAP
    bool useTls = false;
    std::string serverHost;
    std::string serverPort;
    std::string smtpHost;
    std::string smtpPort;
    std::string pollInterval;
};
unsigned DefaultIncomingPort(bool pop3, bool useTls); // 143/993 IMAP, 110/995 POP3
unsigned DefaultSmtpPort(bool useTls);                // 25, 587 with TLS
extern const char kDefaultPollInterval[];             // "120"

// What the mailbox dialog shows: the stored mailbox, with empty or zero ports and poll
// interval given their defaults.
MailboxSettings LoadMailbox(IniStore& mmsc, MailboxKind kind);

// The field the dialog must refuse with "Field is required!", in the order checked, or
// None. The e-mail address is required too: without it the mailbox would be saved nowhere.
enum class MailboxField { None, Address, UserName, Password, ServerHost, SmtpHost };
MailboxField MissingMailboxField(const MailboxSettings& settings);

// "host" or "host:port".
std::string ServerString(const std::string& host, const std::string& port);

// Saves the mailbox under its address, removing the section of a previous name.
void SaveMailbox(IniStore& mmsc, MailboxKind kind, const MailboxSettings& settings);
// Removes the kind's mailbox section and its [MMSC] key.
void RemoveMailbox(IniStore& mmsc, MailboxKind kind);

// Authorised senders, [AuthEMailSMS] "User1", "User2" ...: reading stops once 50 keys have
// been found missing or empty.
constexpr size_t kSenderEntryMax = 149;
std::vector<std::string> LoadAuthorisedSenders(IniStore& mmsc);
// The entries in list order as "User1" ... after every existing key is deleted.
void SaveAuthorisedSenders(IniStore& mmsc, const std::vector<std::string>& entries);
// The part of an entry before its first comma: two entries with the same key, without regard
// to case, are the same sender.
std::string SenderKey(const std::string& entry);
