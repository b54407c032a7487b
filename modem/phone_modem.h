// The phone modem: a modem app on a phone that answers "GET /init" over HTTP with facts
// about the phone in its response headers. The phone is reached through the gateway's
// sockets by the host text "qelsmsmodem_" + its address. Each call is one exchange that
// shows no messages; any failure to connect or read reads as a no.
#pragma once

// Buffers the callers hand in for header values: 149 characters and the terminator.
const int kPhoneModemValueSize = 150;

// True when the phone at address names itself: "X-QelSMS-DeviceName:" and
// "X-QelSMS-DeviceID:" are both there and not empty.
bool PhoneModemProbe(const char* address);

// The MMS settings the phone at address announces: url from "X-QelSMS-MMSURL:" and proxy
// from "X-QelSMS-MMSProxy:" (possibly empty), both kPhoneModemValueSize buffers, emptied
// first. True when the URL is there and not empty; the proxy is only filled then.
bool PhoneModemMMSSettings(const char* address, char* url, char* proxy);

// The same against a host text as the gateway's sockets take it, "127.0.0.1:8080", port 0.
bool PhoneModemProbeHost(const char* host);
bool PhoneModemMMSSettingsHost(const char* host, char* url, char* proxy);
