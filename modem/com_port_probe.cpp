#include "modem/com_port_probe.h"

#include <windows.h>

#include <mmsystem.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <utility>

#include "app/config_files.h"
#include "app/message_box.h"
#include "modem/modem_discovery.h"
#include "modem/port_probe.h"

namespace {

const char kLogFile[] = "PORTPROBE.LOG";
const char kSerialMap[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr DWORD kWriteWaitMs = 1000;
// A cancelled operation is waited for this long; one that does not end keeps its record.
constexpr DWORD kCancelSettleMs = 1000;
// Stop waits this long for a round: its threads end within a read slice of the stop.
constexpr DWORD kStopWaitMs = 3000;
// A probe thread needs little stack; a machine may list hundreds of ports in a 32-bit
// address space.
constexpr SIZE_T kProbeThreadStack = 64 * 1024;

// The names the system lists as serial ports: the data of the map's values.
std::vector<std::string> SystemComPorts()
{
    std::vector<std::string> ports;
    HKEY map = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialMap, 0, KEY_READ, &map) != ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; ++index) {
        char name[256];
        char data[256] = "";
        DWORD nameSize = sizeof name;
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        LONG result =
            RegEnumValueA(map, index, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize);
        if (result == ERROR_MORE_DATA)
            continue; // no port has so long a name
        if (result != ERROR_SUCCESS)
            break;
        if (type == REG_SZ) {
            data[dataSize < sizeof data ? dataSize : sizeof data - 1] = '\0';
            ports.push_back(data);
        }
    }
    RegCloseKey(map);
    return ports;
}

// One overlapped operation's record and buffer, on the heap: an operation that a driver
// does not end after its cancel keeps them for good rather than have them freed under it.
struct PortIo {
    OVERLAPPED record = {};
    char buffer[256] = {};
};

// Ends an operation that WriteFile or ReadFile left pending: waits up to waitMs, else
// cancels it. False when it failed or never ended (the record is then abandoned).
bool Complete(HANDLE port, PortIo* io, DWORD waitMs, DWORD& bytes)
{
    bytes = 0;
    if (WaitForSingleObject(io->record.hEvent, waitMs) != WAIT_OBJECT_0) {
        CancelIo(port);
        if (WaitForSingleObject(io->record.hEvent, kCancelSettleMs) != WAIT_OBJECT_0)
            return false;
    }
    GetOverlappedResult(port, &io->record, &bytes, FALSE);
    return true;
}

class ComProbeLine final : public ProbeLine {
public:
    ComProbeLine(HANDLE port, const DCB& found, const COMMTIMEOUTS& foundTimeouts)
        : port_(port), found_(found), foundTimeouts_(foundTimeouts)
    {
    }
    ~ComProbeLine() override
    {
        SetCommTimeouts(port_, &foundTimeouts_);
        SetCommState(port_, &found_);
        CloseHandle(port_);
    }
    ComProbeLine(const ComProbeLine&) = delete;
    ComProbeLine& operator=(const ComProbeLine&) = delete;

    bool Send(const std::string& text) override
    {
        std::string bytes = text;
        DWORD written = 0;
        return Transfer(false, bytes, kWriteWaitMs, written) && written == text.size();
    }

    bool Read(std::string& text, unsigned long waitMs) override
    {
        std::string bytes(sizeof PortIo::buffer, '\0');
        DWORD count = 0;
        if (!Transfer(true, bytes, waitMs, count))
            return false;
        text += bytes;
        if (count == 0)
            Sleep(waitMs < 10 ? waitMs : 10); // an immediate-return read found nothing
        return true;
    }

private:
    // One write of the bytes, or one read into them (up to their size), ended within waitMs.
    bool Transfer(bool read, std::string& bytes, DWORD waitMs, DWORD& count)
    {
        std::unique_ptr<PortIo> io(new PortIo);
        const DWORD size = static_cast<DWORD>(bytes.size());
        if (size > sizeof io->buffer)
            return false;
        io->record.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (!io->record.hEvent)
            return false;
        if (!read)
            memcpy(io->buffer, bytes.data(), size);
        count = 0;
        BOOL done = read ? ReadFile(port_, io->buffer, size, &count, &io->record)
                         : WriteFile(port_, io->buffer, size, &count, &io->record);
        bool ok = done != FALSE;
        if (done) {
            GetOverlappedResult(port_, &io->record, &count, FALSE); // the count of a done operation
        } else {
            DWORD error = GetLastError();
            if (error == ERROR_IO_PENDING && !Complete(port_, io.get(), waitMs, count)) {
                io.release(); // abandoned to the driver
                return false;
            }
            ok = error == ERROR_IO_PENDING || (read && error == ERROR_TIMEOUT);
        }
        if (read && ok)
            bytes.assign(io->buffer, count);
        CloseHandle(io->record.hEvent);
        return ok;
    }

    HANDLE port_;
    DCB found_;
    COMMTIMEOUTS foundTimeouts_;
};

class ComProbeOpener final : public ProbeOpener {
public:
    std::unique_ptr<ProbeLine> Open(const std::string& port, unsigned long& error, std::string& errorText) override
    {
        std::string device = "\\\\.\\" + port;
        HANDLE handle = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return Failed(GetLastError(), error, errorText);
        DCB found = {};
        found.DCBlength = sizeof found;
        COMMTIMEOUTS foundTimeouts = {};
        if (!GetCommState(handle, &found) || !GetCommTimeouts(handle, &foundTimeouts)) {
            DWORD failure = GetLastError();
            CloseHandle(handle);
            return Failed(failure, error, errorText);
        }
        std::unique_ptr<ProbeLine> line(new ComProbeLine(handle, found, foundTimeouts));
        DCB probe = found;
        probe.BaudRate = kProbeSpeed;
        probe.ByteSize = 8;
        probe.Parity = NOPARITY;
        probe.StopBits = ONESTOPBIT;
        probe.fBinary = TRUE;
        probe.fParity = FALSE;
        COMMTIMEOUTS immediate = {MAXDWORD, 0, 0, 0, 0};
        if (!SetCommState(handle, &probe) || !SetCommTimeouts(handle, &immediate))
            return Failed(GetLastError(), error, errorText); // the line puts back what was found
        return line;
    }

private:
    static std::unique_ptr<ProbeLine> Failed(DWORD failure, unsigned long& error, std::string& errorText)
    {
        error = failure;
        errorText = SystemErrorText(failure);
        return nullptr;
    }
};

} // namespace

