#include "shell/debug_log_settings.h"

#include "base/ini_rules.h"

const DebugLogFile kDebugLogFiles[kDebugLogCount] = {
    {"SMSGW.INI", "SMSGW", "SMSDEBUG.LOG"},
    {"MMSC.INI", "MMSC", "MMSCDEBUG.LOG"},
    {"MMSWAP.INI", "MMSWAP", "MMSWAPDEBUG.LOG"},
};

namespace {

constexpr size_t kValueChars = 500;

} // namespace

DebugLogSettings LoadDebugLogSettings(const DebugLogStores& stores)
{
    DebugLogSettings settings;
    for (size_t log = 0; log < kDebugLogCount; ++log)
        settings.enabled[log] = IniBool(stores[log].Read(kDebugLogFiles[log].section, "Debug", kValueChars).c_str());
    return settings;
}

void SaveDebugLogSettings(const DebugLogSettings& settings, const DebugLogStores& stores)
{
    for (size_t log = 0; log < kDebugLogCount; ++log) {
        if (settings.enabled[log])
            stores[log].Write(kDebugLogFiles[log].section, "Debug", "Yes");
        else
            stores[log].Delete(kDebugLogFiles[log].section, "Debug");
    }
}
