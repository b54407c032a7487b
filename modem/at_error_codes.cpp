#include "modem/at_error_codes.h"

#include <cstring>

namespace {

struct ErrorText {
    long code;
    const char* meaning;
};

// Message service failures (GSM 07.05 / 3GPP TS 27.005, "+CMS ERROR"); 0-255 are the
// network's own cause values and are given as the range they come from.
const ErrorText kCmsErrors[] = {
    {300, "ME failure"},
    {301, "SMS service of ME reserved"},
    {302, "operation not allowed"},
    {303, "operation not supported"},
    {304, "invalid PDU mode parameter"},
    {305, "invalid text mode parameter"},
    {310, "SIM not inserted"},
    {311, "SIM PIN required"},
    {312, "PH-SIM PIN required"},
    {313, "SIM failure"},
    {314, "SIM busy"},
    {315, "SIM wrong"},
    {316, "SIM PUK required"},
    {317, "SIM PIN2 required"},
    {318, "SIM PUK2 required"},
    {320, "memory failure"},
    {321, "invalid memory index"},
    {322, "memory full"},
    {330, "SMSC address unknown"},
    {331, "no network service"},
    {332, "network timeout"},
    {340, "no +CNMA acknowledgement expected"},
    {500, "unknown error"},
};

// Mobile equipment errors (GSM 07.07 / 3GPP TS 27.007, "+CME ERROR"): the general ones
// and those of GPRS.
const ErrorText kCmeErrors[] = {
    {0, "phone failure"},
    {1, "no connection to phone"},
    {2, "phone-adaptor link reserved"},
    {3, "operation not allowed"},
    {4, "operation not supported"},
    {5, "PH-SIM PIN required"},
    {6, "PH-FSIM PIN required"},
    {7, "PH-FSIM PUK required"},
    {10, "SIM not inserted"},
    {11, "SIM PIN required"},
    {12, "SIM PUK required"},
    {13, "SIM failure"},
    {14, "SIM busy"},
    {15, "SIM wrong"},
    {16, "incorrect password"},
    {17, "SIM PIN2 required"},
    {18, "SIM PUK2 required"},
    {20, "memory full"},
    {21, "invalid index"},
    {22, "not found"},
    {23, "memory failure"},
    {24, "text string too long"},
    {25, "invalid characters in text string"},
    {26, "dial string too long"},
    {27, "invalid characters in dial string"},
    {30, "no network service"},
    {31, "network timeout"},
    {32, "network not allowed - emergency calls only"},
    {40, "network personalization PIN required"},
    {41, "network personalization PUK required"},
    {42, "network subset personalization PIN required"},
    {43, "network subset personalization PUK required"},
    {44, "service provider personalization PIN required"},
    {45, "service provider personalization PUK required"},
    {46, "corporate personalization PIN required"},
    {47, "corporate personalization PUK required"},
    {100, "unknown"},
    {103, "Illegal MS"},
    {106, "Illegal ME"},
    {107, "GPRS services not allowed"},
    {111, "PLMN not allowed"},
    {112, "Location area not allowed"},
    {113, "Roaming not allowed in this location area"},
    {132, "service option not supported"},
    {133, "requested service option not subscribed"},
    {134, "service option temporarily out of order"},
    {148, "unspecified GPRS error"},
    {149, "PDP authentication failure"},
    {150, "invalid mobile class"},
};

template <size_t N>
std::string Lookup(const ErrorText (&table)[N], long code)
{
    for (const ErrorText& entry : table) {
        if (entry.code == code)
            return entry.meaning;
    }
    return std::string();
}

struct ErrorPrefix {
    const char* text;
    std::string (*meaning)(long);
};

const ErrorPrefix kPrefixes[] = {{"+CMS ERROR:", CmsErrorMeaning}, {"+CME ERROR:", CmeErrorMeaning}};

// Codes have at most this many digits; a longer number is no code.
const size_t kMaxCodeDigits = 6;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsLetterOrDigit(char c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// At answer[at], a prefix's numeric form: the meaning of its code and where its digits end.
// Empty when there is no numeric code there or it has no meaning.
std::string MeaningAt(const std::string& answer, size_t at, const ErrorPrefix& prefix, size_t& digitsEnd)
{
    size_t p = at + strlen(prefix.text);
    while (p < answer.size() && answer[p] == ' ')
        ++p;
    size_t digits = p;
    while (p < answer.size() && IsDigit(answer[p]))
        ++p;
    if (p == digits || p - digits > kMaxCodeDigits || (p < answer.size() && IsLetterOrDigit(answer[p])))
        return std::string();
    digitsEnd = p;
    return prefix.meaning(std::stol(answer.substr(digits, p - digits)));
}

} // namespace

std::string CmsErrorMeaning(long code)
{
    if (code >= 0 && code <= 127)
        return "GSM 04.11 RP cause value";
    if (code >= 128 && code <= 255)
        return "GSM 03.40 TP-Failure-Cause value";
    if (code >= 512)
        return "manufacturer's own code";
    return Lookup(kCmsErrors, code);
}

std::string CmeErrorMeaning(long code)
{
    return Lookup(kCmeErrors, code);
}

std::string ExplainAtErrors(const std::string& answer)
{
    std::string explained;
    size_t copied = 0;
    for (size_t at = 0; at < answer.size(); ++at) {
        for (const ErrorPrefix& prefix : kPrefixes) {
            if (answer.compare(at, strlen(prefix.text), prefix.text) != 0)
                continue;
            size_t digitsEnd = 0;
            std::string meaning = MeaningAt(answer, at, prefix, digitsEnd);
            if (meaning.empty())
                continue;
            explained.append(answer, copied, digitsEnd - copied);
            explained += " (" + meaning + ")";
            copied = digitsEnd;
            at = digitsEnd - 1;
            break;
        }
    }
    explained.append(answer, copied, std::string::npos);
    return explained;
}
