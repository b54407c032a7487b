#include "modem/port_probe.h"

#include <algorithm>
#include <cstdlib>

#include "base/text.h"
#include "modem/modem_trace.h"

const char kProbeCommand[] = "AT\r";

namespace {

// More digits than any port has is not a port name.
constexpr size_t kMaxPortDigits = 4;
// An answer is kept for the log up to this many bytes.
constexpr size_t kLoggedAnswer = 64;
// Longer lines are neither "OK" nor "ERROR": only their beginning is kept.
constexpr size_t kKeptLine = 8;

// The port's number, or -1 for a name that is not a port.
long PortNumber(const std::string& port)
{
    return ComPortName(port).empty() ? -1 : std::strtol(port.c_str() + 3, nullptr, 10);
}

void SortByPort(std::vector<ProbeOutcome>& outcomes)
{
    std::stable_sort(outcomes.begin(), outcomes.end(), [](const ProbeOutcome& a, const ProbeOutcome& b) {
        return PortNumber(a.port) < PortNumber(b.port);
    });
}

std::string OutcomeText(const ProbeOutcome& outcome)
{
    const std::string ms = std::to_string(outcome.ms) + " ms";
    const std::string answer = " (answer \"" + VisibleText(outcome.detail) + "\")";
    switch (outcome.kind) {
    case ProbeOutcome::NotComPort:
        return "skipped, not a COM port name";
    case ProbeOutcome::TelephonyPort:
        return "skipped, the port of the telephony modem \"" + outcome.detail + "\"";
    case ProbeOutcome::ProbedBefore:
        return "skipped, asked before while the page is open";
    case ProbeOutcome::OpenFailed: {
        std::string text = outcome.detail;
        while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        return "skipped, cannot be opened exclusively (in use or missing): error " + std::to_string(outcome.error) +
               (text.empty() ? "" : ", " + text);
    }
    case ProbeOutcome::SendFailed:
        return "\"AT\\r\" could not be sent in " + ms;
    case ProbeOutcome::ReadFailed:
        return "the answer could not be read, after " + ms;
    case ProbeOutcome::Answered:
        return "answered OK in " + ms + ", listed as " + DirectPortEntry(outcome.port) + answer;
    case ProbeOutcome::NoAnswer:
        return "no modem answer in " + ms + (outcome.detail.empty() ? "" : answer);
    case ProbeOutcome::Stopped:
        return "stopped after " + ms + ", the page closed";
    }
    return {};
}

} // namespace

std::string ComPortName(const std::string& text)
{
    std::string name = text;
    if (name.compare(0, 4, "\\\\.\\") == 0)
        name.erase(0, 4);
    if (!name.empty() && name.back() == ':')
        name.pop_back();
    if (name.size() < 4 || name.size() > 3 + kMaxPortDigits || !StartsWithNoCase(name.data(), name.size(), "COM"))
        return {};
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return {};
    }
    return "COM" + name.substr(3);
}

std::string DirectPortEntry(const std::string& port)
{
    return port + ":";
}

void ProbeAnswer::Add(const std::string& bytes)
{
    for (char c : bytes) {
        if (settled_)
            return;
        if (++total_ > kProbeAnswerLimit) {
            settled_ = true;
            line_.clear();
            return;
        }
        if (c == '\r' || c == '\n')
            EndLine();
        else if (line_.size() < kKeptLine)
            line_ += c;
    }
}

void ProbeAnswer::EndLine()
{
    if (line_ == "OK")
        answered_ = settled_ = true;
    else if (line_ == "ERROR")
        settled_ = true;
    line_.clear();
}

bool ProbeAnswer::Answered() const
{
    return answered_ || (!settled_ && line_ == "OK");
}

ProbePlan PlanPortProbe(const std::vector<std::string>& listed,
                        const std::vector<std::pair<std::string, std::string>>& telephonyPorts,
                        const std::set<std::string>& probedBefore)
{
    ProbePlan plan;
    std::set<std::string> seen;
    for (const std::string& text : listed) {
        ProbeOutcome skip;
        skip.port = ComPortName(text);
        if (skip.port.empty()) {
            skip.kind = ProbeOutcome::NotComPort;
            skip.port = text;
            plan.skipped.push_back(skip);
            continue;
        }
        if (!seen.insert(skip.port).second)
            continue;
        auto telephony = std::find_if(
            telephonyPorts.begin(), telephonyPorts.end(),
            [&](const std::pair<std::string, std::string>& modem) { return ComPortName(modem.second) == skip.port; });
        if (telephony != telephonyPorts.end()) {
            skip.kind = ProbeOutcome::TelephonyPort;
            skip.detail = telephony->first;
            plan.skipped.push_back(skip);
        } else if (probedBefore.count(skip.port)) {
            skip.kind = ProbeOutcome::ProbedBefore;
            plan.skipped.push_back(skip);
        } else {
            plan.ports.push_back(skip.port);
        }
    }
    std::stable_sort(plan.ports.begin(), plan.ports.end(),
                     [](const std::string& a, const std::string& b) { return PortNumber(a) < PortNumber(b); });
    SortByPort(plan.skipped);
    return plan;
}

ProbeOutcome ProbePort(ProbeOpener& opener, const std::string& port, const std::function<unsigned long()>& clock,
                       const std::atomic<bool>& stop)
{
    ProbeOutcome outcome;
    outcome.port = port;
    const unsigned long start = clock();
    std::unique_ptr<ProbeLine> line = opener.Open(port, outcome.error, outcome.detail);
    if (!line) {
        outcome.kind = ProbeOutcome::OpenFailed;
        outcome.ms = clock() - start;
        return outcome;
    }
    if (!line->Send(kProbeCommand)) {
        outcome.kind = ProbeOutcome::SendFailed;
        outcome.ms = clock() - start;
        return outcome;
    }
    const unsigned long sent = clock();
    ProbeAnswer answer;
    std::string text;
    outcome.kind = ProbeOutcome::NoAnswer;
    for (unsigned long waited = 0; !answer.Settled() && waited < kProbeAnswerMs; waited = clock() - sent) {
        if (stop.load()) {
            outcome.kind = ProbeOutcome::Stopped;
            break;
        }
        std::string chunk;
        bool read = line->Read(chunk, std::min(kProbeReadSliceMs, kProbeAnswerMs - waited));
        answer.Add(chunk);
        if (text.size() < kLoggedAnswer)
            text += chunk.substr(0, kLoggedAnswer - text.size());
        if (!read) {
            outcome.kind = ProbeOutcome::ReadFailed;
            break;
        }
    }
    if (answer.Answered())
        outcome.kind = ProbeOutcome::Answered;
    outcome.detail = text;
    outcome.ms = clock() - start;
    return outcome;
}

std::string PortProbeLogText(size_t listedCount, std::vector<ProbeOutcome> outcomes)
{
    SortByPort(outcomes);
    std::string text = "COM port probe: " + std::to_string(listedCount) + " port name(s) listed by the system\r\n";
    for (const ProbeOutcome& outcome : outcomes)
        text += VisibleText(outcome.port) + ": " + OutcomeText(outcome) + "\r\n";
    return text;
}
