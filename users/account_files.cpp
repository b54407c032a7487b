#include "users/account_files.h"

#include <string>

#include "app/config_files.h"
#include "app/message_box.h"
#include "gateway/mmcore/mmcore.h"

namespace {

// MMCORE.DLL's account look-up writes into a buffer of this size.
constexpr size_t kVaspLookupBufferSize = 2048;

std::string UsersFolder(const std::string& name)
{
    char data[MAX_PATH] = "";
    ProgramDataDirectory(data);
    return UserFolder(data, name);
}

} // namespace

bool GatewayAccountFiles::StoreAccount(const UserRecord& record)
{
    return Note(SMSAddUser(userFile_, &record));
}

bool GatewayAccountFiles::DeleteAccount(const UserRecord& record)
{
    return Note(SMSDeleteUser(userFile_, &record));
}

bool GatewayAccountFiles::FindLogin(const std::string& name, VASPUserRecord& login)
{
    std::string buffer(kVaspLookupBufferSize, '\0');
    if (name.empty() || !VASPFindUserRecord(name.c_str(), &buffer[0]))
        return false;
    memcpy(&login, buffer.data(), sizeof login);
    return true;
}

bool GatewayAccountFiles::StoreLogin(const VASPUserRecord& login)
{
    return Note(VASPAddUser(&login));
}

bool GatewayAccountFiles::DeleteLogin(const std::string& name)
{
    return Note(VASPDeleteUser(name.c_str()));
}

void GatewayAccountFiles::MoveFolder(const std::string& oldName, const std::string& newName)
{
    MoveFileA(UsersFolder(oldName).c_str(), UsersFolder(newName).c_str());
}

void GatewayAccountFiles::DeleteFolder(const std::string& name)
{
    DeleteTree(UsersFolder(name).c_str());
}

void ReportAccountChange(HWND owner, AccountChange change, DWORD filesError, DWORD smsgwError)
{
    const char* what = nullptr;
    DWORD error = filesError;
    switch (change) {
    case AccountChange::Done:
        return;
    case AccountChange::AccountRefused:
        what = "The user account could not be saved.";
        break;
    case AccountChange::LoginRefused:
        what = "The MM7/EAIF login of this user could not be saved.";
        break;
    case AccountChange::RoutingRefused:
        what = "The routing addresses of this user could not be saved.";
        error = smsgwError;
        break;
    }
    std::string message = std::string(what) + "\r\n\r\n" + SystemErrorText(error);
    ShowMessage(owner, message.c_str(), MB_OK | MB_ICONERROR);
}
