#include "modem/at_error_codes.h"

#include <gtest/gtest.h>

namespace {

struct ExplainCase {
    const char* answer;
    const char* explained;
};

TEST(AtErrorCodes, NumericErrorsAreExplainedInPlace)
{
    const ExplainCase cases[] = {
        {"\r\n+CMS ERROR: 330\r\n", "\r\n+CMS ERROR: 330 (SMSC address unknown)\r\n"},
        {"+CMS ERROR:500", "+CMS ERROR:500 (unknown error)"},
        {"+CMS ERROR: 42\r\n", "+CMS ERROR: 42 (GSM 04.11 RP cause value)\r\n"},
        {"+CMS ERROR: 200", "+CMS ERROR: 200 (GSM 03.40 TP-Failure-Cause value)"},
        {"+CMS ERROR: 340", "+CMS ERROR: 340 (no +CNMA acknowledgement expected)"},
        {"+CMS ERROR: 515", "+CMS ERROR: 515 (manufacturer's own code)"},
        {"+CMS ERROR: 306", "+CMS ERROR: 306"}, // reserved
        {"+CME ERROR: 0", "+CME ERROR: 0 (phone failure)"},
        {"+CME ERROR: 11\r\nOK\r\n+CME ERROR: 30",
         "+CME ERROR: 11 (SIM PIN required)\r\nOK\r\n+CME ERROR: 30 (no network service)"},
        {"+CME ERROR: 100", "+CME ERROR: 100 (unknown)"},
        {"+CME ERROR: 16 ", "+CME ERROR: 16 (incorrect password) "},
        {"+CME ERROR: SIM busy", "+CME ERROR: SIM busy"}, // verbose form
        {"+CME ERROR: 10x", "+CME ERROR: 10x"},
        {"+CME ERROR: 99999999999999999999", "+CME ERROR: 99999999999999999999"},
        {"+CME ERROR: ", "+CME ERROR: "},
        {"+cme error: 3", "+cme error: 3"},
        {"AT+CMGS=12\r\n> ", "AT+CMGS=12\r\n> "},
    };
    for (const ExplainCase& c : cases)
        EXPECT_EQ(c.explained, ExplainAtErrors(c.answer)) << c.answer;
}

} // namespace
