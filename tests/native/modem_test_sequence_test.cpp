// The modem test's AT sequence against a scripted modem: what the program sends, how long
// it sleeps, and the one message each outcome shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "modem/at_sequence.h"
#include "modem/modem_naming.h"
#include "modem/modem_trace.h"

namespace {

const std::string OK = "\r\nOK\r\n";
const std::string ERR = "\r\nERROR\r\n";
const std::string PROMPT = "\r\n> ";
const std::string SILENT = "";

std::string Profile(const TimeoutProfile& p)
{
    return std::to_string(p.readInterval) + "," + std::to_string(p.readMultiplier) + "," +
           std::to_string(p.readConstant) + "," + std::to_string(p.writeMultiplier) + "," +
           std::to_string(p.writeConstant);
}

// A modem that answers each command from a script: successive answers per command (the
// last one repeats), an answer for everything else, silence at speeds it does not use.
struct ScriptedModem {
    std::map<std::string, std::vector<std::string>> answers = {
        {"ATE0V1\r", {OK}},
        {"AT+CFUN?\r", {"\r\n+CFUN: 1\r\n" + OK}},
        {"AT+CPIN?\r", {"\r\n+CPIN: READY\r\n" + OK}},
        {"AT+CSMS=0\r", {"\r\n+CSMS: 1,1,1\r\n" + OK}},
        {"AT+CMGF=0\r", {OK}},
        {"AT+CMGF=1\r", {OK}},
        {"AT+CMGS=86\r", {PROMPT}},
        {"AT+CMGS=\"123456789\"\r", {PROMPT}},
        {"AT\r", {OK}},
        {"+++ATH0\r", {OK}},
    };
    std::string otherwise = ERR;
    std::vector<unsigned> speeds;            // the speeds it answers at; empty: all
    std::map<std::string, int> failSendFrom; // command -> first failing send (0-based)
    std::vector<std::string> sent;           // every command, in order
    std::vector<std::string> steps;          // each read with its seconds, speed and time-out profile
    std::vector<unsigned> speedsSet;
    unsigned speed = 115200;
    std::map<std::string, int> seen;
    std::string last;
    int portsOpen = 0, mostPortsOpen = 0; // Windows opens a COM port only once at a time
};

class ScriptedPort : public AtPort {
public:
    explicit ScriptedPort(ScriptedModem& modem) : modem_(modem)
    {
        modem_.mostPortsOpen = std::max(modem_.mostPortsOpen, ++modem_.portsOpen);
    }
    ~ScriptedPort() override { --modem_.portsOpen; }
    bool Send(const std::string& text) override
    {
        modem_.sent.push_back(text);
        int count = modem_.seen[text]++;
        modem_.last = text;
        auto fail = modem_.failSendFrom.find(text);
        return fail == modem_.failSendFrom.end() || count < fail->second;
    }
    AtAnswer Read(unsigned seconds) override
    {
        std::string command = modem_.last.substr(0, modem_.last.find_last_not_of('\r') + 1);
        modem_.steps.push_back((command.empty() ? "CR" : command) + " " + std::to_string(seconds));
        const auto& speeds = modem_.speeds;
        if (!speeds.empty() && std::find(speeds.begin(), speeds.end(), modem_.speed) == speeds.end())
            return {};
        std::string text = modem_.otherwise;
        auto found = modem_.answers.find(modem_.last);
        if (modem_.last == "\r")
            text = "";
        else if (found != modem_.answers.end()) {
            size_t index = std::min<size_t>(modem_.seen[modem_.last] - 1, found->second.size() - 1);
            text = found->second[index];
        }
        return {text.size(), text};
    }
    bool SetSpeed(unsigned bitsPerSecond) override
    {
        modem_.speed = bitsPerSecond;
        modem_.speedsSet.push_back(bitsPerSecond);
        modem_.steps.push_back("speed " + std::to_string(bitsPerSecond));
        return true;
    }
    void ApplyTimeouts(const TimeoutProfile& p) override { modem_.steps.push_back("timeouts " + Profile(p)); }

private:
    ScriptedModem& modem_;
};

struct Shown {
    std::string text;
    MessageIcon icon;
    bool owned;
    bool operator==(const Shown& o) const { return text == o.text && icon == o.icon && owned == o.owned; }
};

struct RecordingHost : ModemHost {
    std::vector<unsigned> sleeps;
    std::vector<Shown> shown;
    void Sleep(unsigned ms) override { sleeps.push_back(ms); }
    void Show(const std::string& text, MessageIcon icon, bool owned) override { shown.push_back({text, icon, owned}); }
};

// Ports opened by name, all onto the same scripted modem; "denied" names fail to open.
struct ScriptedPorts : SerialPorts {
    ScriptedModem& modem;
    std::vector<std::string> opened;
    OpenedPort::Stage stage = OpenedPort::Ready;
    explicit ScriptedPorts(ScriptedModem& m) : modem(m) {}
    OpenedPort Open(const std::string& name) override
    {
        opened.push_back(name);
        OpenedPort port;
        port.stage = stage;
        if (stage == OpenedPort::OpenFailed) {
            port.error = 5;
            port.errorText = "Access is denied.\r\n";
        } else
            port.port.reset(new ScriptedPort(modem));
        return port;
    }
};

size_t Count(const std::vector<std::string>& sent, const std::string& command)
{
    return std::count(sent.begin(), sent.end(), command);
}

Shown Failure(const std::string& text)
{
    return {text, MessageIcon::Error, true};
}

// --- the capability test: one message per outcome ---

struct Outcome {
    const char* name;
    void (*script)(ScriptedModem&);
    int result;
    std::vector<Shown> shown;
};

const Shown kPassed = {"Modem successfully tested!", MessageIcon::Information, true};
const Shown kTextOnly = {"Modem successfully tested!\r\n\r\nModem supports text messages only.",
                         MessageIcon::Information, true};

const Outcome kOutcomes[] = {
    {"well-behaved modem", [](ScriptedModem&) {}, 1, {kPassed}},
    {"init write fails",
     [](ScriptedModem& m) { m.failSendFrom["ATE0V1\r"] = 0; },
     0,
     {Failure("Unable to send initialization command to modem")}},
    {"init silent",
     [](ScriptedModem& m) { m.answers["ATE0V1\r"] = {SILENT}; },
     0,
     {Failure("Error waiting for initialization response from modem")}},
    {"init refused",
     [](ScriptedModem& m) { m.answers["ATE0V1\r"] = {ERR}; },
     0,
     {Failure("Error initializing modem --\r\n\r\n" + ERR)}},
    {"second init write fails",
     [](ScriptedModem& m) { m.failSendFrom["ATE0V1\r"] = 1; },
     0,
     {Failure("Unable to send initial command to modem")}},
    {"second init silent",
     [](ScriptedModem& m) {
         m.answers["ATE0V1\r"] = {OK, SILENT};
     },
     0,
     {Failure("Error waiting for initial response from modem")}},
    {"second init refused",
     [](ScriptedModem& m) {
         m.answers["ATE0V1\r"] = {OK, ERR};
     },
     0,
     {Failure("Error initialising modem --\r\n\r\n" + ERR)}},
    {"SMS service write fails",
     [](ScriptedModem& m) { m.failSendFrom["AT+CSMS=0\r"] = 0; },
     0,
     {Failure("Unable to send SMS initialization command to modem")}},
    {"SMS service silent",
     [](ScriptedModem& m) { m.answers["AT+CSMS=0\r"] = {SILENT}; },
     0,
     {Failure("Error waiting for SMS initialization response from modem")}},
    {"second SMS service silent",
     [](ScriptedModem& m) {
         m.answers["AT+CSMS=0\r"] = {ERR};
         m.answers["AT+CSMS=128\r"] = {SILENT};
     },
     0,
     {Failure("Error waiting for SMS initialization response from modem")}},
    {"every SMS service refused, PDU mode works",
     [](ScriptedModem& m) { m.answers["AT+CSMS=0\r"] = {ERR}; },
     1,
     {kPassed}},
    {"PDU mode write fails",
     [](ScriptedModem& m) { m.failSendFrom["AT+CMGF=0\r"] = 0; },
     0,
     {Failure("Unable to send SMS PDU mode initialization command to modem")}},
    {"PDU mode silent",
     [](ScriptedModem& m) { m.answers["AT+CMGF=0\r"] = {SILENT}; },
     0,
     {Failure("Error waiting for SMS PDU mode initialization response from modem")}},
    {"send command write fails",
     [](ScriptedModem& m) { m.failSendFrom["AT+CMGS=86\r"] = 0; },
     0,
     {Failure("Unable to send SMS message command to modem")}},
    {"send command answered OK",
     [](ScriptedModem& m) { m.answers["AT+CMGS=86\r"] = {OK}; },
     0,
     {Failure("Modem does not properly support command for sending SMS (AT+CMGS)")}},
    {"send command answered +CMS ERROR",
     [](ScriptedModem& m) { m.answers["AT+CMGS=86\r"] = {"\r\n+CMS ERROR: 330\r\n"}; },
     0,
     {Failure("Modem does not properly support command for sending SMS (AT+CMGS)")}},
    {"send command silent", [](ScriptedModem& m) { m.answers["AT+CMGS=86\r"] = {SILENT}; }, 1, {kPassed}},
    {"text mode only, its mode command refused",
     [](ScriptedModem& m) {
         m.answers["AT+CMGF=0\r"] = {ERR};
         m.answers["AT+CMGF=1\r"] = {ERR};
     },
     1,
     {kTextOnly}},
    {"text mode command silent",
     [](ScriptedModem& m) {
         m.answers["AT+CMGF=0\r"] = {ERR};
         m.answers["AT+CMGF=1\r"] = {SILENT};
     },
     1,
     {Failure("Error waiting for SMS text mode initialization response from modem"), kTextOnly}},
    {"text mode command write fails",
     [](ScriptedModem& m) {
         m.answers["AT+CMGF=0\r"] = {ERR};
         m.failSendFrom["AT+CMGF=1\r"] = 0;
     },
     1,
     {Failure("Unable to send SMS text mode initialization command to modem"), kTextOnly}},
    {"text mode send refused",
     [](ScriptedModem& m) {
         m.answers["AT+CMGF=0\r"] = {ERR};
         m.answers["AT+CMGS=\"123456789\"\r"] = {ERR};
     },
     0,
     {Failure("Modem does not properly support command for sending SMS (AT+CMGS - text mode)")}},
};

TEST(ModemCapabilityTest, EachOutcomeShowsOneMessage)
{
    for (const Outcome& outcome : kOutcomes) {
        ScriptedModem modem;
        outcome.script(modem);
        ScriptedPort port(modem);
        RecordingHost host;
        EXPECT_EQ(RunSmsCapabilityTest(port, host, ""), outcome.result) << outcome.name;
        EXPECT_EQ(host.shown, outcome.shown) << outcome.name;
    }
}

TEST(ModemCapabilityTest, APassedTestLeavesTheMessageEntryState)
{
    ScriptedModem modem;
    ScriptedPort port(modem);
    RecordingHost host;
    ASSERT_EQ(RunSmsCapabilityTest(port, host, ""), 1);
    std::vector<std::string> tail(modem.sent.end() - 4, modem.sent.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"AT+CMGS=86\r", "\x1b", "\r", "AT\r"}));
    EXPECT_EQ(host.sleeps, (std::vector<unsigned>{100, 100}));
}

