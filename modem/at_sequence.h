// The modem test's AT sequence, written against a small port interface so that it runs the
// same over a real COM port and over a scripted port in the tests. Every wait and every
// message goes through the host, which the program implements with Sleep and message boxes.
// Portable: no windows.h.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

// What one read of the modem's answer gives: the bytes read (0 for nothing or a read
// error) and the answer as text up to its first NUL.
struct AtAnswer {
    size_t count = 0;
    std::string text;
};

// The five time-outs of the port, in milliseconds (read interval, read total multiplier,
// read total constant, write total multiplier, write total constant).
struct TimeoutProfile {
    unsigned long readInterval, readMultiplier, readConstant, writeMultiplier, writeConstant;
};
extern const TimeoutProfile kOpeningTimeouts; // 200, 0, 1000, 0, 2000
extern const TimeoutProfile kTestTimeouts;    // 200, 0, 1000, 0, 15000
extern const TimeoutProfile kImmediateReturn; // MAXDWORD, 0, 0, 0, 0

// The profile a port gets: the caller's when the value of [SMSGW] OldModemTimeouts says yes
// (IniBool), else kImmediateReturn.
const TimeoutProfile& ChosenTimeouts(const std::string& oldModemTimeouts, const TimeoutProfile& profile);

// Every exchange reads into a buffer of this size.
constexpr size_t kAnswerBufferSize = 500;

class AtPort {
public:
    virtual ~AtPort() = default;
    // Writes the text, one character per write; true when every character went out.
    virtual bool Send(const std::string& text) = 0;
    // Reads until a final result code is in the answer or the seconds are up.
    virtual AtAnswer Read(unsigned seconds) = 0;
    // Sets the line speed (8 data bits, no parity, 1 stop bit); false when the settings
    // could not be built.
    virtual bool SetSpeed(unsigned bitsPerSecond) = 0;
    // The caller's profile when [SMSGW] OldModemTimeouts says yes, else immediate return.
    virtual void ApplyTimeouts(const TimeoutProfile& profile) = 0;
};

enum class MessageIcon { None, Information, Error };

// Where the sequence waits, shows its messages and opens ports.
class ModemHost {
public:
    virtual ~ModemHost() = default;
    virtual void Sleep(unsigned milliseconds) = 0;
    // owned: a message of the test itself, owned by the window that started the test;
    // otherwise a message of opening the modem, which also comes to the foreground.
    virtual void Show(const std::string& text, MessageIcon icon, bool owned) = 0;
};

// A port opened by name, with how far its set-up came.
struct OpenedPort {
    enum Stage { Ready, OpenFailed, SetupFailed, StateFailed } stage = OpenFailed;
    std::unique_ptr<AtPort> port; // present unless OpenFailed
    unsigned long error = 0;      // the system's error code when OpenFailed
    std::string errorText;        // the system's text for it
};

class SerialPorts {
public:
    virtual ~SerialPorts() = default;
    // Opens the port for overlapped I/O, then sets 1024-byte queues and reads its state.
    virtual OpenedPort Open(const std::string& name) = 0;
};

// "COM", decimal digits, ":" and nothing more (any case): the modem is reached directly.
bool IsDirectPortName(const std::string& name);
// "Unable to access modem at <port> -- Error <code> -- <system text>", within 500
// characters, with the note about another application for access denied.
std::string OpenFailureMessage(const std::string& portName, unsigned long error, const std::string& systemText);

bool ResponseIsOK(const std::string& text);

// The steps of the test, each as the program runs it.
bool InitialiseModemAt(AtPort& port, ModemHost& host, unsigned bitsPerSecond, const std::string& pin);
bool SendResetCommand(AtPort& port);
bool EnsureRadioOn(AtPort& port);
bool WaitForNetwork(AtPort& port, ModemHost& host);
// Finds the modem's speed through its COM port (115200 down to 9600, with escapes) and,
// once it answers, resets it and starts it again. True when the modem answered.
bool ResetModemThroughPort(SerialPorts& ports, ModemHost& host, const std::string& portName, const std::string& pin);
// The direct path of opening a modem named COMn: (with one reset through the port when no
// speed answers); null when the modem cannot be used.
std::unique_ptr<AtPort> OpenDirectModem(SerialPorts& ports, ModemHost& host, const std::string& portName,
                                        const std::string& pin);
// The SMS capability test on an opened modem: radio, network, PIN, initialisation, SMS
// service, PDU or text mode and the send command. Shows exactly one result message; 1 when
// the modem passed.
int RunSmsCapabilityTest(AtPort& port, ModemHost& host, const std::string& pin);

// The message shown when no modem could be opened.
extern const char kModemNotAccessible[];
