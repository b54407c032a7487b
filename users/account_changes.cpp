// The order of an account change: the record first, then what points at it.
#include "users/account_changes.h"

#include <cstring>

namespace {

std::string NameOf(const UserRecord& record)
{
    return std::string(record.userName, strnlen(record.userName, sizeof record.userName));
}

// The login of the account as it was stored, when it is the account's own.
bool OwnLogin(AccountFiles& files, const UserRecord& account, VASPUserRecord& login)
{
    std::string name = NameOf(account);
    return !name.empty() && files.FindLogin(name, login) && LoginBelongsToAccount(login, account);
}

bool SaveLogin(AccountFiles& files, const AccountEdit& edit, bool renamed)
{
    std::string name = NameOf(edit.edited);
    VASPUserRecord ownOld = {};
    bool movesOld = renamed && OwnLogin(files, edit.opened, ownOld);
    if (edit.mm7Login) {
        VASPUserRecord login = {};
        if (!files.FindLogin(name, login) && movesOld)
            login = ownOld;
        FillVaspRecord(DetailsFromRecord(edit.edited), login);
        if (!files.StoreLogin(login))
            return false;
    } else if (!files.DeleteLogin(name)) {
        return false;
    }
    return !movesOld || files.DeleteLogin(NameOf(edit.opened));
}

bool SaveRouting(IniStore& smsgw, const AccountEdit& edit, bool renamed)
{
    std::string name = NameOf(edit.edited);
    bool saved = edit.edited.acceptReceived ? WriteRoutingAddresses(smsgw, name, edit.routingAddresses)
                                            : DeleteRoutingAddresses(smsgw, name);
    std::string oldName = NameOf(edit.opened);
    return saved && (!renamed || !IsPlainUserName(oldName) || DeleteRoutingAddresses(smsgw, oldName));
}

} // namespace

AccountChange SaveAccount(AccountFiles& files, IniStore& smsgw, const AccountEdit& edit)
{
    std::string oldName = NameOf(edit.opened);
    std::string newName = NameOf(edit.edited);
    bool renamed = !oldName.empty() && !SameUserName(oldName, newName);
    if (!files.StoreAccount(edit.edited))
        return AccountChange::AccountRefused;
    if (renamed && !files.DeleteAccount(edit.opened)) {
        files.DeleteAccount(edit.edited);
        return AccountChange::AccountRefused;
    }
    // The folder follows the record at once: a refusal after this point leaves the account
    // under its new name, and a second OK is no rename any more.
    if (renamed && IsPlainUserName(oldName) && IsPlainUserName(newName))
        files.MoveFolder(oldName, newName);
    if (!SaveLogin(files, edit, renamed))
        return AccountChange::LoginRefused;
    if (!SaveRouting(smsgw, edit, renamed))
        return AccountChange::RoutingRefused;
    return AccountChange::Done;
}

AccountChange RemoveAccount(AccountFiles& files, IniStore& smsgw, const UserRecord& record)
{
    if (!files.DeleteAccount(record))
        return AccountChange::AccountRefused;
    std::string name = NameOf(record);
    VASPUserRecord login = {};
    if (OwnLogin(files, record, login) && !files.DeleteLogin(name))
        return AccountChange::LoginRefused;
    if (!IsPlainUserName(name))
        return AccountChange::Done;
    if (!DeleteRoutingAddresses(smsgw, name))
        return AccountChange::RoutingRefused;
    files.DeleteFolder(name);
    return AccountChange::Done;
}
