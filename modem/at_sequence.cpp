#include "modem/at_sequence.h"

#include <cstdio>
#include <cstring>

#include "base/ini_rules.h"
#include "base/text.h"

const TimeoutProfile kOpeningTimeouts = {200, 0, 1000, 0, 2000};
const TimeoutProfile kTestTimeouts = {200, 0, 1000, 0, 15000};
const TimeoutProfile kImmediateReturn = {0xFFFFFFFFul, 0, 0, 0, 0};

const char kModemNotAccessible[] = "Unable to access modem, ensure that it is powered on and passes diagnostic tests.";

namespace {

const char kPortInUse[] = "\r\nAnother application is already using this device.";
constexpr size_t kMessageLimit = 500; // the message buffer, terminator included
constexpr unsigned long kAccessDenied = 5;
constexpr size_t kPortNameLimit = 99;

// The speeds a directly named port is tried at, fastest first.
const unsigned kDirectSpeeds[] = {115200, 57600, 38400, 19200, 9600, 2400};

bool Contains(const std::string& text, const char* what)
{
    return text.find(what) != std::string::npos;
}

bool ContainsNoCase(const std::string& text, const char* what)
{
    return FindNoCase(text.data(), text.size(), what) != text.size();
}

size_t SkipBlanks(const std::string& text, size_t at)
{
    while (at < text.size() && text[at] == ' ')
        ++at;
    return at;
}

// The position just behind the first occurrence of the marker, or npos.
size_t After(const std::string& text, const char* marker)
{
    size_t at = text.find(marker);
    return at == std::string::npos ? at : at + strlen(marker);
}

AtAnswer Exchange(AtPort& port, const std::string& command, unsigned seconds)
{
    port.Send(command);
    return port.Read(seconds);
}

bool ExchangeIsOK(AtPort& port, const std::string& command, unsigned seconds)
{
    return ResponseIsOK(Exchange(port, command, seconds).text);
}

std::string PinCommand(const std::string& pin)
{
    return "AT+CPIN=\"" + pin + "\"\r";
}

// "+CFUN: (0,1,4),(0-1)": the reset command takes a second parameter.
bool ResetParameterOffered(const std::string& answer)
{
    size_t at = After(answer, "+CFUN:");
    if (at == std::string::npos)
        return false;
    at = SkipBlanks(answer, at);
    if (at >= answer.size() || answer[at] != '(')
        return false;
    at = answer.find(')', at);
    if (at == std::string::npos)
        return false;
    at = SkipBlanks(answer, at + 1);
    return at < answer.size() && answer[at] == ',';
}

// "+COPS: 0,0,"Operator"": an operator is listed when a comma follows the mode.
bool OperatorListed(const std::string& answer)
{
    size_t at = SkipBlanks(answer, After(answer, "+COPS:"));
    while (at < answer.size() && answer[at] >= '0' && answer[at] <= '9')
        ++at;
    at = SkipBlanks(answer, at);
    return at < answer.size() && answer[at] == ',';
}

// The "+++" escape to command mode, sent as one text.
void Escape(AtPort& port)
{
    Exchange(port, "+++ATH0\r", 1);
}

bool FindSpeedWithEscapes(AtPort& port, ModemHost& host, const std::string& pin)
{
    if (InitialiseModemAt(port, host, 115200, pin))
        return true;
    const unsigned steps[][2] = {{115200, 57600}, {57600, 38400}, {38400, 19200}, {19200, 9600}};
    for (const auto& step : steps) {
        Escape(port);
        if (InitialiseModemAt(port, host, step[0], pin) || InitialiseModemAt(port, host, step[1], pin))
            return true;
    }
    Escape(port);
    return InitialiseModemAt(port, host, 9600, pin);
}

// The test's messages: failures end the test with the error icon, owned by the page.
struct TestRun {
    AtPort& port;
    ModemHost& host;

