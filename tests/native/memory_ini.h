// An INI file in memory for the native tests: sections and keys compared without regard to
// case and values cut to the reader's buffer, as the platform's profile functions do. A
// write can be made to fail from a chosen one on, as on a full disk.
#pragma once

#include <string>

#include "base/ini_store.h"
#include "base/text.h"

class MemoryIni : public IniStore {
public:
    std::vector<std::pair<std::string, IniEntries>> sections;
    int writes = 0;
    int failFromWrite = -1; // the first write (counted from 0) that fails; -1: none

    std::string Read(const std::string& section, const std::string& key, size_t maxChars) override
    {
        // A reader without room gets nothing, as from the platform.
        const std::string* value = Find(section, key);
        return value && maxChars > 0 ? value->substr(0, maxChars - 1) : std::string();
    }
    bool Write(const std::string& section, const std::string& key, const std::string& value) override
    {
        if (!Allow())
            return false;
        IniEntries& entries = SectionFor(section);
        for (auto& entry : entries) {
            if (EqualsNoCase(entry.first, key)) {
                entry.second = value;
                return true;
            }
        }
        entries.emplace_back(key, value);
        return true;
    }
    bool Delete(const std::string& section, const std::string& key) override
    {
        if (!Allow())
            return false;
        IniEntries& entries = SectionFor(section);
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            if (EqualsNoCase(it->first, key)) {
                entries.erase(it);
                break;
            }
        }
        return true;
    }
    IniEntries ReadSection(const std::string& section) override
    {
        for (auto& s : sections) {
            if (EqualsNoCase(s.first, section))
                return s.second;
        }
        return {};
    }
    bool WriteSection(const std::string& section, const IniEntries& entries) override
    {
        if (!Allow())
            return false;
        SectionFor(section) = entries;
        return true;
    }

    bool DeleteSection(const std::string& section) override
    {
        if (!Allow())
            return false;
        for (auto it = sections.begin(); it != sections.end(); ++it) {
            if (EqualsNoCase(it->first, section)) {
                sections.erase(it);
                break;
            }
        }
        return true;
    }
    bool HasSection(const std::string& section)
    {
        for (auto& s : sections) {
            if (EqualsNoCase(s.first, section))
                return true;
        }
        return false;
    }

    bool Has(const std::string& section, const std::string& key) { return Find(section, key) != nullptr; }
    std::string Get(const std::string& section, const std::string& key)
    {
        const std::string* value = Find(section, key);
        return value ? *value : "<missing>";
    }

private:
    bool Allow()
    {
        int index = writes++;
        return failFromWrite < 0 || index < failFromWrite;
    }

    IniEntries& SectionFor(const std::string& section)
    {
        for (auto& s : sections) {
            if (EqualsNoCase(s.first, section))
                return s.second;
        }
        sections.emplace_back(section, IniEntries());
        return sections.back().second;
    }
    const std::string* Find(const std::string& section, const std::string& key)
    {
        for (auto& s : sections) {
            if (!EqualsNoCase(s.first, section))
                continue;
            for (auto& entry : s.second) {
                if (EqualsNoCase(entry.first, key))
                    return &entry.second;
            }
        }
        return nullptr;
    }
};
