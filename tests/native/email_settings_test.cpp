// The E-Mail page's keys, the mailbox sections and the authorised senders in MMSC.INI.
#include "email/email_settings.h"

#include <gtest/gtest.h>

#include "memory_ini.h"

namespace {

const char* Stored(MemoryIni& ini, const char* section, const char* key)
{
    static std::string value;
    for (auto& [name, entries] : ini.sections)
        if (name == section)
            for (auto& [k, v] : entries)
                if (k == key)
                    return (value = v).c_str();
    return nullptr;
}

TEST(EmailSettings, PageKeysAreWrittenAndDeletedAsTheTableSays)
{
    MemoryIni mmsc, smsgw;
    EmailPageSettings shown = LoadEmailPageSettings(mmsc);
    EXPECT_EQ(shown.smsPerEmail, 1u);
    EXPECT_EQ(shown.smsTemplate, kDefaultEmailTemplate);
    EXPECT_FALSE(shown.routeReplies || shown.deliveryReports || shown.useMms || shown.forceMms);

    EmailPageSettings settings;
    settings.smsPerEmail = 3;
    settings.routeReplies = true;
    settings.deliveryReports = true;
    settings.useMms = true;
    settings.smsTemplate = "@@Text@@";
    SaveEmailPageSettings(settings, mmsc, smsgw);
    EXPECT_STREQ(Stored(mmsc, "MMSC", "SMSEMail"), "No");
    EXPECT_STREQ(Stored(mmsc, "MMSC", "SMSPerEMail"), "3");
    EXPECT_STREQ(Stored(mmsc, "MMSC", "SMSEMailTrackSender"), "Yes");
    EXPECT_STREQ(Stored(mmsc, "MMSC", "SMSEMailReceiptRequested"), "Yes");
    EXPECT_STREQ(Stored(mmsc, "MMSC", "SMSEMailUseMMS"), "Yes");
    EXPECT_EQ(Stored(mmsc, "MMSC", "SMSEMailForceMMS"), nullptr);
    EXPECT_STREQ(Stored(mmsc, "MMSC", "SMSEMailTemplate"), "@@Text@@");
    EXPECT_STREQ(Stored(smsgw, "SMSGW", "ReceiveSMS"), "Yes");
    EXPECT_TRUE(LoadEmailPageSettings(mmsc).deliveryReports);

    // Reply routing off: both keys go, ReceiveSMS stays; the default template is deleted.
    smsgw.Write("SMSGW", "ReceiveSMS", "No");
    settings.routeReplies = false;
    settings.smsTemplate = "@@fromaddress@@ /@@subject@@ /@@text@@";
    mmsc.Write("MMSC", "SMSMailbox", "gw@example.com");
    SaveEmailPageSettings(settings, mmsc, smsgw);
    EXPECT_EQ(Stored(mmsc, "MMSC", "SMSEMailTrackSender"), nullptr);
    EXPECT_EQ(Stored(mmsc, "MMSC", "SMSEMailReceiptRequested"), nullptr);
    EXPECT_EQ(Stored(mmsc, "MMSC", "SMSEMailTemplate"), nullptr);
    EXPECT_STREQ(Stored(smsgw, "SMSGW", "ReceiveSMS"), "No");
    EXPECT_STREQ(Stored(mmsc, "MMSC", "SMSEMail"), "Yes");

    // Delivery reports are read only with reply routing.
    mmsc.Write("MMSC", "SMSEMailReceiptRequested", "Yes");
    EXPECT_FALSE(LoadEmailPageSettings(mmsc).deliveryReports);
    for (auto [text, count] : {std::pair<const char*, unsigned>{"0", 1}, {"abc", 1}, {"", 1}, {"12x", 12}})
        EXPECT_EQ(SmsPerEmailFromText(text), count) << text;
}

TEST(EmailSettings, MailboxDefaultsFollowTypeAndTls)
{
    EXPECT_EQ(DefaultIncomingPort(false, false), 143u);
    EXPECT_EQ(DefaultIncomingPort(false, true), 993u);
    EXPECT_EQ(DefaultIncomingPort(true, false), 110u);
    EXPECT_EQ(DefaultIncomingPort(true, true), 995u);
    EXPECT_EQ(DefaultSmtpPort(false), 25u);
    EXPECT_EQ(DefaultSmtpPort(true), 587u);
    MemoryIni mmsc;
    MailboxSettings empty = LoadMailbox(mmsc, MailboxKind::Sms);
    EXPECT_EQ(empty.serverPort, "143");
    EXPECT_EQ(empty.smtpPort, "25");
    EXPECT_EQ(empty.pollInterval, "120");
    EXPECT_FALSE(empty.pop3);
}

TEST(EmailSettings, MailboxIsSavedUnderItsAddressAndReadBack)
{
    MemoryIni mmsc;
    mmsc.Write("MMSC", "SMSMailbox", "old@example.com");
    mmsc.Write("Mailbox-old@example.com", "EMailAddress", "old@example.com");
    mmsc.Write("Mailbox-old@example.com", "IMAPServer", "imap.example.com");
    MailboxSettings mailbox = LoadMailbox(mmsc, MailboxKind::Sms);
    EXPECT_EQ(mailbox.serverHost, "imap.example.com");
    EXPECT_EQ(mailbox.serverPort, "143");

    mailbox.address = "new@example.com";
    mailbox.userName = "gw";
    mailbox.password = "p\"w";
    mailbox.pop3 = true;
    mailbox.useTls = true;
    mailbox.serverHost = "pop.example.com";
    mailbox.serverPort = "995";
    mailbox.smtpHost = "smtp.example.com";
    mailbox.smtpPort = "";
    mailbox.pollInterval = "";
    SaveMailbox(mmsc, MailboxKind::Sms, mailbox);
    EXPECT_EQ(mmsc.ReadSection("Mailbox-old@example.com").size(), 0u);
    EXPECT_STREQ(Stored(mmsc, "MMSC", "SMSMailbox"), "new@example.com");
    EXPECT_STREQ(Stored(mmsc, "Mailbox-new@example.com", "POP3Server"), "pop.example.com:995");
    EXPECT_EQ(Stored(mmsc, "Mailbox-new@example.com", "IMAPServer"), nullptr);
    EXPECT_STREQ(Stored(mmsc, "Mailbox-new@example.com", "UseSSL"), "Yes");
    EXPECT_STREQ(Stored(mmsc, "Mailbox-new@example.com", "SMTPServer"), "smtp.example.com");
    EXPECT_EQ(Stored(mmsc, "Mailbox-new@example.com", "PollInterval"), nullptr);
    EXPECT_EQ(ReadMailboxSetting(mmsc, MailboxKind::Sms, "Password", ""), "p\"w");
    EXPECT_EQ(ReadMailboxSetting(mmsc, MailboxKind::Mms, "Password", "none"), "none");

    // IMAP wins when both keys are there.
    mmsc.Write("Mailbox-new@example.com", "IMAPServer", "imap.example.com:1143");
    MailboxSettings both = LoadMailbox(mmsc, MailboxKind::Sms);
    EXPECT_FALSE(both.pop3);
    EXPECT_EQ(both.serverPort, "1143");
    EXPECT_EQ(both.smtpPort, "587");

    RemoveMailbox(mmsc, MailboxKind::Sms);
    EXPECT_EQ(mmsc.ReadSection("Mailbox-new@example.com").size(), 0u);
    EXPECT_EQ(Stored(mmsc, "MMSC", "SMSMailbox"), nullptr);
}

TEST(EmailSettings, RequiredFieldsInOrderAddressFirst)
{
    MailboxSettings mailbox;
    EXPECT_EQ(MissingMailboxField(mailbox), MailboxField::Address);
    mailbox.address = "a@b";
    EXPECT_EQ(MissingMailboxField(mailbox), MailboxField::UserName);
    mailbox.userName = "u";
    EXPECT_EQ(MissingMailboxField(mailbox), MailboxField::Password);
    mailbox.password = "p";
    EXPECT_EQ(MissingMailboxField(mailbox), MailboxField::ServerHost);
    mailbox.serverHost = "h";
    EXPECT_EQ(MissingMailboxField(mailbox), MailboxField::SmtpHost);
    mailbox.smtpHost = "s";
    EXPECT_EQ(MissingMailboxField(mailbox), MailboxField::None);
    EXPECT_EQ(ServerString("h", ""), "h");
    EXPECT_EQ(ServerString("h", "25"), "h:25");
}

TEST(EmailSettings, AuthorisedSendersToleratePatchyKeysAndAreRewrittenInOrder)
{
    MemoryIni mmsc;
    mmsc.Write("AuthEMailSMS", "User2", "b@example.com");
    mmsc.Write("AuthEMailSMS", "User40", "c@example.com,note");
    mmsc.Write("AuthEMailSMS", "User100", "too far");
    EXPECT_EQ(LoadAuthorisedSenders(mmsc), (std::vector<std::string>{"b@example.com", "c@example.com,note"}));
    SaveAuthorisedSenders(mmsc, {"a@example.com", "z@example.com"});
    EXPECT_EQ(LoadAuthorisedSenders(mmsc), (std::vector<std::string>{"a@example.com", "z@example.com"}));
    EXPECT_EQ(Stored(mmsc, "AuthEMailSMS", "User40"), nullptr);
    EXPECT_STREQ(Stored(mmsc, "AuthEMailSMS", "User100"), "too far");
    EXPECT_EQ(SenderKey("A@Example.com,text"), "A@Example.com");
}

} // namespace
