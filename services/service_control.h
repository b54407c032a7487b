// Installing, removing, starting, stopping and restarting the gateway's two services,
// always as a pair. Every operation opens the service control manager, acts and closes
// its handles; interactive calls may offer to re-launch the program elevated.
#pragma once

#include <windows.h>

#include "base/verbs.h"

bool IsSmsServiceActive();
bool IsMmscServiceActive();
bool IsSmsServiceInstalled();
bool IsMmscServiceInstalled();
// Both services' states, for a caller that asks again and again (the Status page, once a
// second): the services are opened and queried afresh each time, the connection to the
// service control manager is kept until Close() or the end of the object, and made again
// after a failure.
struct GatewayServiceStates {
    bool smsInstalled = false;
    bool smsActive = false;
    bool mmscInstalled = false;
    bool mmscActive = false;
};
class GatewayServiceMonitor {
public:
    GatewayServiceMonitor() = default;
    ~GatewayServiceMonitor() { Close(); }
    GatewayServiceMonitor(const GatewayServiceMonitor&) = delete;
    GatewayServiceMonitor& operator=(const GatewayServiceMonitor&) = delete;

    GatewayServiceStates Query();
    void Close();

private:
    SC_HANDLE manager_ = nullptr;
};
bool HasServiceRights();
bool IsVistaOrLater();

bool InstallServices(bool interactive);
bool RemoveServices(bool interactive);
void StopServices(bool interactive);
void StartServices(bool interactive);
void RestartServices(bool interactive);

// The rights question of the service operations ("Administrator rights are required ...
// Do you wish to continue?"); true for Yes.
bool ConfirmElevation();
// Starts the program itself with the verb's argument, through "runas" on Windows Vista and
// later; the process handle (the caller closes it), or null when it could not be started.
HANDLE LaunchSelf(Verb verb);

// Writes 1 into the stop-request byte of the SMS service's status block.
void RequestSmsServiceStop();

// The port flags a running service publishes in its status block: byte 2 (the web or MM7
// port is taken) and byte 4 (the SMPP port is taken). False when the block cannot be opened
// or mapped.
struct ServicePortFlags {
    unsigned char byte2 = 0;
    unsigned char byte4 = 0;
};
bool ReadSmsServicePortFlags(ServicePortFlags& flags);
bool ReadMmscServicePortFlags(ServicePortFlags& flags);

// What the operations ask of the platform beyond plain queries. The defaults are the real
// calls; the program never changes them.
struct ServicePlatform {
    // OpenSCManagerA.
    SC_HANDLE(WINAPI* openManager)(LPCSTR machine, LPCSTR database, DWORD access);
    // Starts the executable through the shell's "runas" verb with one argument; fills the
    // process handle when the platform gave one. False when the launch failed or the
    // platform's elevation prompt was refused.
    bool (*launchElevated)(const char* executable, const char* argument, HANDLE* process);
    DWORD roundMs;        // one polling round while a service starts or stops
    DWORD elevatedWaitMs; // how long the elevated instance is waited for
};
ServicePlatform& ServicePlatformHooks();
