// A name from outside that the name rule accepts stays strictly inside the folder it is
// joined to, reaches no device, and two accepted names that differ (in any letter case)
// never reach the same path. The input is split at its first NUL into two names.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/names.h"
#include "base/paths.h"
#include "base/text.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

const char kFolder[] = "C:\\ProgramData\\QelSMS\\VASPOUT";

// The path the name reaches, or empty when the rule refuses it.
std::string Reached(const std::string& name)
{
    if (CheckOutsideName(name) != NameFault::None)
        return std::string();
    Check(!IsDeviceName(name));
    std::string path = NormalizeAbsolutePath(std::string(kFolder) + "\\" + name);
    Check(IsSameOrInside(path, kFolder) && path != NormalizeAbsolutePath(kFolder));
    // Exactly one component below the folder.
    Check(path.find('\\', sizeof kFolder) == std::string::npos);
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t split = input.find('\0');
    std::string first = input.substr(0, split);
    std::string second = split == std::string::npos ? std::string() : input.substr(split + 1);
    std::string a = Reached(first);
    std::string b = Reached(second);
    if (!a.empty() && !b.empty() && CompareNoCase(first.c_str(), second.c_str()) != 0)
        Check(a != b);
    return 0;
}
