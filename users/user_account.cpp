// Building account records and checking user names.
#include "users/user_account.h"

#include <algorithm>
#include <cstring>

#include "base/ini_rules.h"
#include "base/names.h"
#include "base/text.h"
#include "gateway/gwcore/user_store.h"

const char* const kWebMenuEntries[kWebMenuEntryCount] = {"All Options Enabled", "Text SMS Only"};

const char kFieldRequired[] = "Field is required!";
const char kUnsafeUserName[] =
    "Invalid user name!\r\nA user name cannot be \".\" or \"..\", cannot begin or end with a blank, "
    "begin with \";\" or end with \".\", and cannot contain any of these characters: \\ / : * ? \" < > | = [ ]";
const char kDeviceUserName[] = "Invalid user name!\r\nA user name cannot be a device name (CON, PRN, AUX, NUL, "
                               "COM1-COM9, LPT1-LPT9, CONIN$, CONOUT$, CLOCK$), with or without an extension.";
const char kRoutingSection[] = "Inbound SMS Routing";

namespace {

constexpr uint8_t kWebMenuBase = 0xB0;
constexpr uint8_t kWebMenuHighest = 0xB4;

// Copies at most max characters of text into a zeroed field of max + 1 or more bytes.
template <size_t N>
void PutText(char (&field)[N], const std::string& text, size_t max)
{
    static_assert(N > 0, "field");
    size_t length = std::min(text.size(), std::min(max, N - 1));
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), length);
}

template <size_t N>
std::string GetText(const char (&field)[N])
{
    return std::string(field, strnlen(field, N));
}

// A key as the profile functions match it: without the blanks around it.
std::string KeyName(const std::string& key)
{
    size_t first = key.find_first_not_of(" \t");
    size_t last = key.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : key.substr(first, last - first + 1);
}

// What an INI key or section name cannot hold, beyond the name rule of folders.
bool IsForbiddenIniCharacter(unsigned char c)
{
    return std::strchr("=[]", c) != nullptr;
}

} // namespace

UserDetails DetailsFromRecord(const UserRecord& record)
{
    UserDetails details;
    details.userName = GetText(record.userName);
    details.password = GetText(record.password);
    details.fullName = GetText(record.fullName);
    details.webLogin = record.webLoginDisabled == 0;
    details.smppLogin = record.smppLoginEnabled != 0;
    details.acceptReceived = record.acceptReceived != 0;
    details.ipRestriction = GetText(record.ipRestriction);
    uint8_t menu = record.webMenuOptions;
    if (menu > kWebMenuBase && menu <= kWebMenuHighest) {
        int option = menu - kWebMenuBase;
        details.webMenuEntry = option < kWebMenuEntryCount ? option : kNoWebMenuEntry;
    } else {
        details.webMenuEntry = 0;
    }
    details.administrator = details.webLogin && record.administrator == kAdministratorYes;
    return details;
}

UserRecord BuildUserRecord(const UserDetails& details, uint8_t storedWebMenu)
{
    UserRecord record = {};
    PutText(record.userName, details.userName, kUserNameMax);
    PutText(record.password, details.password, kPasswordMax);
    PutText(record.fullName, details.fullName, kFullNameMax);
    record.webLoginDisabled = details.webLogin ? 0 : 1;
    record.smppLoginEnabled = details.smppLogin ? 1 : 0;
    PutText(record.ipRestriction, details.ipRestriction, kIpRestrictionMax);
    if (details.webMenuEntry >= 0 && details.webMenuEntry < kWebMenuEntryCount)
        record.webMenuOptions = static_cast<uint8_t>(kWebMenuBase + details.webMenuEntry);
    else if (storedWebMenu > kWebMenuBase && storedWebMenu <= kWebMenuHighest)
        record.webMenuOptions = storedWebMenu;
    else
        record.webMenuOptions = kWebMenuBase;
    record.administrator = details.webLogin && details.administrator ? kAdministratorYes : 0;
    record.acceptReceived = details.acceptReceived ? 1 : 0;
    return record;
}

void FillVaspRecord(const UserDetails& details, VASPUserRecord& record)
{
    PutText(record.userName, details.userName, kUserNameMax);
    PutText(record.password, details.password, kPasswordMax);
    PutText(record.fullName, details.fullName, kFullNameMax);
    record.flag203 = 1;
    record.flag204 = 0;
    record.flag205 = 1;
    record.flag206 = 1;
    PutText(record.ipRestriction, details.ipRestriction, kIpRestrictionMax);
}

const char* UserNameProblem(const std::string& name)
{
    if (name.empty())
        return kFieldRequired;
    NameFault fault = CheckOutsideName(name);
    if (fault == NameFault::DeviceName)
        return kDeviceUserName;
    if (fault != NameFault::None || name.front() == ';')
        return kUnsafeUserName;
    for (char c : name) {
        if (IsForbiddenIniCharacter(static_cast<unsigned char>(c)))
            return kUnsafeUserName;
    }
    return nullptr;
}

std::string UserAlreadyDefinedMessage(const std::string& name)
{
    return "User " + name + " is already defined.";
}

std::string UserFolder(const std::string& dataDirectory, const std::string& userName)
{
    return dataDirectory + "USERS\\" + userName;
}

std::string ReadRoutingAddresses(IniStore& smsgw, const std::string& userName)
{
    return smsgw.Read(kRoutingSection, userName, kRoutingAddressesMax + 1);
}

bool WriteRoutingAddresses(IniStore& smsgw, const std::string& userName, const std::string& addresses)
{
    if (addresses.empty())
        return smsgw.Delete(kRoutingSection, userName);
    return smsgw.Write(kRoutingSection, userName, addresses);
}

bool DeleteRoutingAddresses(IniStore& smsgw, const std::string& userName)
{
    return smsgw.Delete(kRoutingSection, userName);
}

bool SameUserName(const std::string& a, const std::string& b)
{
    return userstore::NamesEqual(a.c_str(), b.c_str());
}

bool LoginBelongsToAccount(const VASPUserRecord& login, const UserRecord& account)
{
    return SameUserName(GetText(login.userName), GetText(account.userName)) &&
           GetText(login.password) == GetText(account.password);
}

bool LoadWebAuth(IniStore& smsgw)
{
    std::string value = smsgw.Read("SMSGW", "WebAuth", 16);
    if (!value.empty())
        return IniBool(value.c_str());
    for (const auto& entry : smsgw.ReadSection("SMSGW")) {
        if (EqualsNoCase(KeyName(entry.first), "WebAuth"))
            return false;
    }
    return true;
}

bool SaveWebAuth(IniStore& smsgw, bool required)
{
    return smsgw.Write("SMSGW", "WebAuth", required ? "Yes" : "No");
}
