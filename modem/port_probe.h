// The probe of the COM ports on the wizard's modem page: which of the ports the system lists
// are asked, the one "AT\r" each port is sent and how long its answer is waited for, whether
// the answer is a modem's, and the lines of PORTPROBE.LOG that say what was done.
// Portable: no windows.h.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

// The only text a port is ever sent, at this speed, and the longest wait for its answer.
extern const char kProbeCommand[];
constexpr unsigned kProbeSpeed = 115200;
constexpr unsigned long kProbeAnswerMs = 1000;
// A modem answers AT in a few bytes: more than this without "OK" is not a modem.
constexpr size_t kProbeAnswerLimit = 512;

// "COM5", "com5:" and "\\.\COM5" -> "COM5"; a name that is not COM and digits -> "".
std::string ComPortName(const std::string& text);
// How a port is listed on the page and stored as "Modem1": "COM5" -> "COM5:".
std::string DirectPortEntry(const std::string& port);

// The answer to the probe as it comes in: a line "OK" makes it a modem's; a line "ERROR",
// or more than kProbeAnswerLimit bytes without an "OK", settles that it is not.
class ProbeAnswer {
public:
    void Add(const std::string& bytes);
    bool Settled() const { return settled_; }
    // The verdict when the wait is over: an "OK" that ends the answer without its line end
    // counts too.
    bool Answered() const;

private:
    void EndLine();

    std::string line_;
    size_t total_ = 0;
    bool settled_ = false;
    bool answered_ = false;
};

// What happened to one port.
struct ProbeOutcome {
    enum Kind {
        NotComPort,    // the system lists a name that is not COM and digits
        TelephonyPort, // the port of a listed telephony modem (detail: its name)
        ProbedBefore,  // asked already while the page is open
        OpenFailed,    // in use or missing: never disturbed (error, detail: the system's text)
        SendFailed,    // "AT\r" could not be written
        ReadFailed,    // the answer could not be read
        Answered,      // a modem: listed
        NoAnswer,      // silence, "ERROR" or anything else
        Stopped,       // the page closed while waiting
    } kind = NoAnswer;
    std::string port;
    std::string detail;
    unsigned long error = 0;
    unsigned long ms = 0;
};

// The ports of a round and those left out, from the names the system lists, the ports of
// the listed telephony modems (modem name, port) and the ports asked before. Each port once,
// in the order of its number.
struct ProbePlan {
    std::vector<std::string> ports;
    std::vector<ProbeOutcome> skipped;
};
ProbePlan PlanPortProbe(const std::vector<std::string>& listed,
                        const std::vector<std::pair<std::string, std::string>>& telephonyPorts,
                        const std::set<std::string>& probedBefore);

// One port opened for the probe, exclusively, at kProbeSpeed; its settings as found are put
// back when it goes.
class ProbeLine {
public:
    virtual ~ProbeLine() = default;
    virtual bool Send(const std::string& text) = 0;
    // Appends what comes within waitMs (possibly nothing); false on a read error.
    virtual bool Read(std::string& text, unsigned long waitMs) = 0;
};

class ProbeOpener {
public:
    virtual ~ProbeOpener() = default;
    // Null, with the system's error code and text, when the port cannot be had.
    virtual std::unique_ptr<ProbeLine> Open(const std::string& port, unsigned long& error, std::string& errorText) = 0;
};

// Reads are this long at most, so that a stop is seen soon.
constexpr unsigned long kProbeReadSliceMs = 50;

// Probes one port: opens it, sends kProbeCommand once and waits up to kProbeAnswerMs for
// the answer, reading in slices while stop is not set. clock: milliseconds.
ProbeOutcome ProbePort(ProbeOpener& opener, const std::string& port, const std::function<unsigned long()>& clock,
                       const std::atomic<bool>& stop);

// The log of a round: a heading with the count of names listed, then one line per port in
// the order of the ports' numbers.
std::string PortProbeLogText(size_t listedCount, std::vector<ProbeOutcome> outcomes);
