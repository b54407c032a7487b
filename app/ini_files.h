// The gateway's INI files through the platform's private-profile functions, addressed by
// full path, behind the IniStore interface that the settings code is written against.
#pragma once

#include <string>

#include "base/ini_store.h"

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

private:
    std::string path_;
};

// SMSGW.INI and MMSC.INI as found at start-up, and any other INI file of the program data
// directory by name ("MMSWAP.INI", "MODEMTEST.INI").
ProfileIniStore SmsGatewayIni();
ProfileIniStore MmscIni();
ProfileIniStore DataDirectoryIni(const char* fileName);
