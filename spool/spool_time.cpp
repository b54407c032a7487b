#include "spool/spool_time.h"

#include <cstdio>

namespace {

uint16_t Digits(const char* text, int count)
{
    unsigned value = 0;
    for (int i = 0; i < count; ++i)
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    return static_cast<uint16_t>(value);
}

} // namespace

bool operator==(const SpoolTime& a, const SpoolTime& b)
{
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour && a.minute == b.minute &&
           a.second == b.second;
}

SpoolTime ParseSpoolTime(const char* value)
{
    SpoolTime time;
    int digits = 0;
    while (value && digits < 14 && value[digits] >= '0' && value[digits] <= '9')
        ++digits;
    if (digits < 14) {
        time.year = 2000;
        time.month = 1;
        time.day = 1;
        return time;
    }
    time.year = Digits(value, 4);
    time.month = Digits(value + 4, 2);
    time.day = Digits(value + 6, 2);
    time.hour = Digits(value + 8, 2);
    time.minute = Digits(value + 10, 2);
    time.second = Digits(value + 12, 2);
    return time;
}

void FormatCalendarTime(const SpoolTime& time, char* out, size_t capacity)
{
    if (!out || capacity == 0)
        return;
    snprintf(out, capacity, "%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month, time.day, time.hour, time.minute,
             time.second);
}