TEST(ModemCapabilityTest, PinIsSentOnlyWhenTheSimAsksForIt)
{
    ScriptedModem ready;
    ScriptedPort readyPort(ready);
    RecordingHost host;
    EXPECT_EQ(RunSmsCapabilityTest(readyPort, host, "1234"), 1);
    EXPECT_EQ(Count(ready.sent, "AT+CPIN=\"1234\"\r"), 0u);

    ScriptedModem locked;
    locked.answers["AT+CPIN?\r"] = {"\r\n+CPIN: SIM PIN\r\n" + OK, "\r\n+CPIN: READY\r\n" + OK};
    locked.answers["AT+CPIN=\"1234\"\r"] = {OK};
    ScriptedPort lockedPort(locked);
    EXPECT_EQ(RunSmsCapabilityTest(lockedPort, host, "1234"), 1);
    EXPECT_EQ(Count(locked.sent, "AT+CPIN=\"1234\"\r"), 1u);

    ScriptedModem wrong;
    wrong.answers["AT+CPIN?\r"] = {"\r\n+CPIN: SIM PIN\r\n" + OK};
    wrong.answers["AT+CPIN=\"9999\"\r"] = {"\r\n+CME ERROR: 16\r\n"};
    ScriptedPort wrongPort(wrong);
    RecordingHost wrongHost;
    EXPECT_EQ(RunSmsCapabilityTest(wrongPort, wrongHost, "9999"), 0);
    EXPECT_EQ(wrongHost.shown, (std::vector<Shown>{Failure("Invalid PIN --\r\n\r\n\r\n+CME ERROR: 16\r\n")}));
}

