#include "app/ini_files.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "app/app_state.h"
#include "app/config_files.h"
#include "app/message_box.h"

namespace {

// GetPrivateProfileSectionA's limit for one section.
constexpr DWORD kSectionLimit = 32767;

} // namespace

bool FirstRefusal::Note(BOOL done)
{
    if (!done && error_ == 0) {
        error_ = GetLastError();
        if (error_ == 0)
            error_ = ERROR_WRITE_FAULT;
    }
    return done != FALSE;
}

std::string ProfileIniStore::Read(const std::string& section, const std::string& key, size_t maxChars)
{
    if (maxChars == 0)
        return {};
    std::vector<char> buffer(maxChars, '\0');
    GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(), static_cast<DWORD>(maxChars),
                             path_.c_str());
    buffer.back() = '\0';
    return buffer.data();
}

bool ProfileIniStore::Write(const std::string& section, const std::string& key, const std::string& value)
{
    return Note(WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path_.c_str()));
}

bool ProfileIniStore::Delete(const std::string& section, const std::string& key)
{
    return Note(WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr, path_.c_str()));
}

IniEntries ProfileIniStore::ReadSection(const std::string& section)
{
    std::vector<char> buffer(kSectionLimit + 2, '\0');
    DWORD length = GetPrivateProfileSectionA(section.c_str(), buffer.data(), kSectionLimit, path_.c_str());
    IniEntries entries;
    for (const char* line = buffer.data(); line < buffer.data() + length && *line; line += strlen(line) + 1) {
        const char* equals = strchr(line, '=');
        if (equals)
            entries.emplace_back(std::string(line, equals), std::string(equals + 1));
        else
            entries.emplace_back(line, std::string());
    }
    return entries;
}

bool ProfileIniStore::WriteSection(const std::string& section, const IniEntries& entries)
{
    // "key=value\0key=value\0\0"
    std::string block;
    for (const auto& entry : entries) {
        block += entry.first + '=' + entry.second;
        block += '\0';
    }
    block += '\0';
    return Note(WritePrivateProfileSectionA(section.c_str(), block.c_str(), path_.c_str()));
}

bool ProfileIniStore::DeleteSection(const std::string& section)
{
    return Note(WritePrivateProfileStringA(section.c_str(), nullptr, nullptr, path_.c_str()));
}

ProfileIniStore SmsGatewayIni()
{
    return ProfileIniStore(appPaths.smsIni);
}

ProfileIniStore MmscIni()
{
    return ProfileIniStore(appPaths.mmscIni);
}

ProfileIniStore DataDirectoryIni(const char* fileName)
{
    char directory[MAX_PATH];
    ProgramDataDirectory(directory);
    return ProfileIniStore(std::string(directory) + fileName);
}

void ReportRefusedWrite(HWND owner, const std::string& path, DWORD error)
{
    std::string message = "The configuration could not be saved to " + path + ".\r\n\r\n" + SystemErrorText(error);
    ShowMessage(owner, message.c_str(), MB_OK | MB_ICONERROR);
}

bool WritesTaken(HWND owner, std::initializer_list<const ProfileIniStore*> stores)
{
    for (const ProfileIniStore* store : stores) {
        if (store->FirstError() != 0) {
            ReportRefusedWrite(owner, store->Path(), store->FirstError());
            return false;
        }
    }
    return true;
}