    void Fail(const std::string& text) { host.Show(text, MessageIcon::Error, true); }

    // Sends a command whose write and answer must both come; false (after the message)
    // when either did not.
    bool Exchange(const char* command, const char* sendFailed, const char* noAnswer, AtAnswer& answer)
    {
        if (!port.Send(command)) {
            Fail(sendFailed);
            return false;
        }
        answer = port.Read(30);
        if (answer.count == 0) {
            Fail(noAnswer);
            return false;
        }
        return true;
    }

    // False when the PIN was refused (the test has ended).
    bool EnterPin(const std::string& pin)
    {
        AtAnswer state = ::Exchange(port, "AT+CPIN?\r", 5);
        if (ContainsNoCase(state.text, "READY") || !port.Send(PinCommand(pin)))
            return true;
        AtAnswer answer = port.Read(30);
        if (!ResponseIsOK(answer.text)) {
            Fail("Invalid PIN --\r\n\r\n" + answer.text);
            return false;
        }
        ::Exchange(port, "AT+CPIN?\r", 25);
        return true;
    }

    bool Initialise()
    {
        AtAnswer answer;
        if (!Exchange("ATE0V1\r", "Unable to send initialization command to modem",
                      "Error waiting for initialization response from modem", answer))
            return false;
        if (!ResponseIsOK(answer.text)) {
            Fail("Error initializing modem --\r\n\r\n" + answer.text);
            return false;
        }
        if (!Exchange("ATE0V1\r", "Unable to send initial command to modem",
                      "Error waiting for initial response from modem", answer))
            return false;
        if (!ResponseIsOK(answer.text)) {
            Fail("Error initialising modem --\r\n\r\n" + answer.text);
            return false;
        }
        return true;
    }

    // One pass of the SMS service retries: true when a command was accepted.
    bool SmsServicePass()
    {
        for (const char* command : {"AT+CSMS=0\r", "AT+CSMS=128\r", "AT+CSMS?\r"}) {
            if (!port.Send(command))
                return false;
            AtAnswer answer = port.Read(30);
            if (answer.count == 0)
                return false;
            bool query = command[7] == '?';
            if (ResponseIsOK(answer.text) && (!query || ContainsNoCase(answer.text, "+CSMS:")))
                return true;
        }
        return false;
    }

    // False when the test has ended; a modem that refuses every SMS service command is
    // still tested further.
    bool SelectSmsService()
    {
        const char* sendFailed = "Unable to send SMS initialization command to modem";
        const char* noAnswer = "Error waiting for SMS initialization response from modem";
        AtAnswer answer;
        for (const char* command : {"AT+CSMS=0\r", "AT+CSMS=128\r"}) {
            if (!Exchange(command, sendFailed, noAnswer, answer))
                return false;
            if (ResponseIsOK(answer.text))
                return true;
        }
        if (EnsureRadioOn(port)) {
            WaitForNetwork(port, host);
            for (int pass = 0; pass < 8; ++pass) {
                host.Sleep(5000);
                if (SmsServicePass())
                    break;
            }
        }
        return true;
    }

    // The send command must prompt (or stay silent): OK or ERROR means it is not supported.
    bool SendCommandSupported(const char* command, const char* unsupported)
    {
        if (!port.Send(command)) {
            Fail("Unable to send SMS message command to modem");
            return false;
        }
        AtAnswer answer = port.Read(5);
        if (answer.count != 0 && (ResponseIsOK(answer.text) || Contains(answer.text, "ERROR"))) {
            Fail(unsupported);
            return false;
        }
        return true;
    }