TEST(ModemCapabilityTest, RefusedSmsServiceIsRetriedAfterTheRadioComesOn)
{
    ScriptedModem modem;
    modem.answers["AT+CFUN?\r"] = {"\r\n+CFUN: 1\r\n" + OK, "\r\n+CFUN: 0\r\n" + OK, "\r\n+CFUN: 1\r\n" + OK};
    modem.answers["AT+CFUN=1\r"] = {OK};
    modem.answers["AT+COPS?\r"] = {"\r\n+COPS: 0,0,\"Net\"\r\n" + OK};
    modem.answers["AT+CPMS?\r"] = {OK};
    modem.answers["AT+CSMS=0\r"] = {ERR, ERR, ERR, OK};
    ScriptedPort port(modem);
    RecordingHost host;
    EXPECT_EQ(RunSmsCapabilityTest(port, host, ""), 1);
    EXPECT_EQ(Count(modem.sent, "AT+CSMS=0\r"), 4u); // accepted in the third pass
    EXPECT_EQ(std::count(host.sleeps.begin(), host.sleeps.end(), 5000u), 3);
}

// --- every read of a step with the seconds it waits ---

const std::string kRadioOff = "\r\n+CFUN: 0\r\n" + OK;
const std::string kRadioOn = "\r\n+CFUN: 1\r\n" + OK;
const std::string kOperator = "\r\n+COPS: 0,0,\"Net\"\r\n" + OK;

