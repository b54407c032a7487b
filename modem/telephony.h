// Windows telephony (TAPI 2.x) as the modem test and the modem list use it: device
// capabilities, and a modem opened through a pass-through data call whose handles stay
// open for the length of the test.
#pragma once

#include <windows.h>
#define TAPI_CURRENT_VERSION 0x00020001
#include <tapi.h>

#include <memory>
#include <string>
#include <vector>

#include "modem/at_sequence.h"

constexpr DWORD kTapiVersion = 0x00020001;
constexpr DWORD kTapiLowestVersion = 0x00010003;

// Reads a line's capabilities, growing the buffer as the device asks; false when the
// device is to be skipped. The capabilities are at buffer.data().
bool ReadLineCapabilities(HLINEAPP app, DWORD device, DWORD version, std::vector<char>& buffer);
// The line's name from its capabilities.
std::string LineName(const std::vector<char>& capabilities);

// The telephony handles of a modem opened through a data call; each 0 when not open.
struct TelephonyCall {
    HLINEAPP app = 0;
    HLINE line = 0;
    HCALL call = 0;

    // Drops and releases the call and closes the line.
    void EndCall();
    void Shutdown();
};

// Fetches telephony messages until a LINE_REPLY comes or the seconds have passed.
void WaitForLineReply(HLINEAPP app, unsigned seconds);

// Opens the modem by its telephony line name, or directly when it is named COMn:; when the
// line cannot be opened and its COM port is known, resets the modem through the port and
// tries once more. Null when the modem cannot be used (the messages have been shown).
std::unique_ptr<AtPort> OpenModem(SerialPorts& ports, ModemHost& host, const std::string& name, const std::string& pin,
                                  TelephonyCall& call);
