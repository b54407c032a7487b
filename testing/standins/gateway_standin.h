// The stand-in services' small gateway: when STANDIN.INI names a TestScenario, the service
// takes test requests from its queue and answers them the way that scenario says, so that the
// configuration program's test-message page can follow a request through the files.
#pragma once

#include <windows.h>

#include <string>

struct GatewayStandinSetup {
    bool sms = true;         // the SMS service (Q\, TEST*.REQ) or the MMSC (VASPQ\, TEST*.INI)
    const char* serviceName; // the STANDIN.INI section
    std::string dir;         // the executable's folder, with a trailing backslash
    HANDLE stopEvent;        // manual-reset; set when the service stops
    void (*log)(const std::string& line);
};

// True when STANDIN.INI asks this service to act as a gateway.
bool GatewayScenarioSet(const GatewayStandinSetup& setup);

// Starts the gateway thread; it ends once stopEvent is set, closing the requests it holds.
// The returned handle is the thread's, to wait on.
HANDLE StartGatewayStandin(const GatewayStandinSetup& setup);