    // The success text, or empty when the test has ended.
    std::string SelectMessageFormat()
    {
        AtAnswer answer;
        if (!Exchange("AT+CMGF=0\r", "Unable to send SMS PDU mode initialization command to modem",
                      "Error waiting for SMS PDU mode initialization response from modem", answer))
            return {};
        if (ResponseIsOK(answer.text)) {
            if (!SendCommandSupported("AT+CMGS=86\r",
                                      "Modem does not properly support command for sending SMS (AT+CMGS)"))
                return {};
            return "Modem successfully tested!";
        }
        // Text mode: its own failures are reported but do not decide the test.
        if (!port.Send("AT+CMGF=1\r"))
            Fail("Unable to send SMS text mode initialization command to modem");
        else if (port.Read(30).count == 0)
            Fail("Error waiting for SMS text mode initialization response from modem");
        if (!SendCommandSupported("AT+CMGS=\"123456789\"\r",
                                  "Modem does not properly support command for sending SMS (AT+CMGS - text mode)"))
            return {};
        return "Modem successfully tested!\r\n\r\nModem supports text messages only.";
    }

    // Leaves the message-entry state the send command opened.
    void CancelMessageEntry()
    {
        port.Send("\x1b");
        host.Sleep(100);
        port.Send("\r");
        host.Sleep(100);
        ::Exchange(port, "AT\r", 5);
    }
};

} // namespace

const TimeoutProfile& ChosenTimeouts(const std::string& oldModemTimeouts, const TimeoutProfile& profile)
{
    return IniBool(oldModemTimeouts.c_str()) ? profile : kImmediateReturn;
}

bool IsDirectPortName(const std::string& name)
{
    if (name.size() < 5 || !StartsWithNoCase(name.data(), name.size(), "COM") || name.back() != ':')
        return false;
    for (size_t i = 3; i + 1 < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return false;
    }
    return true;
}

std::string OpenFailureMessage(const std::string& portName, unsigned long error, const std::string& systemText)
{
    char head[kMessageLimit];
    snprintf(head, sizeof head, "Unable to access modem at %s -- Error %lX -- ", portName.c_str(), error);
    std::string message = head + systemText;
    if (error == kAccessDenied)
        message += kPortInUse;
    if (message.size() > kMessageLimit - 1)
        message.resize(kMessageLimit - 1);
    return message;
}

bool ResponseIsOK(const std::string& text)
{
    return Contains(text, "\nOK") || Contains(text, "\rOK");
}

bool InitialiseModemAt(AtPort& port, ModemHost& host, unsigned bitsPerSecond, const std::string& pin)
{
    if (!port.SetSpeed(bitsPerSecond))
        return false;
    Exchange(port, "\r", 1);
    if (!pin.empty())
        Exchange(port, PinCommand(pin), 5);
    AtAnswer answer = Exchange(port, "ATE0V1\r", 5);
    if (answer.count == 0 || !ResponseIsOK(answer.text))
        return false;
    char text[64];
    snprintf(text, sizeof text, "Initialised modem at %u bps", bitsPerSecond);
    host.Show(text, MessageIcon::Information, false);
    return true;
}

bool SendResetCommand(AtPort& port)
{
    AtAnswer answer = Exchange(port, "AT+CFUN=?\r", 10);
    if (ResponseIsOK(answer.text) && ResetParameterOffered(answer.text) && ExchangeIsOK(port, "AT+CFUN=1,1\r", 10))
        return true;
    if (ExchangeIsOK(port, "AT*E2RESET=?\r", 10) && ExchangeIsOK(port, "AT*E2RESET\r", 10))
        return true;
    if (ExchangeIsOK(port, "AT!RESET\r", 10))
        return true;
    return ExchangeIsOK(port, "AT+CFUN=1\r", 10);
}

bool EnsureRadioOn(AtPort& port)
{
    if (!port.Send("AT+CFUN?\r"))
        return false;
    AtAnswer answer = port.Read(10);
    size_t at = After(answer.text, "+CFUN:");
    if (answer.count == 0 || at == std::string::npos)
        return false;
    at = SkipBlanks(answer.text, at);
    if (at < answer.text.size() && answer.text[at] == '1')
        return false; // already on
    answer = Exchange(port, "AT+CFUN=1\r", 10);
    return answer.count != 0 && ResponseIsOK(answer.text);
}

