// The gateway's INI files through the platform's private-profile functions, addressed by
// full path, behind the IniStore interface that the settings code is written against.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

#include "base/ini_store.h"

// The system's error code of the first of a series of writes that was refused; later
// refusals keep the first one. A refusal that left no error code counts as a write fault.
class FirstRefusal {
public:
    // Records done's failure; returns whether it was done.
    bool Note(BOOL done);
    // 0 while nothing was refused.
    DWORD Error() const { return error_; }

private:
    DWORD error_ = 0;
};

class ProfileIniStore final : public IniStore {
public:
    explicit ProfileIniStore(std::string path) : path_(std::move(path)) {}

    std::string Read(const std::string& section, const std::string& key, size_t maxChars) override;
    bool Write(const std::string& section, const std::string& key, const std::string& value) override;
    bool Delete(const std::string& section, const std::string& key) override;
    IniEntries ReadSection(const std::string& section) override;
    bool WriteSection(const std::string& section, const IniEntries& entries) override;
    bool DeleteSection(const std::string& section) override;

    const std::string& Path() const { return path_; }
    // The system's error code of the first write this store was refused; 0: none refused.
    DWORD FirstError() const { return refusal_.Error(); }

private:
    bool Note(BOOL written) { return refusal_.Note(written); }

    std::string path_;
    FirstRefusal refusal_;
};

// Every write of a page or dialog is checked here once its writes are done: true when each
// store took every write; otherwise one message names the first refused file with the
// system's text and the result is false (the caller then keeps its dialog or page open and
// claims nothing).
bool WritesTaken(HWND owner, std::initializer_list<const ProfileIniStore*> stores);
// The same message for any other refused file write.
void ReportRefusedWrite(HWND owner, const std::string& path, DWORD error);

// SMSGW.INI and MMSC.INI as found at start-up, and any other INI file of the program data
// directory by name ("MMSWAP.INI", "MODEMTEST.INI").
ProfileIniStore SmsGatewayIni();
ProfileIniStore MmscIni();
ProfileIniStore DataDirectoryIni(const char* fileName);
