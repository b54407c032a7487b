// The Server page's settings: the ports the gateway services listen on, as stored in the
// INI files and as the page shows them. Portable: no windows.h.
#pragma once

#include "base/ini_store.h"

constexpr unsigned long kDefaultWebPort = 8800;

extern const char kWebPortField[];  // "Web Interface Port Number"
extern const char kSmppPortField[]; // "SMPP Port Number"
extern const char kMm7PortField[];  // "MM7/EAIF Port Number"

// SMSGW.INI [SMSGW] "WebPort" and "SMPPPort", MMSC.INI [MMSC] "WebPort" (the MM7/EAIF
// server's port; a non-zero port is its switch).
struct ServerSettings {
    unsigned long webPort = kDefaultWebPort;
    bool smppEnabled = false;
    unsigned long smppPort = 0;
    bool mm7Enabled = false;
    unsigned long mm7Port = 0;
};

// A web port that is missing or 0 reads as 8800; an optional port that is missing or 0
// reads as switched off with no port.
ServerSettings LoadServerSettings(IniStore& smsgw, IniStore& mmsc);

// "WebPort" always (0 falls back to 8800); an optional port only when it is switched on
// and not 0, otherwise its key is deleted.
void SaveServerSettings(const ServerSettings& settings, IniStore& smsgw, IniStore& mmsc);

// The field whose number no TCP port can have (above 65535), or nullptr. A field that
// reads as 0 is not refused: it falls back as SaveServerSettings says.
const char* InvalidPortField(const ServerSettings& settings);