struct TimedSteps {
    const char* name;
    void (*script)(ScriptedModem&);
    void (*run)(ScriptedPorts&, RecordingHost&);
    std::vector<std::string> steps;
};

const TimedSteps kTimedSteps[] = {
    {"capability test: radio switched on, network, PIN accepted, PDU mode",
     [](ScriptedModem& m) {
         m.answers["AT+CFUN?\r"] = {kRadioOff, kRadioOn};
         m.answers["AT+CFUN=1\r"] = {OK};
         m.answers["AT+COPS?\r"] = {kOperator};
         m.answers["AT+CPMS?\r"] = {OK};
         m.answers["AT+CPIN?\r"] = {"\r\n+CPIN: SIM PIN\r\n" + OK};
         m.answers["AT+CPIN=\"1234\"\r"] = {OK};
     },
     [](ScriptedPorts& ports, RecordingHost& host) { RunSmsCapabilityTest(*ports.Open("COM5:").port, host, "1234"); },
     {"timeouts 200,0,1000,0,15000", "AT+CFUN? 10", "AT+CFUN=1 10", "AT+CFUN? 10", "AT+COPS? 10", "AT+CPMS? 10",
      "AT+CPIN? 5", "AT+CPIN=\"1234\" 30", "AT+CPIN? 25", "ATE0V1 30", "ATE0V1 30", "AT+CSMS=0 30", "AT+CMGF=0 30",
      "AT+CMGS=86 5", "AT 5"}},
    {"capability test: SMS service retried, text mode",
     [](ScriptedModem& m) {
         m.answers["AT+CFUN?\r"] = {kRadioOn, kRadioOff, kRadioOn};
         m.answers["AT+CFUN=1\r"] = {OK};
         m.answers["AT+COPS?\r"] = {kOperator};
         m.answers["AT+CPMS?\r"] = {OK};
         m.answers["AT+CSMS=0\r"] = {ERR, ERR, OK};
         m.answers["AT+CSMS?\r"] = {OK};
         m.answers["AT+CMGF=0\r"] = {ERR};
     },
     [](ScriptedPorts& ports, RecordingHost& host) { RunSmsCapabilityTest(*ports.Open("COM5:").port, host, ""); },
     {"timeouts 200,0,1000,0,15000", "AT+CFUN? 10", "ATE0V1 30", "ATE0V1 30", "AT+CSMS=0 30", "AT+CSMS=128 30",
      "AT+CFUN? 10", "AT+CFUN=1 10", "AT+CFUN? 10", "AT+COPS? 10", "AT+CPMS? 10", "AT+CSMS=0 30", "AT+CSMS=128 30",
      "AT+CSMS? 30", "AT+CSMS=0 30", "AT+CMGF=0 30", "AT+CMGF=1 30", "AT+CMGS=\"123456789\" 5", "AT 5"}},
    {"initialising at a speed with a PIN", [](ScriptedModem&) {},
     [](ScriptedPorts& ports, RecordingHost& host) { InitialiseModemAt(*ports.Open("COM5:").port, host, 9600, "42"); },
     {"speed 9600", "CR 1", "AT+CPIN=\"42\" 5", "ATE0V1 5"}},
    {"reset through the port: an escape, the second speed, the reset command offered",
     [](ScriptedModem& m) {
         m.speeds = {57600};
         m.answers["AT*E2RESET=?\r"] = {OK};
         m.answers["AT*E2RESET\r"] = {OK, ERR};
     },
     [](ScriptedPorts& ports, RecordingHost& host) { ResetModemThroughPort(ports, host, "COM5:", ""); },
     {"timeouts 200,0,1000,0,2000", "speed 115200", "CR 1", "ATE0V1 5", "+++ATH0 1", "speed 115200", "CR 1",
      "ATE0V1 5", "speed 57600", "CR 1", "ATE0V1 5", "AT+CFUN=? 10", "AT*E2RESET=? 10", "AT*E2RESET 10",
      "timeouts 200,0,1000,0,2000", "speed 115200", "CR 1", "ATE0V1 5", "+++ATH0 1", "speed 115200", "CR 1",
      "ATE0V1 5", "speed 57600", "CR 1", "ATE0V1 5"}},
    {"reset with the full reset parameter",
     [](ScriptedModem& m) {
         m.answers["AT+CFUN=?\r"] = {"\r\n+CFUN: (0,1),(0-1)\r\n" + OK};
         m.answers["AT+CFUN=1,1\r"] = {OK};
     },
     [](ScriptedPorts& ports, RecordingHost&) { SendResetCommand(*ports.Open("COM5:").port); },
     {"AT+CFUN=? 10", "AT+CFUN=1,1 10"}},
    {"no reset command accepted", [](ScriptedModem&) {},
     [](ScriptedPorts& ports, RecordingHost&) { SendResetCommand(*ports.Open("COM5:").port); },
     {"AT+CFUN=? 10", "AT*E2RESET=? 10", "AT!RESET 10", "AT+CFUN=1 10"}},
};

