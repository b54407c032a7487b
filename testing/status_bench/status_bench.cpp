// Benchmark of the Status page's refresh, run by tools/bench_status.py:
//   status_bench.exe [--ticks N] [--rounds N]
// Prints the processor time of one tick without a queue count (services' state, modem line,
// traffic counters; the median of the rounds) against the bare platform calls of the same
// sources, and the time of one queue count against a bare walk of the same folders
// (FindFirstFile over the queue roots and their sub-folders).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/config_files.h"
#include "monitoring/status_sources.h"

namespace {

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

double ThreadCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& t) { return double((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime); };
    return (value(kernel) + value(user)) / 1e7;
}

// The parts of a tick, each timed on its own as well.
ModemErrors modemErrors;
GatewayServiceMonitor services;
std::string privateDirectory; // found once, as the page finds it when it opens

void ServicesPart()
{
    ServiceState sms, mmsc;
    ReadServiceStates(services, sms, mmsc);
    volatile bool sink = sms.installed && mmsc.installed;
    (void)sink;
}

void ModemPart()
{
    volatile size_t sink = modemErrors.Line(privateDirectory).size();
    (void)sink;
}

void CounterPart()
{
    SYSTEMTIME today;
    GetLocalTime(&today);
    uint64_t total = 0;
    for (const CounterRow& row : kCounterRows)
        for (const char* name : row.counters)
            if (name)
                total += ReadCounterSums(privateDirectory, name, today).last30;
    volatile uint64_t sink = total;
    (void)sink;
}

void Tick()
{
    ServicesPart();
    ModemPart();
    CounterPart();
}

// The baseline: the platform calls a tick cannot do without, made bare. Both services
// opened and queried through a kept manager, one look for the error notes and each note
// read, each counter file of this year opened, read and closed.
SC_HANDLE bareManager = nullptr;

void ReadBare(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    char bytes[kCounterDays * 4];
    DWORD read = 0;
    ReadFile(file, bytes, sizeof bytes, &read, nullptr);
    CloseHandle(file);
}

void BareTick()
{
    for (const char* name : {"QelSMS", "QelMMSC"}) {
        if (SC_HANDLE service = OpenServiceA(bareManager, name, SERVICE_QUERY_STATUS)) {
            SERVICE_STATUS status;
            QueryServiceStatus(service, &status);
            CloseServiceHandle(service);
        }
    }
    const std::string& directory = privateDirectory;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((directory + "*.ERR").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do
            ReadBare(directory + found.cFileName);
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    SYSTEMTIME today;
    GetLocalTime(&today);
    for (const CounterRow& row : kCounterRows)
        for (const char* name : row.counters)
            if (name)
                ReadBare(directory + CounterFileName(name, today.wYear));
}

// Processor time of one call, in ms.
double CpuMs(void (*part)(), int calls)
{
    double cpu0 = ThreadCpuSeconds();
    for (int i = 0; i < calls; ++i)
        part();
    return (ThreadCpuSeconds() - cpu0) * 1000 / calls;
}

unsigned long BareWalk(const std::string& root)
{
    unsigned long entries = 0;
    std::vector<std::string> folders = {root};
    WIN32_FIND_DATAA found;
    for (size_t i = 0; i < folders.size(); ++i) {
        HANDLE search = FindFirstFileA((folders[i] + "*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (directory && i == 0 && strcmp(found.cFileName, ".") && strcmp(found.cFileName, ".."))
                folders.push_back(folders[i] + found.cFileName + "\\");
            entries += directory ? 0 : 1;
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return entries;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    int ticks = 1000, rounds = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!strcmp(argv[i], "--ticks"))
            ticks = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--rounds"))
            rounds = atoi(argv[i + 1]);
    }
    appInstance = GetModuleHandleA(nullptr);
    InitModulePaths();
    PrepareConfiguration();

    bareManager = OpenSCManagerA(nullptr, nullptr, GENERIC_READ);
    privateDirectory = PrivateDirectory();
    Tick(); // the first tick reads SMSGW.INI's modems
    // The rounds take turns, so that a change of the machine's load meets every figure alike;
    // each figure is the median of its rounds.
    struct Figure {
        const char* name;
        void (*part)();
        std::vector<double> rounds;
    } figures[] = {{"tick-cpu-ms", Tick, {}},
                   {"bare-tick-cpu-ms", BareTick, {}},
                   {"services-cpu-ms", ServicesPart, {}},
                   {"modem-line-cpu-ms", ModemPart, {}},
                   {"counters-cpu-ms", CounterPart, {}}};
    for (int round = 0; round < rounds; ++round)
        for (Figure& figure : figures)
            figure.rounds.push_back(CpuMs(figure.part, ticks));
    for (const Figure& figure : figures)
        printf("%s %.3f\n", figure.name, Median(figure.rounds));
    printf("modem-line-chars %u\n", static_cast<unsigned>(modemErrors.Line(privateDirectory).size()));
    CloseServiceHandle(bareManager);

    LARGE_INTEGER start, end;
    char smsRoot[MAX_PATH], mmsRoot[MAX_PATH];
    GetSMSQueueDirectory(smsRoot);
    GetVASPQueueDirectory(mmsRoot);
    std::vector<double> counted, bare;
    unsigned long sms = 0, mms = 0, entries = 0;
    for (int round = 0; round < rounds; ++round) {
        QueryPerformanceCounter(&start);
        sms = CountSmsQueue();
        mms = CountMmsQueue();
        QueryPerformanceCounter(&end);
        counted.push_back(Seconds(start, end) * 1000);
        QueryPerformanceCounter(&start);
        entries = BareWalk(smsRoot) + BareWalk(mmsRoot);
        QueryPerformanceCounter(&end);
        bare.push_back(Seconds(start, end) * 1000);
    }
    printf("sms-queue %lu\nmms-queue %lu\nbare-entries %lu\n", sms, mms, entries);
    printf("queue-count-ms %.1f\nbare-walk-ms %.1f\nqueue-ratio %.2f\n", Median(counted), Median(bare),
           Median(counted) / Median(bare));
    return 0;
}
