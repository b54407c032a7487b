#include "spool/spool_record.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "gateway/gwcore/gsm7.h"
#include "base/ini_rules.h"
#include "base/text.h"
#include "spool/text_decoding.h"

static_assert(kDisplayTextSize >= Gsm7Utf8Bound(sizeof(SpoolRecord::text) - 1),
              "a decoded message text must fit the display buffer");

namespace {

// The longest key ("NonDelReceiptRequested=") and the longest kept value ("Data=", 8191)
// fit in this much of a line; the rest of a longer line cannot change the record.
const size_t kLineKept = 32 + 8191;

// The text of a line after its key ("Key="), which the line is known to start with.
std::string ValueAfter(const char* line, size_t length, const char* key)
{
    size_t keyLength = strlen(key);
    return std::string(line + keyLength, length - keyLength);
}

template <size_t N>
void CopyValue(char (&field)[N], const std::string& value)
{
    size_t kept = std::min(value.size(), N - 1);
    memcpy(field, value.data(), kept);
    field[kept] = '\0';
}

} // namespace

void ClearSpoolRecord(SpoolRecord& record)
{
    record = SpoolRecord{};
}

int32_t ParseRetryCount(const char* value)
{
    if (!value)
        return 0;
    while (*value == ' ' || *value == '\t' || *value == '\v' || *value == '\f')
        ++value;
    bool negative = false;
    if (*value == '+' || *value == '-')
        negative = *value++ == '-';
    // The magnitude saturates just past INT32_MAX, so that "-2147483648" still reads whole.
    const int64_t saturated = static_cast<int64_t>(INT32_MAX) + 1;
    int64_t magnitude = 0;
    for (; *value >= '0' && *value <= '9'; ++value)
        magnitude = std::min(magnitude * 10 + (*value - '0'), saturated);
    int64_t result = negative ? -magnitude : magnitude;
    return static_cast<int32_t>(std::min<int64_t>(result, INT32_MAX));
}

SpoolRecordParser::SpoolRecordParser(SpoolRecord& record) : record_(record)
{
    ClearSpoolRecord(record_);
    line_.reserve(256);
}

void SpoolRecordParser::Feed(const char* bytes, size_t length)
{
    for (size_t i = 0; i < length && !ended_; ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == 0) {
            ended_ = true;
            EndLine();
        } else if (!inLine_) {
            if (c > 32) {
                inLine_ = true;
                line_.assign(1, static_cast<char>(c));
            }
        } else if (c == '\r' || c == '\n') {
            EndLine();
        } else if (line_.size() < kLineKept) {
            line_.push_back(static_cast<char>(c));
        }
    }
}

bool SpoolRecordParser::Done() const
{
    return ended_ || (messageSeen_ && errorDetailSeen_ && section_ == Section::Other);
}

void SpoolRecordParser::Finish()
{
    EndLine();
    ended_ = true;
}

void SpoolRecordParser::EndLine()
{
    if (!inLine_)
        return;
    inLine_ = false;
    const char* line = line_.data();
    size_t length = line_.size();
    if (line[0] == '[') {
        if (!messageSeen_ && (StartsWithNoCase(line, length, "[SMS]") || StartsWithNoCase(line, length, "[SMS-IN]"))) {
            messageSeen_ = true;
            section_ = Section::Message;
        } else if (!errorDetailSeen_ && StartsWithNoCase(line, length, "[ErrorDetail]")) {
            errorDetailSeen_ = true;
            section_ = Section::ErrorDetail;
        } else {
            section_ = Section::Other;
        }
    } else if (section_ == Section::Message) {
        MessageLine(line, length);
    } else if (section_ == Section::ErrorDetail) {
        ErrorDetailLine(line, length);
    }
    line_.clear();
}