TEST(ModemSteps, EachReadWaitsItsSeconds)
{
    for (const TimedSteps& row : kTimedSteps) {
        ScriptedModem modem;
        row.script(modem);
        ScriptedPorts ports(modem);
        RecordingHost host;
        row.run(ports, host);
        EXPECT_EQ(modem.steps, row.steps) << row.name;
    }
}

TEST(ModemSteps, OldModemTimeoutsKeepsTheCallersProfile)
{
    for (const char* yes : {"Yes", "y", "1", "TRUE"})
        EXPECT_EQ(&ChosenTimeouts(yes, kTestTimeouts), &kTestTimeouts) << yes;
    for (const char* no : {"", "No", "0", "off"})
        EXPECT_EQ(Profile(ChosenTimeouts(no, kTestTimeouts)), "4294967295,0,0,0,0") << no;
}

// --- the network and the radio ---

TEST(ModemNetwork, WaitsForAnOperatorAndTheMessageStorage)
{
    ScriptedModem modem;
    modem.answers["AT+CFUN?\r"] = {"\r\n+CFUN: 0\r\n" + OK};
    modem.answers["AT+CFUN=1\r"] = {OK};
    modem.answers["AT+COPS?\r"] = {"\r\n+COPS: 0\r\n" + OK, "\r\n+COPS: 0\r\n" + OK, OK,
                                   "\r\n+COPS: 0, 0,\"Net\"\r\n" + OK};
    modem.answers["AT+CPMS?\r"] = {"\r\n+CMS ERROR: 310\r\n", "\r\n+CMS ERROR: 310\r\n",
                                   "\r\n+CPMS: \"SM\",0,30\r\n" + OK};
    ScriptedPort port(modem);
    RecordingHost host;
    EXPECT_TRUE(EnsureRadioOn(port));
    EXPECT_TRUE(WaitForNetwork(port, host));
    // An answer without +COPS: is an attempt without a pause.
    EXPECT_EQ(host.sleeps, (std::vector<unsigned>{5000, 5000, 2000, 2000}));
    EXPECT_EQ(Count(modem.sent, "AT+COPS?\r"), 4u);

    ScriptedModem never;
    never.answers["AT+COPS?\r"] = {"\r\n+COPS: 0\r\n" + OK};
    ScriptedPort neverPort(never);
    RecordingHost neverHost;
    EXPECT_FALSE(WaitForNetwork(neverPort, neverHost));
    EXPECT_EQ(Count(never.sent, "AT+COPS?\r"), 18u);
    EXPECT_EQ(Count(never.sent, "AT+CPMS?\r"), 0u);

    // Silence ends the wait at once, at either question.
    for (const char* silentAt : {"AT+COPS?\r", "AT+CPMS?\r"}) {
        ScriptedModem silent;
        silent.answers["AT+COPS?\r"] = {"\r\n+COPS: 0,0,\"Net\"\r\n" + OK};
        silent.answers[silentAt] = {SILENT};
        ScriptedPort silentPort(silent);
        EXPECT_FALSE(WaitForNetwork(silentPort, neverHost)) << silentAt;
        EXPECT_EQ(Count(silent.sent, silentAt), 1u) << silentAt;
    }

    ScriptedModem busyStorage;
    busyStorage.answers["AT+COPS?\r"] = {"\r\n+COPS: 0,0,\"Net\"\r\n" + OK};
    busyStorage.answers["AT+CPMS?\r"] = {"\r\n+CMS ERROR: 314\r\n"};
    ScriptedPort busyPort(busyStorage);
    EXPECT_FALSE(WaitForNetwork(busyPort, neverHost));
    EXPECT_EQ(Count(busyStorage.sent, "AT+CPMS?\r"), 10u);
}

