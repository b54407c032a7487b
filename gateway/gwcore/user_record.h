// The fixed 522-byte account record exchanged with GWCORE.DLL. The layout is binding: the
// pages read and write its fields directly. No windows.h here: the record is also handled
// by portable code.
#pragma once

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)
struct UserRecord {
    char userName[51]; // the account's key, compared without regard to case
    char password[51];
    char fullName[101];
    uint8_t webLoginDisabled; // 0 = may log in to the web interface, 1 = may not
    uint8_t smppLoginEnabled; // 1 = yes
    uint8_t reserved1[20];
    char ipRestriction[50]; // empty = no restriction
    uint8_t reserved2[144];
    uint8_t webMenuOptions; // 0xB0 + option number
    uint8_t administrator;  // 0x6A ('j') = may edit user accounts
    uint8_t acceptReceived; // 1 = accept received messages for this user
    uint8_t reserved3[100];
};
#pragma pack(pop)

static_assert(sizeof(UserRecord) == 522, "UserRecord must be 522 bytes");
static_assert(offsetof(UserRecord, webLoginDisabled) == 203, "layout");
static_assert(offsetof(UserRecord, ipRestriction) == 225, "layout");
static_assert(offsetof(UserRecord, webMenuOptions) == 419, "layout");
static_assert(offsetof(UserRecord, reserved3) == 422, "layout");

constexpr uint8_t kWebMenuAllOptions = 0xB0;
constexpr uint8_t kAdministratorYes = 0x6A;
