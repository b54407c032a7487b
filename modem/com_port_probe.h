// The COM ports of the system (the registry's SERIALCOMM map) probed in the background for
// the wizard's modem page: one thread per port, each port opened exclusively and sent one
// "AT\r" (modem/port_probe.h), the ports that answered handed to the page, and what was done
// written to PORTPROBE.LOG beside MODEMTRACE.LOG.
#pragma once

#include <set>
#include <string>
#include <vector>

struct ProbeRound;

class ComPortProbe {
public:
    ComPortProbe() = default;
    ~ComPortProbe() { Stop(); }
    ComPortProbe(const ComPortProbe&) = delete;
    ComPortProbe& operator=(const ComPortProbe&) = delete;

    // Starts a round over the ports not asked yet while this probe lives, unless a round is
    // running. telephonyModems: the names of the listed telephony modems, whose ports
    // (FindModemPort) are left alone. The first round writes the log anew; later ones that
    // ask a port add to it.
    void Start(const std::vector<std::string>& telephonyModems);
    // The list entries ("COMn:") of the ports that answered since the last call.
    std::vector<std::string> TakeAnswered();
    // Tells a running round to stop and waits for it: its threads end within a read slice.
    void Stop();

private:
    void EndRound();

    ProbeRound* round_ = nullptr;
    std::set<std::string> asked_;
    std::vector<std::string> untaken_; // answered in a round that has ended
    bool logStarted_ = false;
};