TEST(ModemReset, UsesTheFirstResetCommandTheModemOffers)
{
    struct Case {
        const char* name;
        std::map<std::string, std::vector<std::string>> answers;
        bool accepted;
        const char* lastCommand;
    } cases[] = {
        {"full reset parameter",
         {{"AT+CFUN=?\r", {"\r\n+CFUN: (0,1,4), (0-1)\r\n" + OK}}, {"AT+CFUN=1,1\r", {OK}}},
         true,
         "AT+CFUN=1,1\r"},
        {"no reset parameter",
         {{"AT+CFUN=?\r", {"\r\n+CFUN: (0,1,4)\r\n" + OK}}, {"AT*E2RESET=?\r", {OK}}, {"AT*E2RESET\r", {OK}}},
         true,
         "AT*E2RESET\r"},
        {"!RESET", {{"AT!RESET\r", {OK}}}, true, "AT!RESET\r"},
        {"radio on as last resort", {{"AT+CFUN=1\r", {OK}}}, true, "AT+CFUN=1\r"},
        {"nothing accepted", {}, false, "AT+CFUN=1\r"},
    };
    for (const Case& c : cases) {
        ScriptedModem modem;
        modem.answers = c.answers;
        ScriptedPort port(modem);
        EXPECT_EQ(SendResetCommand(port), c.accepted) << c.name;
        EXPECT_EQ(modem.sent.back(), c.lastCommand) << c.name;
    }
}

// --- opening: speeds, resets and port errors ---

