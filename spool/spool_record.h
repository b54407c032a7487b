// SMS spool files (outbound requests and received messages): the record the viewers read
// from them and the parser over the file's bytes. Portable: no windows.h.
//
// A file is lines ended by CR, LF or both; a line starts after every character of code 32
// or below, so blank lines and indentation vanish. The first "[SMS]" or "[SMS-IN]" section
// holds the message, the first "[ErrorDetail]" section (before or after it) the gateway's
// retry state; a section ends at the next line that begins with "[". Keys are matched
// without regard to case together with their "="; the value is the rest of the line. The
// file is a text: its first NUL byte ends it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "spool/spool_time.h"

// Receipt flag bits.
enum : uint32_t {
    kReceiptReplyRequested = 1,
    kReceiptRequested = 2,
    kReceiptAny = 4,
    kReceiptDelivered = 8,
    kReceiptIntransit = 16,
    kReceiptFailed = 32,
    kReceiptNonDeliveryRequested = 64,
};

// One parsed spool file. Texts are terminated and cut to their buffers; absent values are
// empty or zero. A key given twice keeps its last value; receipt flag bits accumulate.
struct SpoolRecord {
    char recipient[150];
    char sender[150];
    char text[8192]; // the message text, unescaped; hexadecimal digits when binary
    char udh[500];   // user data header, hexadecimal
    char submittedBy[500];
    char submitUser[250];
    char serviceType[100];
    char billingInfo[50];
    char validity[50];
    char route[100];
    char smppOptions[500];
    char localUserRoute[100];
    char receiptMessageId[150];
    char modemName[150];
    uint8_t pid;
    uint8_t dcs;
    bool binary;
    uint32_t receiptFlags;
    // [ErrorDetail]
    int32_t retryCount;
    SpoolTime lastRetryTime;
    SpoolTime firstAttemptTime;
    char lastError[200];
};

// Room for a record's text once decoded for display (DecodeMessageText may make it longer).
const size_t kDisplayTextSize = 9362;

void ClearSpoolRecord(SpoolRecord& record);

// The parser fed with the file's bytes in pieces of any size. Memory stays bounded whatever
// the input: of a line only as much is kept as the longest key and value can use.
class SpoolRecordParser {
public:
    // Clears the record, which is filled as lines complete.
    explicit SpoolRecordParser(SpoolRecord& record);
    void Feed(const char* bytes, size_t length);
    // Completes the last line; call once after the last Feed.
    void Finish();
    // True once no further byte can change the record: the text ended at a NUL byte, or
    // both sections were read and a later section has begun. Feeding more is then useless.
    bool Done() const;

private:
    enum class Section { None, Message, ErrorDetail, Other };

    void EndLine();
    void MessageLine(const char* line, size_t length);
    void ErrorDetailLine(const char* line, size_t length);

    SpoolRecord& record_;
    std::string line_;
    bool inLine_ = false;
    bool ended_ = false;
    bool messageSeen_ = false;
    bool errorDetailSeen_ = false;
    Section section_ = Section::None;
};

// A spool file is a few kilobytes; what lies beyond this much of one is never read.
const size_t kSpoolRecordReadLimit = 1024 * 1024;

// Parses a whole file held in memory.
void ParseSpoolRecord(const char* bytes, size_t length, SpoolRecord& record);

// The retry count form: leading blanks, an optional sign, decimal digits; 0 without digits.
// Saturates at the limits of 32 bits.
int32_t ParseRetryCount(const char* value);