// A round of the probe, shared by the page and the round's own thread; the last of the two
// to let go deletes it, so a round that outlives its page's wait touches nothing freed.
struct ProbeRound {
    LONG references = 2;
    std::atomic<bool> stop{false};
    std::atomic<bool> finished{false};
    HANDLE thread = nullptr;
    std::vector<std::string> telephonyModems;
    std::set<std::string> askedBefore;
    bool freshLog = false;
    CRITICAL_SECTION lock;
    std::vector<std::string> answered; // entries not yet taken by the page (under lock)
    std::vector<std::string> asked;    // ports sent the probe (under lock)

    ProbeRound() { InitializeCriticalSection(&lock); }
    ~ProbeRound() { DeleteCriticalSection(&lock); }
};

namespace {

void Release(ProbeRound* round)
{
    if (InterlockedDecrement(&round->references) == 0)
        delete round;
}

struct PortJob {
    ProbeRound* round;
    std::string port;
    ProbeOutcome outcome;
};

DWORD WINAPI ProbeOnePort(void* parameter)
{
    PortJob& job = *static_cast<PortJob*>(parameter);
    ComProbeOpener opener;
    job.outcome = ProbePort(
        opener, job.port, [] { return static_cast<unsigned long>(timeGetTime()); }, job.round->stop);
    ProbeOutcome::Kind kind = job.outcome.kind;
    EnterCriticalSection(&job.round->lock);
    if (kind == ProbeOutcome::Answered)
        job.round->answered.push_back(DirectPortEntry(job.port));
    if (kind != ProbeOutcome::OpenFailed && kind != ProbeOutcome::Stopped)
        job.round->asked.push_back(job.port);
    LeaveCriticalSection(&job.round->lock);
    return 0;
}

void WriteLog(const std::string& text, bool fresh)
{
    char folder[MAX_PATH];
    ProgramDataDirectory(folder);
    std::string path = std::string(folder) + kLogFile;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              fresh ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    SetFilePointer(file, 0, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

DWORD WINAPI RunRound(void* parameter)
{
    ProbeRound* round = static_cast<ProbeRound*>(parameter);
    std::vector<std::string> listed = SystemComPorts();
    std::vector<std::pair<std::string, std::string>> telephonyPorts;
    for (const std::string& modem : round->telephonyModems) {
        std::string port;
        if (FindModemPort(modem, port))
            telephonyPorts.emplace_back(modem, port);
    }
    ProbePlan plan = PlanPortProbe(listed, telephonyPorts, round->askedBefore);
    std::vector<PortJob> jobs(plan.ports.size());
    std::vector<HANDLE> threads;
    for (size_t i = 0; i < jobs.size(); ++i) {
        jobs[i].round = round;
        jobs[i].port = plan.ports[i];
        jobs[i].outcome.port = plan.ports[i];
        jobs[i].outcome.kind = ProbeOutcome::Stopped; // unless its thread runs
        HANDLE thread = CreateThread(nullptr, kProbeThreadStack, ProbeOnePort, &jobs[i],
                                     STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
        if (thread)
            threads.push_back(thread);
    }
    for (HANDLE thread : threads) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    std::vector<ProbeOutcome> outcomes = plan.skipped;
    for (const PortJob& job : jobs)
        outcomes.push_back(job.outcome);
    if (round->freshLog || !jobs.empty())
        WriteLog(PortProbeLogText(listed.size(), outcomes), round->freshLog);
    round->finished = true;
    Release(round);
    return 0;
}

} // namespace

void ComPortProbe::Start(const std::vector<std::string>& telephonyModems)
{
    if (round_ && !round_->finished)
        return;
    EndRound();
    ProbeRound* round = new ProbeRound;
    round->telephonyModems = telephonyModems;
    round->askedBefore = asked_;
    round->freshLog = !logStarted_;
    round->thread = CreateThread(nullptr, 0, RunRound, round, 0, nullptr);
    if (!round->thread) {
        delete round;
        return;
    }
    logStarted_ = true;
    round_ = round;
}

std::vector<std::string> ComPortProbe::TakeAnswered()
{
    std::vector<std::string> answered;
    answered.swap(untaken_);
    if (round_) {
        EnterCriticalSection(&round_->lock);
        answered.insert(answered.end(), round_->answered.begin(), round_->answered.end());
        round_->answered.clear();
        LeaveCriticalSection(&round_->lock);
    }
    return answered;
}

void ComPortProbe::Stop()
{
    if (!round_)
        return;
    round_->stop = true;
    WaitForSingleObject(round_->thread, kStopWaitMs);
    EndRound();
}

// Keeps what the round asked and found, and lets it go.
void ComPortProbe::EndRound()
{
    if (!round_)
        return;
    EnterCriticalSection(&round_->lock);
    asked_.insert(round_->asked.begin(), round_->asked.end());
    untaken_.insert(untaken_.end(), round_->answered.begin(), round_->answered.end());
    LeaveCriticalSection(&round_->lock);
    CloseHandle(round_->thread);
    Release(round_);
    round_ = nullptr;
}
