// The modem's port: AT text written one character at a time and answers read until a
// final result code, over a communications handle opened for overlapped I/O (directly on
// a COM port or handed out by telephony).
#pragma once

#include <windows.h>

#include <string>

#include "modem/at_sequence.h"

// The waits of the port layer: a write that makes no progress for writeStallMs fails, and an
// operation that is cancelled is waited for up to cancelSettleMs.
struct SerialTiming {
    unsigned long writeStallMs = 11000;
    unsigned long cancelSettleMs = 15000;
};
SerialTiming& ModemSerialTiming();

// Sets the profile when [SMSGW] OldModemTimeouts says yes, otherwise immediate return.
void ApplyModemTimeouts(HANDLE port, const TimeoutProfile& profile);
// True when every character was written. An empty text sends nothing and gives true.
bool SendModemText(HANDLE port, const char* text);
// Clears the buffer and reads until "\nOK", "\rOK" or "ERROR" is in it, the buffer is full
// or the seconds are up. The buffer stays terminated within its size. Gives the bytes read;
// 0 on a read error, even after some had come.
DWORD ReadModemResponse(HANDLE port, char* buffer, DWORD size, unsigned seconds);

// An AtPort over a port handle; closes the handle when it owns it.
class SerialAtPort final : public AtPort {
public:
    SerialAtPort(HANDLE handle, bool owned) : handle_(handle), owned_(owned) {}
    ~SerialAtPort() override;
    SerialAtPort(const SerialAtPort&) = delete;
    SerialAtPort& operator=(const SerialAtPort&) = delete;

    bool Send(const std::string& text) override;
    AtAnswer Read(unsigned seconds) override;
    bool SetSpeed(unsigned bitsPerSecond) override;
    void ApplyTimeouts(const TimeoutProfile& profile) override;

private:
    HANDLE handle_;
    bool owned_;
};

// Opens "COMn:" (or "\\.\COMn" when that fails) exclusively for overlapped I/O, with
// 1024-byte queues.
class ComPorts final : public SerialPorts {
public:
    OpenedPort Open(const std::string& name) override;
};

