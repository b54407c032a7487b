// The account files of the gateway behind AccountFiles: GWCORE.DLL's open user file,
// MMCORE.DLL's MM7/EAIF logins and the folders under the data directory's USERS.
#pragma once

#include <windows.h>

#include "app/ini_files.h"
#include "gateway/gwcore/gwcore.h"
#include "users/account_changes.h"

class GatewayAccountFiles final : public AccountFiles {
public:
    explicit GatewayAccountFiles(SMSUSERFILE userFile) : userFile_(userFile) {}

    bool StoreAccount(const UserRecord& record) override;
    bool DeleteAccount(const UserRecord& record) override;
    bool FindLogin(const std::string& name, VASPUserRecord& login) override;
    bool StoreLogin(const VASPUserRecord& login) override;
    bool DeleteLogin(const std::string& name) override;
    void MoveFolder(const std::string& oldName, const std::string& newName) override;
    void DeleteFolder(const std::string& name) override;

    // The system's error code of the first refused write; 0 when none was refused.
    DWORD FirstError() const { return refusal_.Error(); }

private:
    bool Note(BOOL done) { return refusal_.Note(done); }

    SMSUSERFILE userFile_;
    FirstRefusal refusal_;
};

// Shows the refusal of an account change with the system's text; nothing for Done.
// The refused INI write's error comes from smsgwError.
void ReportAccountChange(HWND owner, AccountChange change, DWORD filesError, DWORD smsgwError);
