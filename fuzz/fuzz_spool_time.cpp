// Times in the spool files are text anyone who can write the queue directories may change,
// and the display form must stay within the room the viewers give it. The input up to its
// first NUL is one spool time, the text after that NUL another; the last twelve bytes are
// also read as a raw date and time, fields unchecked.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "spool/spool_time.h"

namespace {

const size_t kDisplayLength = 19; // "YYYY-MM-DD hh:mm:ss"

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool FitsWidths(const SpoolTime& t)
{
    return t.year <= 9999 && t.month <= 99 && t.day <= 99 && t.hour <= 99 && t.minute <= 99 && t.second <= 99;
}

int Order(const SpoolTime& a, const SpoolTime& b)
{
    const uint16_t left[] = {a.year, a.month, a.day, a.hour, a.minute, a.second};
    const uint16_t right[] = {b.year, b.month, b.day, b.hour, b.minute, b.second};
    for (int i = 0; i < 6; ++i) {
        if (left[i] != right[i])
            return left[i] < right[i] ? -1 : 1;
    }
    return 0;
}

int Sign(int value)
{
    return (value > 0) - (value < 0);
}

std::string Display(const SpoolTime& t)
{
    char text[64];
    FormatCalendarTime(t, text, sizeof text);
    return text;
}

// Every smaller room gives a terminated prefix of the display form and nothing past it.
void CheckCut(const SpoolTime& t)
{
    std::string full = Display(t);
    for (size_t capacity = 0; capacity <= kDisplayTimeSize; ++capacity) {
        char out[kDisplayTimeSize + 8];
        memset(out, '#', sizeof out);
        FormatCalendarTime(t, out, capacity);
        for (size_t i = capacity; i < sizeof out; ++i)
            Check(out[i] == '#');
        if (capacity == 0)
            continue;
        size_t length = strnlen(out, capacity);
        Check(length < capacity && length == (full.size() < capacity - 1 ? full.size() : capacity - 1));
        Check(full.compare(0, length, out, length) == 0);
    }
}

// Within the field widths the display form is fixed, and its digits read back as the time.
void CheckDisplay(const SpoolTime& t)
{
    if (!FitsWidths(t))
        return;
    std::string text = Display(t);
    Check(text.size() == kDisplayLength && kDisplayLength < kDisplayTimeSize);
    std::string digits;
    for (size_t i = 0; i < text.size(); ++i) {
        char separator = i == 4 || i == 7 ? '-' : i == 10 ? ' ' : i == 13 || i == 16 ? ':' : 0;
        if (separator)
            Check(text[i] == separator);
        else
            digits += text[i];
    }
    Check(digits.size() == 14 && ParseSpoolTime(digits.c_str()) == t);
}

SpoolTime CheckParse(const char* text)
{
    SpoolTime t = ParseSpoolTime(text);
    size_t digits = strspn(text, "0123456789");
    if (digits < 14) {
        SpoolTime fallback;
        fallback.year = 2000;
        fallback.month = 1;
        fallback.day = 1;
        Check(t == fallback);
    } else {
        Check(FitsWidths(t));
        std::string expected = std::string(text, 4) + "-" + std::string(text + 4, 2) + "-" + std::string(text + 6, 2) +
                               " " + std::string(text + 8, 2) + ":" + std::string(text + 10, 2) + ":" +
                               std::string(text + 12, 2);
        Check(Display(t) == expected);
    }
    return t;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    const char* first = input.c_str();
    size_t end = strlen(first);
    const char* second = end < size ? first + end + 1 : "";

    SpoolTime a = CheckParse(first);
    SpoolTime b = CheckParse(second);
    CheckDisplay(a);
    CheckCut(a);
    // Comparing display forms as text orders them by time.
    Check(Sign(Display(a).compare(Display(b))) == Order(a, b));

    if (size >= 12) {
        SpoolTime raw;
        uint16_t* fields[] = {&raw.year, &raw.month, &raw.day, &raw.hour, &raw.minute, &raw.second};
        const uint8_t* tail = data + size - 12;
        for (int i = 0; i < 6; ++i)
            *fields[i] = static_cast<uint16_t>(tail[2 * i] << 8 | tail[2 * i + 1]);
        CheckDisplay(raw);
        CheckCut(raw);
    }
    return 0;
}
