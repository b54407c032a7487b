#include "services/service_rules.h"

#include <gtest/gtest.h>

TEST(ServiceBinaryPath, ShortFormWhenGivenElseLongPathQuotedWhenItHoldsASpace)
{
    EXPECT_EQ("C:\\PROGRA~1\\QelSMS\\TXTSVCNT.EXE",
              ServiceBinaryPath("C:\\Program Files\\QelSMS\\TXTSVCNT.EXE", "C:\\PROGRA~1\\QelSMS\\TXTSVCNT.EXE"));
    EXPECT_EQ("C:\\QelSMS\\TXTSVCNT.EXE", ServiceBinaryPath("C:\\QelSMS\\TXTSVCNT.EXE", ""));
    // No short form (8.3 names switched off): unquoted, "C:\Program.exe" would run instead.
    EXPECT_EQ("\"C:\\Program Files\\QelSMS\\TXTSVCNT.EXE\"",
              ServiceBinaryPath("C:\\Program Files\\QelSMS\\TXTSVCNT.EXE", ""));
    // Some volumes hand back the long name as the "short" one.
    EXPECT_EQ("\"C:\\Program Files\\QelSMS\\TXTSVCNT.EXE\"",
              ServiceBinaryPath("C:\\Program Files\\QelSMS\\TXTSVCNT.EXE", "C:\\Program Files\\QelSMS\\TXTSVCNT.EXE"));
}

TEST(FirewallHelperCommandLine, QuotesItsArguments)
{
    EXPECT_EQ(
        "C:\\QelSMS\\FWRULES.EXE \"C:\\QelSMS\\TXTSVC.EXE\" \"Qel SMS Gateway Lite Edition\"",
        FirewallHelperCommandLine("C:\\QelSMS\\FWRULES.EXE", "C:\\QelSMS\\TXTSVC.EXE", "Qel SMS Gateway Lite Edition"));
    EXPECT_EQ("\"C:\\Program Files\\QelSMS\\FWRULES.EXE\" \"C:\\Program Files\\QelSMS\\MMSVC.EXE\" \"Qel MMS Gateway "
              "Lite Edition\"",
              FirewallHelperCommandLine("C:\\Program Files\\QelSMS\\FWRULES.EXE",
                                        "C:\\Program Files\\QelSMS\\MMSVC.EXE", "Qel MMS Gateway Lite Edition"));
}
