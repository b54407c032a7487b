// The accounts the "Edit User" dialog edits: what it shows of a UserRecord, the records it
// builds back, the MM7/EAIF login it keeps beside it, the routing addresses and the rules
// for user names. Portable: no windows.h.
#pragma once

#include <cstdint>
#include <string>

#include "base/ini_store.h"
#include "gateway/gwcore/user_record.h"
#include "gateway/mmcore/vasp_user_record.h"

// The web menu entries, in the order of their option numbers.
constexpr int kWebMenuEntryCount = 2;
extern const char* const kWebMenuEntries[kWebMenuEntryCount]; // "All Options Enabled", "Text SMS Only"
constexpr int kNoWebMenuEntry = -1;

// What the dialog shows of an account.
struct UserDetails {
    std::string userName;
    std::string password;
    std::string fullName;
    bool webLogin = true;
    bool smppLogin = false;
    // The entry selected in the web menu list: 0 or 1, or kNoWebMenuEntry for a stored option
    // number the list has no entry for (2 to 4).
    int webMenuEntry = 0;
    bool administrator = false;
    bool acceptReceived = false;
    std::string ipRestriction;
};

// Longest texts the record's fields hold.
constexpr size_t kUserNameMax = 50;
constexpr size_t kPasswordMax = 50;
constexpr size_t kFullNameMax = 100;
constexpr size_t kIpRestrictionMax = 49;

UserDetails DetailsFromRecord(const UserRecord& record);

// The record the dialog stores: built from zero, so every byte it does not show is zero.
// storedWebMenu is the byte the account had: an account whose option number has no entry
// in the list keeps it while no entry is chosen, so that editing a restricted account
// never widens its rights.
UserRecord BuildUserRecord(const UserDetails& details, uint8_t storedWebMenu);

// Puts the account into its MM7/EAIF record: name, password, full name, the four flag bytes
// and the IP restriction; every other byte of record stays as it is.
void FillVaspRecord(const UserDetails& details, VASPUserRecord& record);

// Why a user name cannot be taken, or nullptr. The name becomes a folder under USERS and a
// key of [Inbound SMS Routing], so it must be a plain folder name and a plain INI key.
const char* UserNameProblem(const std::string& name);
extern const char kFieldRequired[];  // "Field is required!"
extern const char kUnsafeUserName[]; // the message for a name that cannot be a folder or key
extern const char kDeviceUserName[]; // the message for a device name (CON, COM1 ...)
// "User %s is already defined." with the name.
std::string UserAlreadyDefinedMessage(const std::string& name);

// A stored account whose name could reach outside its folder or corrupt SMSGW.INI: its
// folder and routing key are never touched.
inline bool IsPlainUserName(const std::string& name)
{
    return UserNameProblem(name) == nullptr;
}

// Two user names name one account: compared as the account file compares them, without
// regard to case in ASCII and in the Windows-1252 letters ("\xE9mile" and "\xC9mile").
bool SameUserName(const std::string& a, const std::string& b);

// The MM7/EAIF login of an account's name is the account's own when it carries the
// account's password: the dialog always stores the account's password in it. A login of
// that name with another password was made elsewhere and outlives the account.
bool LoginBelongsToAccount(const VASPUserRecord& login, const UserRecord& account);

// The account's folder under the data directory (which ends with a backslash).
std::string UserFolder(const std::string& dataDirectory, const std::string& userName);

// SMSGW.INI [Inbound SMS Routing]: the recipient addresses routed to an account.
extern const char kRoutingSection[]; // "Inbound SMS Routing"
constexpr size_t kRoutingAddressesMax = 32767;
std::string ReadRoutingAddresses(IniStore& smsgw, const std::string& userName);
// Writes the addresses under the name; an empty text deletes the key. False when refused.
bool WriteRoutingAddresses(IniStore& smsgw, const std::string& userName, const std::string& addresses);
bool DeleteRoutingAddresses(IniStore& smsgw, const std::string& userName);

// SMSGW.INI [SMSGW] "WebAuth": whether the web interface asks for a login. Only a missing
// key means yes; a key with an empty value reads false, as the gateway reads it.
bool LoadWebAuth(IniStore& smsgw);
bool SaveWebAuth(IniStore& smsgw, bool required);