void SpoolRecordParser::MessageLine(const char* line, size_t length)
{
    struct TextKey {
        const char* key;
        char* field;
        size_t size;
    };
    SpoolRecord& r = record_;
    const TextKey textKeys[] = {
        {"PhoneNumber=", r.recipient, sizeof r.recipient},
        {"Sender=", r.sender, sizeof r.sender},
        {"Data=", r.text, sizeof r.text},
        {"udh=", r.udh, sizeof r.udh},
        {"SubmittedBy=", r.submittedBy, sizeof r.submittedBy},
        {"SubmitUser=", r.submitUser, sizeof r.submitUser},
        {"ServiceType=", r.serviceType, sizeof r.serviceType},
        {"BillingInfo=", r.billingInfo, sizeof r.billingInfo},
        {"Validity=", r.validity, sizeof r.validity},
        {"SMSCRoute=", r.route, sizeof r.route},
        {"SMPPOptions=", r.smppOptions, sizeof r.smppOptions},
        {"RouteToLocalUser=", r.localUserRoute, sizeof r.localUserRoute},
    };
    for (const TextKey& k : textKeys) {
        if (StartsWithNoCase(line, length, k.key)) {
            size_t keyLength = strlen(k.key);
            size_t kept = std::min(length - keyLength, k.size - 1);
            memcpy(k.field, line + keyLength, kept);
            k.field[kept] = '\0';
            if (k.field == r.text)
                UnescapeLineBreaks(r.text);
            return;
        }
    }

    struct NumberKey {
        const char* key;
        uint8_t* field;
    };
    const NumberKey numberKeys[] = {{"pid=", &r.pid}, {"dcs=", &r.dcs}};
    for (const NumberKey& k : numberKeys) {
        if (StartsWithNoCase(line, length, k.key)) {
            *k.field = static_cast<uint8_t>(ParseHexNumber(ValueAfter(line, length, k.key).c_str()) & 0xFF);
            return;
        }
    }
    if (StartsWithNoCase(line, length, "binary=")) {
        r.binary = IniBool(ValueAfter(line, length, "binary=").c_str());
        return;
    }

    struct FlagKey {
        const char* key;
        uint32_t bits;
    };
    const FlagKey flagKeys[] = {
        {"ReplyRequested=", kReceiptReplyRequested},
        {"ReceiptRequested=", kReceiptRequested},
        {"ReceiptFailed=", kReceiptAny | kReceiptFailed},
        {"ReceiptDelivered=", kReceiptAny | kReceiptDelivered},
        {"ReceiptIntransit=", kReceiptAny | kReceiptIntransit},
        {"NonDelReceiptRequested=", kReceiptNonDeliveryRequested},
    };
    for (const FlagKey& k : flagKeys) {
        if (StartsWithNoCase(line, length, k.key)) {
            if (IniBool(ValueAfter(line, length, k.key).c_str()))
                r.receiptFlags |= k.bits;
            return;
        }
    }

    if (StartsWithNoCase(line, length, "ReceiptMessageId="))
        CopyValue(r.receiptMessageId, ValueAfter(line, length, "ReceiptMessageId="));
    else if (StartsWithNoCase(line, length, "ModemName="))
        CopyValue(r.modemName, ValueAfter(line, length, "ModemName="));
}

void SpoolRecordParser::ErrorDetailLine(const char* line, size_t length)
{
    SpoolRecord& r = record_;
    if (StartsWithNoCase(line, length, "RetryCount="))
        r.retryCount = ParseRetryCount(ValueAfter(line, length, "RetryCount=").c_str());
    else if (StartsWithNoCase(line, length, "LastRetryTime="))
        r.lastRetryTime = ParseSpoolTime(ValueAfter(line, length, "LastRetryTime=").c_str());
    else if (StartsWithNoCase(line, length, "FirstAttemptTime="))
        r.firstAttemptTime = ParseSpoolTime(ValueAfter(line, length, "FirstAttemptTime=").c_str());
    else if (StartsWithNoCase(line, length, "LastErrorInfo="))
        CopyValue(r.lastError, ValueAfter(line, length, "LastErrorInfo="));
}

void ParseSpoolRecord(const char* bytes, size_t length, SpoolRecord& record)
{
    SpoolRecordParser parser(record);
    parser.Feed(bytes, length);
    parser.Finish();
}
