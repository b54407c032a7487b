// Storing and removing an account with what lives beside its record: the MM7/EAIF login of
// the same name, the routing addresses in SMSGW.INI and the account's folder. The record
// goes first and the keys that point at it after, so that a refused record leaves nothing
// of the change behind. Portable: no windows.h.
#pragma once

#include <string>

#include "base/ini_store.h"
#include "gateway/gwcore/user_record.h"
#include "gateway/mmcore/vasp_user_record.h"
#include "users/user_account.h"

// The files an account change touches: GWCORE.DLL's user file, MMCORE.DLL's MM7/EAIF
// logins and the account folders under USERS. Each write gives false when refused.
class AccountFiles {
public:
    virtual ~AccountFiles() = default;
    virtual bool StoreAccount(const UserRecord& record) = 0;
    virtual bool DeleteAccount(const UserRecord& record) = 0;
    // The login of that name (compared as the login file compares) into login; false when
    // there is none.
    virtual bool FindLogin(const std::string& name, VASPUserRecord& login) = 0;
    virtual bool StoreLogin(const VASPUserRecord& login) = 0;
    virtual bool DeleteLogin(const std::string& name) = 0;
    // Folder moves and deletes are best effort: what cannot move or go stays.
    virtual void MoveFolder(const std::string& oldName, const std::string& newName) = 0;
    virtual void DeleteFolder(const std::string& name) = 0;
};

// What the "Edit User" dialog asks to store.
struct AccountEdit {
    UserRecord opened = {}; // the account as the dialog opened it; cleared for a new one
    UserRecord edited = {};
    bool mm7Login = false;
    std::string routingAddresses; // written when the record accepts received messages
};

// The first part of a change that was refused; everything before it is stored.
enum class AccountChange { Done, AccountRefused, LoginRefused, RoutingRefused };

// Stores the record (on a rename: the new record, then the old one deleted, a refused delete
// taking the new record back out; then the folder moved), then the login, then the routing
// key. A rename moves the account's own login (LoginBelongsToAccount) with it.
AccountChange SaveAccount(AccountFiles& files, IniStore& smsgw, const AccountEdit& edit);

// Deletes the record, then its own login, its routing key and its folder. A stored name
// that is not a plain folder name or key keeps its folder and key untouched.
AccountChange RemoveAccount(AccountFiles& files, IniStore& smsgw, const UserRecord& record);
