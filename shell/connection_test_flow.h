// The GPRS connection test of the elevated "/MODEMTEST" instance, written against the
// dial-up library's calls so that every path runs natively in the tests: borrow the modem,
// make sure its driver knows a context for the APN (offering a reboot when the driver was
// updated), dial, give the modem back, and say the result in one line.
// Portable: no windows.h.
#pragma once

#include <string>

struct ConnectionTestInputs {
    std::string wapGateway, apn, apnLogin, apnPassword, modemName, dialUpProfile;
};

// What the test needs of the dial-up library (WAPLINK.DLL); the optional entry points say
// whether they are there.
class DialUpLibrary {
public:
    virtual ~DialUpLibrary() = default;
    virtual unsigned long Allocate(const std::string& modemName, unsigned long waitMs) = 0;
    virtual void Release(unsigned long allocation) = 0;
    virtual bool HasContextQuery() const = 0;
    virtual int ContextForApn(const std::string& modemName, const std::string& apn, int selector) = 0;
    virtual bool HasDriverUpdate() const = 0;
    virtual int UpdateDriver(const std::string& modemName, const std::string& apn) = 0;
    virtual int Dial(const ConnectionTestInputs& inputs) = 0;
    virtual void HangUp(const std::string& profile) = 0;
    virtual bool HasErrorText() const = 0;
    // The library's text for a RAS error, at most room - 1 characters.
    virtual std::string ErrorText(unsigned code, size_t room) = 0;
};

class RebootHost {
public:
    virtual ~RebootHost() = default;
    // "Do you wish to reboot now?": true for Yes.
    virtual bool AskReboot() = 0;
    virtual void RequestReboot() = 0;
};

extern const char kRebootQuestion[];

// "DialUpProfile" when given, else "Modem: " followed by the modem name.
std::string DialUpProfileOf(const ConnectionTestInputs& inputs);

// Runs the test; library is null when the add-on library is absent or incomplete. Gives the
// "Result" line. The modem is given back on every path, before a reboot is requested.
std::string RunConnectionTestFlow(DialUpLibrary* library, RebootHost& host, ConnectionTestInputs inputs);