bool WaitForNetwork(AtPort& port, ModemHost& host)
{
    EnsureRadioOn(port);
    bool registered = false;
    for (int attempt = 0; attempt < 18 && !registered; ++attempt) {
        if (!port.Send("AT+COPS?\r"))
            return false;
        AtAnswer answer = port.Read(10);
        if (answer.count == 0)
            return false;
        if (!Contains(answer.text, "+COPS:"))
            continue;
        registered = OperatorListed(answer.text);
        if (!registered)
            host.Sleep(5000);
    }
    if (!registered)
        return false;
    // The message storage answers once the SIM has been read.
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (!port.Send("AT+CPMS?\r"))
            return false;
        AtAnswer answer = port.Read(10);
        if (answer.count == 0)
            return false;
        if (!Contains(answer.text, "+CMS ERROR"))
            return true;
        host.Sleep(2000);
    }
    return false;
}

bool ResetModemThroughPort(SerialPorts& ports, ModemHost& host, const std::string& portName, const std::string& pin)
{
    std::string name = portName.substr(0, kPortNameLimit);
    if (StartsWithNoCase(name.data(), name.size(), "COM") && (name.empty() || name.back() != ':'))
        name += ':';
    bool answered = false;
    bool resetDone = false;
    for (;;) {
        OpenedPort opened = ports.Open(name);
        if (opened.stage == OpenedPort::OpenFailed) {
            host.Show(OpenFailureMessage(name, opened.error, opened.errorText), MessageIcon::Error, false);
            return answered;
        }
        if (opened.stage != OpenedPort::Ready)
            return answered;
        AtPort& port = *opened.port;
        port.ApplyTimeouts(kOpeningTimeouts);
        if (FindSpeedWithEscapes(port, host, pin))
            answered = true;
        if (!answered || resetDone || !SendResetCommand(port))
            return answered;
        // The modem restarts: give it time before it is opened and found again.
        resetDone = true;
        opened.port.reset();
        host.Sleep(15000);
    }
}

std::unique_ptr<AtPort> OpenDirectModem(SerialPorts& ports, ModemHost& host, const std::string& portName,
                                        const std::string& pin)
{
    for (bool retry = false;; retry = true) {
        OpenedPort opened = ports.Open(portName);
        switch (opened.stage) {
        case OpenedPort::OpenFailed:
            host.Show(OpenFailureMessage(portName, opened.error, opened.errorText), MessageIcon::Error, false);
            return nullptr;
        case OpenedPort::SetupFailed:
            host.Show("SetupComm Failed", MessageIcon::None, false);
            return std::move(opened.port);
        case OpenedPort::StateFailed:
            host.Show("GetCommState Failed", MessageIcon::None, false);
            return std::move(opened.port);
        case OpenedPort::Ready:
            break;
        }
        opened.port->ApplyTimeouts(kOpeningTimeouts);
        for (unsigned speed : kDirectSpeeds) {
            if (InitialiseModemAt(*opened.port, host, speed, pin))
                return std::move(opened.port);
        }
        opened.port.reset();
        if (retry || !ResetModemThroughPort(ports, host, portName, pin))
            return nullptr;
    }
}

int RunSmsCapabilityTest(AtPort& port, ModemHost& host, const std::string& pin)
{
    TestRun run{port, host};
    port.ApplyTimeouts(kTestTimeouts);
    if (EnsureRadioOn(port))
        WaitForNetwork(port, host);
    if (!pin.empty() && !run.EnterPin(pin))
        return 0;
    if (!run.Initialise() || !run.SelectSmsService())
        return 0;
    std::string success = run.SelectMessageFormat();
    if (success.empty())
        return 0;
    run.CancelMessageEntry();
    host.Show(success, MessageIcon::Information, true);
    return 1;
}
