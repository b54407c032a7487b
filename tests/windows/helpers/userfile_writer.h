// The record that userfile_writer.exe rewrites over and over, shared with the test that
// kills it: every field is derived from one counter, so a record put together from two
// different writes is recognised.
#pragma once

#include "gateway/gwcore/user_record.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

constexpr char kWriterUserName[] = "writer";

inline UserRecord WriterRecord(unsigned n)
{
    UserRecord r;
    memset(&r, 0, sizeof r);
    strcpy(r.userName, kWriterUserName);
    snprintf(r.password, sizeof r.password, "%u", n);
    memset(r.fullName, 'A' + static_cast<int>(n % 26), sizeof r.fullName - 1);
    snprintf(r.ipRestriction, sizeof r.ipRestriction, "10.0.%u.%u", (n >> 8) & 0xFF, n & 0xFF);
    memset(r.reserved2, static_cast<int>(n & 0xFF), sizeof r.reserved2);
    memset(r.reserved3, static_cast<int>((n >> 8) & 0xFF), sizeof r.reserved3);
    r.webMenuOptions = static_cast<uint8_t>(0xB0 + n % 8);
    return r;
}

// The counter a record was written with, or -1 when its fields disagree.
inline long WriterCounter(const UserRecord& r)
{
    char* end = nullptr;
    unsigned long n = strtoul(r.password, &end, 10);
    if (!r.password[0] || *end)
        return -1;
    UserRecord expected = WriterRecord(static_cast<unsigned>(n));
    return memcmp(&expected, &r, sizeof r) == 0 ? static_cast<long>(n) : -1;
}
