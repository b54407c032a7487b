#include "modem/test_message.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/text.h"

const char kStatusWaiting[] = "Status:  Waiting";
const char kStatusSent[] = "Status:  OK -- Message Sent";
const char kStatusError[] = "Status:  ERROR";
const char kStatusModemOffline[] = "Status:  Modem Off-Line";
const char kStatusConnection[] = "Status:  Connection Error";

namespace {

const char kCtrlZ = 0x1A;
const unsigned kIdCount = 0x10000;

// Where a log line names its request and its outcome (0-based field numbers).
struct LogLayout {
    int nameField;
    int outcomeField;
};

LogLayout LayoutOf(TestKind kind)
{
    return kind == TestKind::Sms ? LogLayout{1, 4} : LogLayout{6, 5};
}

// The field after the index-th comma, up to the next comma; false when the line has fewer.
bool Field(const char* line, int index, const char** begin, size_t* length)
{
    const char* p = line;
    for (int i = 0; i < index; ++i) {
        p = strchr(p, ',');
        if (!p)
            return false;
        ++p;
    }
    const char* end = strchr(p, ',');
    *begin = p;
    *length = end ? static_cast<size_t>(end - p) : strlen(p);
    return true;
}

std::string DateName(const char* prefix, unsigned year, unsigned month, unsigned day)
{
    char name[64];
    snprintf(name, sizeof name, "%s-%04u%02u%02u.LOG", prefix, year, month, day);
    return name;
}

// Where the line stops in buffer[0, count): its end and how many bytes it consumes.
void FindLineEnd(char* buffer, size_t start, size_t count, bool fullRead, size_t* end, size_t* consumed)
{
    for (size_t i = start; i < count; ++i) {
        if (buffer[i] == '\n') {
            *end = i;
            *consumed = i + 1;
            return;
        }
        if (buffer[i] != '\r')
            continue;
        if (i + 1 < count && buffer[i + 1] == '\r') {
            buffer[i] = ' ';
            continue;
        }
        *end = i;
        *consumed = i + 1 < count && buffer[i + 1] == '\n' ? i + 2 : i + 1;
        return;
    }
    *end = count;
    *consumed = count;
    if (!fullRead)
        return;
    for (size_t i = count; i > start; --i) {
        if (buffer[i - 1] == ' ') {
            *end = *consumed = i;
            return;
        }
    }
}

// A file read line by line, for the scans over a whole log.
template <typename Visit>
void ForEachLine(ByteSource& log, Visit visit)
{
    std::vector<char> line(kLineReadLimit);
    while (ReadLine(log, line.data(), line.size()))
        visit(line.data());
}

} // namespace

bool IsPhoneNumber(const char* text)
{
    if (*text == '+')
        ++text;
    if (*text == '\0')
        return false;
    for (; *text; ++text)
        if (*text < '0' || *text > '9')
            return false;
    return true;
}

std::string TestName(unsigned id)
{
    char name[16];
    snprintf(name, sizeof name, "TEST%04X", id & 0xFFFFu);
    return name;
}

std::string SmsRequestText(const std::string& number)
{
    return "[SMS]\r\nPhoneNumber=" + number + "\r\nData=QelSMS Test Message\r\n";
}

std::string MmsControlText(unsigned id, const std::string& number)
{
    return "[Routing]\r\nMessageID=" + TestName(id) + "\r\n[Recipients]\r\nRecip1=" + number +
           "/TYPE=VASP:qelsmslite\r\n";
}

std::string RetryStatus(const std::string& retryCount)
{
    return "Status:  Retry pending, " + retryCount + " attempts";
}

std::string LastErrorDetail(const std::string& lastErrorInfo)
{
    return "Last Error Info:  " + lastErrorInfo;
}

std::string SmsLogName(unsigned year, unsigned month, unsigned day)
{
    return DateName("SMSOUT", year, month, day);
}

std::string MmsLogName(unsigned year, unsigned month, unsigned day)
{
    return DateName("MMSC", year, month, day);
}

bool ReadLine(ByteSource& file, char* buffer, size_t size)
{
    size_t limit = std::min(size, kLineReadLimit) - 1;
    uint64_t start = file.Position();
    size_t count = limit ? file.Read(buffer, limit) : 0;
    if (count == 0) {
        buffer[0] = '\0';
        return false;
    }
    size_t first = 0;
    while (first < count && buffer[first] == kCtrlZ)
        ++first;
    size_t end = 0;
    size_t consumed = 0;
    FindLineEnd(buffer, first, count, count == limit, &end, &consumed);
    // A CR that ended the read may have its LF waiting as the next byte.
    bool crLast = end + 1 == count && consumed == count && buffer[end] == '\r';
    memmove(buffer, buffer + first, end - first);
    buffer[end - first] = '\0';
    file.SetPosition(start + consumed);
    char next = 0;
    if (crLast && (file.Read(&next, 1) != 1 || next != '\n'))
        file.SetPosition(start + consumed);
    return true;
}

void ScanOutcomeLine(TestKind kind, const char* line, unsigned id, TestOutcome& outcome)
{
    LogLayout layout = LayoutOf(kind);
    const char* name = nullptr;
    const char* result = nullptr;
    size_t nameLength = 0;
    size_t resultLength = 0;
    if (!Field(line, layout.nameField, &name, &nameLength) || !Field(line, layout.outcomeField, &result, &resultLength))
        return;
    std::string wanted = TestName(id);
    if (!StartsWithNoCase(name, nameLength, wanted.c_str()))
        return;
    outcome.found = true;
    if (StartsWithNoCase(result, resultLength, "OK")) {
        outcome.status = kStatusSent;
        outcome.detail.clear();
        return;
    }
    outcome.status = kStatusError;
    // The MMSC's name field follows the outcome: the detail runs on to its end.
    const char* detailEnd = kind == TestKind::Sms ? result + resultLength : name + nameLength;
    outcome.detail.assign(result, detailEnd);
}

TestOutcome ScanOutcomeLog(TestKind kind, ByteSource& log, unsigned id)
{
    TestOutcome outcome;
    ForEachLine(log, [&](const char* line) { ScanOutcomeLine(kind, line, id, outcome); });
    return outcome;
}

void CollectLoggedIds(TestKind kind, ByteSource& log, std::vector<bool>& seen)
{
    seen.resize(kIdCount);
    int nameField = LayoutOf(kind).nameField;
    ForEachLine(log, [&](const char* line) {
        const char* name = nullptr;
        size_t length = 0;
        if (!Field(line, nameField, &name, &length) || length < 8 || !StartsWithNoCase(name, length, "TEST"))
            return;
        unsigned id = 0;
        for (size_t i = 4; i < 8; ++i) {
            if (!IsHexDigit(name[i]))
                return;
            id = id * 16 + static_cast<unsigned>(HexDigitValue(name[i]));
        }
        seen[id] = true;
    });
}

unsigned ChooseTestId(uint32_t tick, const std::function<bool(unsigned)>& taken)
{
    unsigned start = tick & 0xFFFFu;
    for (unsigned step = 0; step < kIdCount; ++step) {
        unsigned id = (start + step) & 0xFFFFu;
        if (!taken(id))
            return id;
    }
    return start;
}