TEST(ModemOpening, DirectPortSpeedsAndTheResetFallback)
{
    // Only 2400 bit/s: the direct search finds it after the faster speeds.
    ScriptedModem slow;
    slow.speeds = {2400};
    ScriptedPorts slowPorts(slow);
    RecordingHost host;
    EXPECT_NE(OpenDirectModem(slowPorts, host, "COM5:", "1234"), nullptr);
    EXPECT_EQ(slow.speedsSet, (std::vector<unsigned>{115200, 57600, 38400, 19200, 9600, 2400}));
    EXPECT_EQ(Count(slow.sent, "AT+CPIN=\"1234\"\r"), 6u); // at every speed
    EXPECT_EQ(host.shown, (std::vector<Shown>{{"Initialised modem at 2400 bps", MessageIcon::Information, false}}));
    ScriptedModem refusing; // an answer, but not OK, is no speed found
    refusing.answers["ATE0V1\r"] = {ERR};
    ScriptedPort refusingPort(refusing);
    EXPECT_FALSE(InitialiseModemAt(refusingPort, host, 9600, ""));

    // The reset through the port stops at 9600 and never finds it; an escape before each
    // speed but the first.
    RecordingHost resetHost;
    slow.speedsSet.clear();
    slow.sent.clear();
    EXPECT_FALSE(ResetModemThroughPort(slowPorts, resetHost, "COM5", ""));
    EXPECT_EQ(slowPorts.opened.back(), "COM5:");
    EXPECT_EQ(slow.speedsSet, (std::vector<unsigned>{115200, 115200, 57600, 57600, 38400, 38400, 19200, 19200, 9600, 9600}));
    EXPECT_EQ(Count(slow.sent, "+++ATH0\r"), 5u);
    EXPECT_TRUE(resetHost.shown.empty());

    // A modem that answers nothing until it has been reached after an escape is reset
    // through the port (escapes between the speeds), reopened after 15 s and then found by
    // the second direct attempt.
    ScriptedModem stuck;
    stuck.answers["ATE0V1\r"] = {SILENT, SILENT, SILENT, SILENT, SILENT, SILENT, SILENT, SILENT, OK};
    stuck.answers["AT!RESET\r"] = {OK};
    ScriptedPorts stuckPorts(stuck);
    RecordingHost stuckHost;
    std::unique_ptr<AtPort> port = OpenDirectModem(stuckPorts, stuckHost, "COM5:", "");
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(stuckPorts.opened, (std::vector<std::string>{"COM5:", "COM5:", "COM5:", "COM5:"}));
    EXPECT_EQ(Count(stuck.sent, "AT!RESET\r"), 1u);
    EXPECT_EQ(stuck.mostPortsOpen, 1); // closed before the reset opens it again
    EXPECT_EQ(std::count(stuckHost.sleeps.begin(), stuckHost.sleeps.end(), 15000u), 1);
    EXPECT_EQ(std::vector<unsigned>(stuck.speedsSet.begin() + 6, stuck.speedsSet.begin() + 9),
              (std::vector<unsigned>{115200, 115200, 57600}));
}

TEST(ModemOpening, PortErrorsAreShownWithoutOwner)
{
    ScriptedModem modem;
    ScriptedPorts ports(modem);
    ports.stage = OpenedPort::OpenFailed;
    RecordingHost host;
    EXPECT_EQ(OpenDirectModem(ports, host, "COM9:", ""), nullptr);
    EXPECT_EQ(host.shown, (std::vector<Shown>{{"Unable to access modem at COM9: -- Error 5 -- Access is denied.\r\n"
                                               "\r\nAnother application is already using this device.",
                                               MessageIcon::Error, false}}));

    ports.stage = OpenedPort::SetupFailed;
    RecordingHost setupHost;
    EXPECT_NE(OpenDirectModem(ports, setupHost, "COM9:", ""), nullptr); // still tested after the message
    EXPECT_EQ(setupHost.shown, (std::vector<Shown>{{"SetupComm Failed", MessageIcon::None, false}}));
    ports.stage = OpenedPort::StateFailed;
    RecordingHost stateHost;
    EXPECT_NE(OpenDirectModem(ports, stateHost, "COM9:", ""), nullptr);
    EXPECT_EQ(stateHost.shown, (std::vector<Shown>{{"GetCommState Failed", MessageIcon::None, false}}));

    std::string longText(600, 'x');
    EXPECT_EQ(OpenFailureMessage("COM3:", 2, longText).size(), 499u);
    EXPECT_EQ(OpenFailureMessage("COM3:", 2, "x"), "Unable to access modem at COM3: -- Error 2 -- x");
}

TEST(ModemOpening, OnlyComDigitsColonIsADirectPort)
{
    for (const char* name : {"COM3:", "com12:", "Com1:"})
        EXPECT_TRUE(IsDirectPortName(name)) << name;
    for (const char* name : {"COM3", "COM3:x", "COM:", "COMx:", "Standard Modem", ""})
        EXPECT_FALSE(IsDirectPortName(name)) << name;
}

