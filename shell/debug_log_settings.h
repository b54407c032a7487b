// The Debug Logs page's settings: one switch per service log, the "Debug" key of that
// service's INI file. Portable: no windows.h.
#pragma once

#include <cstddef>

#include "base/ini_store.h"

enum DebugLog : size_t { kSmsGatewayLog, kMmscLog, kMmswapLog, kDebugLogCount };

struct DebugLogFile {
    const char* iniName; // in the program data directory
    const char* section;
    const char* logName; // in the program data directory
};

// SMSGW.INI [SMSGW], MMSC.INI [MMSC], MMSWAP.INI [MMSWAP]; SMSDEBUG.LOG, MMSCDEBUG.LOG,
// MMSWAPDEBUG.LOG.
extern const DebugLogFile kDebugLogFiles[kDebugLogCount];

struct DebugLogSettings {
    bool enabled[kDebugLogCount] = {};
};

// The INI files in the order of kDebugLogFiles.
struct DebugLogStores {
    IniStore& smsgw;
    IniStore& mmsc;
    IniStore& mmswap;
    IniStore& operator[](size_t log) const { return log == kSmsGatewayLog ? smsgw : log == kMmscLog ? mmsc : mmswap; }
};

// A log is on when its "Debug" reads true (IniBool).
DebugLogSettings LoadDebugLogSettings(const DebugLogStores& stores);
// "Debug" = "Yes" for a log that is on; the key deleted for one that is off.
void SaveDebugLogSettings(const DebugLogSettings& settings, const DebugLogStores& stores);
