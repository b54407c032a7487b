// Times in the spool files and the fixed display form of file times. Portable: no windows.h.
#pragma once

#include <cstddef>
#include <cstdint>

// A calendar date and time as the spool files give it; not range-checked.
struct SpoolTime {
    uint16_t year = 0;
    uint16_t month = 0;
    uint16_t day = 0;
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
};

bool operator==(const SpoolTime& a, const SpoolTime& b);

// "YYYYMMDDhhmmss" at the start of value; anything else gives 2000-01-01 00:00:00.
SpoolTime ParseSpoolTime(const char* value);

// Room for the display form, terminator included.
const size_t kDisplayTimeSize = 20;

// "%04d-%02d-%02d %02d:%02d:%02d": fixed width and zero-padded, so that comparing two of
// them as text orders them by time. Cut to capacity - 1 characters.
void FormatCalendarTime(const SpoolTime& time, char* out, size_t capacity);
