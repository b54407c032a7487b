// The fixed 511-byte record of one VASP account (an MM7 or EAIF login of the MMSC),
// exchanged with MMCORE.DLL. The layout is binding: the program reads and writes these
// fields directly and leaves every other byte as the library gave it, so the library keeps
// all 511 bytes as they were given. No windows.h here: portable code handles it too.
#pragma once

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)
struct VASPUserRecord {
    char userName[51]; // the account's key, compared without regard to case; at most 50 characters
    char password[51];
    char fullName[101];
    uint8_t flag203;
    uint8_t flag204;
    uint8_t flag205;
    uint8_t flag206;
    uint8_t reserved1[60];
    char ipRestriction[50]; // at most 49 characters; empty = no restriction
    uint8_t reserved2[194];
};
#pragma pack(pop)

static_assert(sizeof(VASPUserRecord) == 511, "VASPUserRecord must be 511 bytes");
static_assert(offsetof(VASPUserRecord, password) == 51, "layout");
static_assert(offsetof(VASPUserRecord, fullName) == 102, "layout");
static_assert(offsetof(VASPUserRecord, flag203) == 203, "layout");
static_assert(offsetof(VASPUserRecord, flag206) == 206, "layout");
static_assert(offsetof(VASPUserRecord, ipRestriction) == 267, "layout");
static_assert(offsetof(VASPUserRecord, reserved2) == 317, "layout");
