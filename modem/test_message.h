// What the Send Test Message page knows without the platform: the phone-number rule, the
// request files' texts, the day logs' names, the line reader those logs are read with, the
// scans that find a test's outcome in them, and the choice of a test id. Portable: no
// windows.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Status texts of the page (two blanks after "Status:").
extern const char kStatusWaiting[];      // "Status:  Waiting"
extern const char kStatusSent[];         // "Status:  OK -- Message Sent"
extern const char kStatusError[];        // "Status:  ERROR"
extern const char kStatusModemOffline[]; // "Status:  Modem Off-Line"
extern const char kStatusConnection[];   // "Status:  Connection Error"

// An optional leading '+', then at least one character, every one a decimal digit.
bool IsPhoneNumber(const char* text);

// "TEST%04X": the request's file name without extension, and the name the gateway logs.
std::string TestName(unsigned id);

// The SMS request (TEST%04X.REQ) for a number.
std::string SmsRequestText(const std::string& number);
// The MMS control file (TEST%04X.INI) for a number; the message itself is a copy of the
// program's template.
std::string MmsControlText(unsigned id, const std::string& number);

// "Status:  Retry pending, <count> attempts" and "Last Error Info:  <info>".
std::string RetryStatus(const std::string& retryCount);
std::string LastErrorDetail(const std::string& lastErrorInfo);

// The day logs in the program data directory: "SMSOUT-yyyymmdd.LOG", "MMSC-yyyymmdd.LOG".
std::string SmsLogName(unsigned year, unsigned month, unsigned day);
std::string MmsLogName(unsigned year, unsigned month, unsigned day);

// A file read from its current position, which the line reader moves.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to size bytes at the position and moves past them; the count (0 at the end).
    virtual size_t Read(char* buffer, size_t size) = 0;
    virtual uint64_t Position() = 0;
    virtual void SetPosition(uint64_t position) = 0;
};

// The largest read of one line, terminator included.
const size_t kLineReadLimit = 4096;

// Reads the next line into buffer (size bytes, at least 1) and terminates it. One read takes
// at most min(size, kLineReadLimit) - 1 bytes; the line ends at the first CR or LF (CR LF is
// one break; a CR followed by another CR becomes a blank and the line goes on); a line that
// fills the whole read is cut after its last blank, or kept whole when it has none; leading
// Ctrl-Z characters are dropped. The position is left just behind what the line consumed.
// False, with an empty buffer, at the end of the file.
bool ReadLine(ByteSource& file, char* buffer, size_t size);

// The two day logs, told apart by where a line names its request and its outcome:
//   SMSOUT: time,request,phone,user,outcome,...    (name field 2, outcome field 5)
//   MMSC:   time,direction,from,to,route,outcome,message id   (outcome 6, name field 7)
enum class TestKind { Sms, Mms };

// What a day log says of a test: the status line and the detail, both empty when no line
// names the test.
struct TestOutcome {
    bool found = false;
    std::string status;
    std::string detail;
};

// Takes one log line into the outcome when its name field begins with TestName(id), in any
// case; a later line replaces what an earlier one said. An outcome beginning with "OK" (any
// case) is sent with no detail; anything else is an error whose detail is the outcome field
// (MMSC: the outcome, a comma and the message id).
void ScanOutcomeLine(TestKind kind, const char* line, unsigned id, TestOutcome& outcome);

// Reads a whole day log with ReadLine and scans every line.
TestOutcome ScanOutcomeLog(TestKind kind, ByteSource& log, unsigned id);

// Marks in seen (65536 entries) every id that a line of the log names in its name field:
// "TEST" followed by four hexadecimal digits, in any case.
void CollectLoggedIds(TestKind kind, ByteSource& log, std::vector<bool>& seen);

// A new test id: the first one, from the low 16 bits of tick and stepping on, that is not
// taken; tick's own when all are.
unsigned ChooseTestId(uint32_t tick, const std::function<bool(unsigned)>& taken);
