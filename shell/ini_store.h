// A narrow view of one INI file, so that logic over INI values can be tested without the
// platform. Portable: no windows.h.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

class IniStore {
public:
    virtual ~IniStore() = default;
    // A missing key reads as "". maxChars is the reader's buffer, terminator included: a
    // longer value is cut to maxChars - 1 characters, as the platform cuts it.
    virtual std::string Read(const std::string& section, const std::string& key, size_t maxChars) = 0;
    virtual void Write(const std::string& section, const std::string& key, const std::string& value) = 0;
    virtual void Delete(const std::string& section, const std::string& key) = 0;
};

// The platform's private-profile functions over one file, addressed by full path.
std::unique_ptr<IniStore> OpenPrivateProfile(const std::string& path);
