// The COM port probe of the modem page: which answers make a modem, which ports are asked,
// and what one port is sent and how long it is waited for.
#include <gtest/gtest.h>

#include "modem/port_probe.h"

namespace {

TEST(PortProbe, AnAnswerIsAModemsOnlyWithALineOK)
{
    const std::string mebibyte(1 << 20, 'x');
    struct Row {
        std::string answer;
        bool answered;
        bool settled;
    } rows[] = {
        {"\r\nOK\r\n", true, true},
        {"AT\r\r\nOK\r\n", true, true},         // echo, then OK
        {"\r\nRING\r\n\r\nOK\r\n", true, true}, // an unsolicited line first
        {"OK", true, false},                    // cut off at the end of the wait
        {"\r\nERROR\r\n", false, true},
        {"\r\nERROR\r\n\r\nOK\r\n", false, true}, // settled by the first result
        {"", false, false},
        {"BOOK\r\nOKAY\r\nOK?\r\n", false, false}, // OK inside a line is not a result
        {std::string("\x00\xff$GPGGA,1\r\n", 12), false, false},
        {mebibyte + "\r\nOK\r\n", false, true},                            // too much before any OK
        {std::string(kProbeAnswerLimit - 4, 'x') + "\nOK\n", true, true},  // the limit's last byte
        {std::string(kProbeAnswerLimit - 3, 'x') + "\nOK\n", false, true}, // one byte over it
    };
    for (const Row& row : rows) {
        std::string shown = row.answer.substr(0, 40);
        ProbeAnswer whole;
        whole.Add(row.answer);
        EXPECT_EQ(whole.Answered(), row.answered) << shown;
        EXPECT_EQ(whole.Settled(), row.settled) << shown;
        if (row.answer.size() > 4096)
            continue;
        ProbeAnswer bytes;
        for (char c : row.answer)
            bytes.Add(std::string(1, c));
        EXPECT_EQ(bytes.Answered(), row.answered) << shown << " byte by byte";
    }
}

TEST(PortProbe, OnlyCOMAndDigitsArePortNames)
{
    const char* rows[][2] = {
        {"COM9", "COM9"},
        {"com12:", "COM12"},
        {"\\\\.\\COM7", "COM7"},
        {"COM1234", "COM1234"},
        {"COM", ""},
        {"COM5x", ""},
        {"COMx5", ""},
        {"LPT1", ""},
        {"COM5::", ""},
        {"COM12345", ""},
        {"\\Device\\Serial0", ""},
        {"", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ComPortName(row[0]), row[1]) << row[0];
}

TEST(PortProbe, EachPortIsAskedOnceUnlessATelephonyModemHasItOrItWasAskedBefore)
{
    ProbePlan plan = PlanPortProbe({"COM10", "com3", "COM2", "COM3", "CNCA0", "COM6", "COM4", "COM09"},
                                   {{"Standard Modem", "com4"}, {"USB Modem", ""}}, {"COM6"});
    EXPECT_EQ(plan.ports, (std::vector<std::string>{"COM2", "COM3", "COM09", "COM10"})); // by the decimal number
    ASSERT_EQ(plan.skipped.size(), 3u);
    EXPECT_EQ(plan.skipped[0].kind, ProbeOutcome::NotComPort);
    EXPECT_EQ(plan.skipped[0].port, "CNCA0");
    EXPECT_EQ(plan.skipped[1].kind, ProbeOutcome::TelephonyPort);
    EXPECT_EQ(plan.skipped[1].port + "=" + plan.skipped[1].detail, "COM4=Standard Modem");
    EXPECT_EQ(plan.skipped[2].kind, ProbeOutcome::ProbedBefore);
    EXPECT_EQ(plan.skipped[2].port, "COM6");
}

// A port whose answer comes after a delay; the clock moves by what each read waits.
struct ScriptedPort {
    bool opens = true;
    std::string answer;
    unsigned long answerAfterMs = 0;
    std::vector<std::string> sent;
    std::vector<unsigned long> waits;
    unsigned long now = 0;
    bool given = false;
    bool closed = false;
};

class ScriptedLine : public ProbeLine {
public:
    explicit ScriptedLine(ScriptedPort& port) : port_(port) {}
    ~ScriptedLine() override { port_.closed = true; }
    bool Send(const std::string& text) override
    {
        port_.sent.push_back(text);
        return true;
    }
    bool Read(std::string& text, unsigned long waitMs) override
    {
        port_.waits.push_back(waitMs);
        port_.now += waitMs;
        if (!port_.given && !port_.answer.empty() && port_.now >= port_.answerAfterMs) {
            text += port_.answer;
            port_.given = true;
        }
        return true;
    }

private:
    ScriptedPort& port_;
};

class ScriptedOpener : public ProbeOpener {
public:
    explicit ScriptedOpener(ScriptedPort& port) : port_(port) {}
    std::unique_ptr<ProbeLine> Open(const std::string&, unsigned long& error, std::string& text) override
    {
        if (!port_.opens) {
            error = 32;
            text = "in use";
            return nullptr;
        }
        return std::unique_ptr<ProbeLine>(new ScriptedLine(port_));
    }

private:
    ScriptedPort& port_;
};

ProbeOutcome Probe(ScriptedPort& port, bool stop = false)
{
    ScriptedOpener opener(port);
    std::atomic<bool> stopped{stop};
    return ProbePort(
        opener, "COM5", [&] { return port.now; }, stopped);
}

TEST(PortProbe, APortIsSentOneATAndWaitedForOneSecondAtMost)
{
    ScriptedPort silent;
    ProbeOutcome outcome = Probe(silent);
    EXPECT_EQ(outcome.kind, ProbeOutcome::NoAnswer);
    EXPECT_EQ(silent.sent, (std::vector<std::string>{"AT\r"}));
    EXPECT_EQ(outcome.ms, kProbeAnswerMs);
    for (unsigned long wait : silent.waits)
        EXPECT_LE(wait, kProbeReadSliceMs);
    EXPECT_TRUE(silent.closed);

    ScriptedPort modem;
    modem.answer = "AT\r\r\nOK\r\n";
    modem.answerAfterMs = 120;
    outcome = Probe(modem);
    EXPECT_EQ(outcome.kind, ProbeOutcome::Answered);
    EXPECT_LT(outcome.ms, 200u); // not the whole second
    EXPECT_EQ(outcome.detail, modem.answer);

    ScriptedPort chatty;
    chatty.answer = std::string(100, '#') + "\r\nOK\r\n";
    outcome = Probe(chatty);
    EXPECT_EQ(outcome.kind, ProbeOutcome::Answered);
    EXPECT_EQ(outcome.detail, chatty.answer.substr(0, 64)); // what the log keeps of it

    ScriptedPort late;
    late.answer = "\r\nOK\r\n";
    late.answerAfterMs = kProbeAnswerMs + 1;
    EXPECT_EQ(Probe(late).kind, ProbeOutcome::NoAnswer);
}

TEST(PortProbe, APortThatCannotBeOpenedOrAPageThatClosesEndsTheProbe)
{
    ScriptedPort held;
    held.opens = false;
    ProbeOutcome outcome = Probe(held);
    EXPECT_EQ(outcome.kind, ProbeOutcome::OpenFailed);
    EXPECT_EQ(outcome.error, 32u);
    EXPECT_TRUE(held.sent.empty());

    ScriptedPort stopped;
    EXPECT_EQ(Probe(stopped, true).kind, ProbeOutcome::Stopped);
    EXPECT_TRUE(stopped.waits.empty());
    EXPECT_TRUE(stopped.closed);
}

TEST(PortProbe, TheLogNamesEveryPortInOrderWithItsOutcome)
{
    ProbeOutcome answered{ProbeOutcome::Answered, "COM10", "\r\nOK\r\n", 0, 7};
    ProbeOutcome held{ProbeOutcome::OpenFailed, "COM7", "Sharing violation.\r\n", 32, 1};
    ProbeOutcome silent{ProbeOutcome::NoAnswer, "COM6", "", 0, 1000};
    ProbeOutcome lpt{ProbeOutcome::NotComPort, "LPT1", "", 0, 0}, cnca{ProbeOutcome::NotComPort, "CNCA0", "", 0, 0};
    EXPECT_EQ(PortProbeLogText(5, {answered, lpt, held, cnca, silent}),
              "COM port probe: 5 port name(s) listed by the system\r\n"
              "LPT1: skipped, not a COM port name\r\n"
              "CNCA0: skipped, not a COM port name\r\n"
              "COM6: no modem answer in 1000 ms\r\n"
              "COM7: skipped, cannot be opened exclusively (in use or missing): error 32, Sharing violation.\r\n"
              "COM10: answered OK in 7 ms, listed as COM10: (answer \"\\r\\nOK\\r\\n\")\r\n");
}

} // namespace