// --- names and choices ---

TEST(ModemNaming, SectionNames)
{
    EXPECT_EQ(ModemSectionName("Standard Modem"), "Modem - Standard Modem");
    EXPECT_EQ(ModemSectionName("SMPP - Provider"), "SMPP - Provider");
    EXPECT_EQ(ModemSectionName("qelsmsmodem - Pixel"), "qelsmsmodem - Pixel");
    EXPECT_EQ(ModemSectionName("Modem [USB]"), "Modem - Modem \\x5BUSB\\x5D");
}

TEST(ModemNaming, ChoicesOfTheModemPage)
{
    struct Case {
        const char* text;
        bool listed;
        ModemChoice::Kind kind;
        const char* modemName;
        const char* routeName;
    } cases[] = {
        {"", false, ModemChoice::Nothing, "", ""},
        {"Standard Modem", true, ModemChoice::WindowsModem, "Standard Modem", ""},
        {"QelSMSModem - Pixel 7", true, ModemChoice::PhoneModem, "QelSMSModem - Pixel 7", "Pixel 7"},
        {"qelsmsmodem - 10.0.0.5:8990", false, ModemChoice::PhoneModem, "qelsmsmodem - 10.0.0.5:8990", "10.0.0.5"},
        {"10.0.0.200:8990", false, ModemChoice::TypedAddress, "QelSMSModem - 10.0.0.200:8990", "10.0.0.200"},
        {"phone.local:8990", false, ModemChoice::TypedAddress, "QelSMSModem - phone.local:8990", "phone.local"},
        {"[fe80::1]:8990", false, ModemChoice::TypedAddress, "QelSMSModem - [fe80::1]:8990", "[fe80::1]"},
        {"fe80::1", false, ModemChoice::TypedAddress, "QelSMSModem - fe80::1", "fe80::1"},
        {"..\\..\\x:1", false, ModemChoice::NotAnAddress, "QelSMSModem - ..\\..\\x:1", "..\\..\\x"},
        {"a b:1", false, ModemChoice::NotAnAddress, "QelSMSModem - a b:1", "a b"},
        {"[x]y", false, ModemChoice::NotAnAddress, "QelSMSModem - [x]y", "[x]"},
        {"host:99999", false, ModemChoice::NotAnAddress, "QelSMSModem - host:99999", "host"},
    };
    for (const Case& c : cases) {
        ModemChoice choice = InterpretModemChoice(c.text, c.listed);
        EXPECT_EQ(choice.kind, c.kind) << c.text;
        EXPECT_EQ(choice.modemName, c.modemName) << c.text;
        EXPECT_EQ(choice.routeName, c.routeName) << c.text;
    }
}

// --- the trace ---

TEST(ModemTraceLog, KeepsThePinOutAndTimesEachLine)
{
    unsigned long now = 1000;
    ModemTrace trace([&] { return now; });
    ScriptedModem modem;
    modem.answers["AT+CPIN=\"4321\"\r"] = {"\r\n+CME ERROR: 16\r\n"};
    TracedPort port(std::unique_ptr<AtPort>(new ScriptedPort(modem)), trace);
    now = 1012;
    port.Send("AT+CPIN=\"4321\"\r");
    now = 1030;
    port.Read(30);
    trace.Note("message: Invalid PIN --\r\n\r\nAT+CPIN=\"4321\"\r\r\n+CME ERROR: 16");
    EXPECT_EQ(trace.Text().find("4321"), std::string::npos) << trace.Text();
    EXPECT_NE(trace.Text().find("      12 ms  > AT+CPIN=\"****\"\\r\r\n"), std::string::npos) << trace.Text();
    EXPECT_NE(trace.Text().find("      30 ms  < (30 s, 18 bytes) \\r\\n+CME ERROR: 16 (incorrect password)"), std::string::npos)
        << trace.Text();
    EXPECT_EQ(MaskPin("AT+CPIN=\"12"), "AT+CPIN=\"****");
    EXPECT_EQ(MaskPin("at+cpin=\"1\"\r\r\nOK AT+CPIN=\"22\r"), "at+cpin=\"****\"\r\r\nOK AT+CPIN=\"****\r");
}

} // namespace
