// A narrow view of one INI file: what the pages' settings, the keyword-table conversion and
// every other reader and writer of INI values use. The program's implementation is the
// platform's private-profile functions (app/ini_files.h); tests use one in memory.
// Portable: no windows.h.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

using IniEntries = std::vector<std::pair<std::string, std::string>>;

class IniStore {
public:
    virtual ~IniStore() = default;
    // A missing key reads as "". maxChars is the reader's buffer, terminator included: a
    // longer value is cut to maxChars - 1 characters, as the platform cuts it.
    virtual std::string Read(const std::string& section, const std::string& key, size_t maxChars) = 0;
    // Each gives false when the file could not be written.
    virtual bool Write(const std::string& section, const std::string& key, const std::string& value) = 0;
    virtual bool Delete(const std::string& section, const std::string& key) = 0;
    // A section's keys and values in file order; empty when there is no such section.
    virtual IniEntries ReadSection(const std::string& section) = 0;
    // Replaces a section's whole content in one write.
    virtual bool WriteSection(const std::string& section, const IniEntries& entries) = 0;
    // Removes a section with all its keys.
    virtual bool DeleteSection(const std::string& section) = 0;
};
