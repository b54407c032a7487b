// The Server page's ports, as typed and as stored. Portable: no windows.h.
#pragma once

constexpr unsigned long kDefaultWebPort = 8800;

extern const char kWebPortField[];    // "Web Interface Port Number"
extern const char kSmppPortField[];   // "SMPP Port Number"
extern const char kMm7PortField[];    // "MM7/EAIF Port Number"

// The numbers the fields read as (their leading digits; no digits gives 0).
struct ServerPorts {
    unsigned long webPort = 0;
    bool smppEnabled = false;
    unsigned long smppPort = 0;
    bool mm7Enabled = false;
    unsigned long mm7Port = 0;
};

// What is written: the web port (0 falls back to 8800); an optional port, or 0 when it is
// switched off or reads as 0 (its key is then deleted).
struct StoredPorts {
    unsigned long webPort;
    unsigned long smppPort;
    unsigned long mm7Port;
};

StoredPorts PortsToStore(const ServerPorts& ports);

// The field whose number no TCP port can have (above 65535), or nullptr. A field that
// reads as 0 is not refused: it falls back as PortsToStore says.
const char* InvalidPortField(const ServerPorts& ports);
