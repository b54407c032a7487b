#include "shell/ini_store.h"

#include <windows.h>

#include <vector>

namespace {

class PrivateProfileStore final : public IniStore {
public:
    explicit PrivateProfileStore(std::string path) : path_(std::move(path)) {}

    std::string Read(const std::string& section, const std::string& key, size_t maxChars) override
    {
        if (maxChars == 0)
            return {};
        std::vector<char> buffer(maxChars, '\0');
        GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(),
                                 static_cast<DWORD>(maxChars), path_.c_str());
        buffer.back() = '\0';
        return buffer.data();
    }

    void Write(const std::string& section, const std::string& key, const std::string& value) override
    {
        WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path_.c_str());
    }

    void Delete(const std::string& section, const std::string& key) override
    {
        WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr, path_.c_str());
    }

private:
    std::string path_;
};

} // namespace

std::unique_ptr<IniStore> OpenPrivateProfile(const std::string& path)
{
    return std::make_unique<PrivateProfileStore>(path);
}
