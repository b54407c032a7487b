// Benchmark of the Status page's refresh, run by tools/bench_status.py:
//   status_bench.exe [--ticks N] [--rounds N]
// Prints the processor and wall time of one tick without a queue count (services' state,
// modem line, traffic counters), and the time of one queue count against a bare walk of
// the same folders (FindFirstFile over the queue roots and their sub-folders).
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

void ServicesPart(CounterFiles&)
{
    ServiceState sms, mmsc;
    ReadServiceStates(sms, mmsc);
    volatile bool sink = sms.installed && mmsc.installed;
    (void)sink;
}

void ModemPart(CounterFiles&)
{
    volatile size_t sink = modemErrors.Line(PrivateDirectory()).size();
    (void)sink;
}

void CounterPart(CounterFiles& counters)
{
    std::string directory = PrivateDirectory();
    SYSTEMTIME today;
    GetLocalTime(&today);
    uint64_t total = 0;
    for (const CounterRow& row : kCounterRows)
        for (const char* name : row.counters)
            if (name)
                total += counters.Sum(directory, name, today).last30;
    volatile uint64_t sink = total;
    (void)sink;
}

void Tick(CounterFiles& counters)
{
    ServicesPart(counters);
    ModemPart(counters);
    CounterPart(counters);
}

void TimePart(const char* name, void (*part)(CounterFiles&), CounterFiles& counters, int ticks)
{
    double cpu0 = ThreadCpuSeconds();
    for (int i = 0; i < ticks; ++i)
        part(counters);
    printf("%s-cpu-ms %.3f\n", name, (ThreadCpuSeconds() - cpu0) * 1000 / ticks);
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

    CounterFiles counters;
    Tick(counters); // the first tick reads every counter file
    double cpu0 = ThreadCpuSeconds();
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < ticks; ++i)
        Tick(counters);
    QueryPerformanceCounter(&end);
    printf("tick-cpu-ms %.3f\ntick-wall-ms %.3f\n", (ThreadCpuSeconds() - cpu0) * 1000 / ticks,
           Seconds(start, end) * 1000 / ticks);
    printf("modem-line-chars %u\n", static_cast<unsigned>(modemErrors.Line(PrivateDirectory()).size()));
    TimePart("services", ServicesPart, counters, ticks);
    TimePart("modem-line", ModemPart, counters, ticks);
    TimePart("counters", CounterPart, counters, ticks);

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
