// Reading the Status page's sources. Each is read afresh on every call, except the list of
// modems, which is told unchanged from SMSGW.INI's size and write time.
#include "monitoring/status_sources.h"

#include <cstring>
#include <map>

#include "app/app_state.h"
#include "app/config_files.h"
#include "app/ini_files.h"
#include "base/text.h"
#include "services/service_control.h"
#include "spool/error_notes.h"
#include "spool/spool_files.h"

namespace {

void AddPortFlags(ServiceState& state, bool (*readFlags)(ServicePortFlags&))
{
    if (!state.active)
        return;
    ServicePortFlags flags;
    state.blockAvailable = readFlags(flags);
    state.byte2 = flags.byte2;
    state.byte4 = flags.byte4;
}

// Calls visit(name, isDirectory) for each entry of a folder (with backslash).
template <typename Visit>
void ForEachEntry(const std::string& folder, const char* pattern, Visit visit)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        visit(found.cFileName, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

std::string UpperCase(const char* text, size_t length)
{
    std::string upper(text, length);
    for (char& c : upper)
        c = AsciiUpper(c);
    return upper;
}

bool ReadStamp(const std::string& path, ULONGLONG& size, FILETIME& written)
{
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &attributes))
        return false;
    size = (ULONGLONG(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow;
    written = attributes.ftLastWriteTime;
    return true;
}

bool SameTime(const FILETIME& a, const FILETIME& b)
{
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

} // namespace

void ReadServiceStates(GatewayServiceMonitor& services, ServiceState& sms, ServiceState& mmsc)
{
    GatewayServiceStates states = services.Query();
    sms = ServiceState();
    mmsc = ServiceState();
    sms.installed = states.smsInstalled;
    sms.active = states.smsInstalled && states.smsActive;
    mmsc.installed = states.mmscInstalled;
    mmsc.active = states.mmscInstalled && states.mmscActive;
    AddPortFlags(sms, ReadSmsServicePortFlags);
    AddPortFlags(mmsc, ReadMmscServicePortFlags);
}

std::string PrivateDirectory()
{
    char directory[MAX_PATH];
    PrivateDataDirectory(directory);
    return directory;
}

// The queues are counted with the viewers' walk and name match, so that both give the same
// numbers whatever the folder and file names.
unsigned long CountSmsQueue()
{
    char root[MAX_PATH];
    GetSMSQueueDirectory(root);
    unsigned long count = 0;
    StoreWalker walker(PlatformStoreFileSystem(), Pruning::None);
    for (bool more = walker.First(root, "*.REQ"); more; more = walker.Next())
        ++count;
    return count;
}

unsigned long CountMmsQueue()
{
    char root[MAX_PATH];
    GetVASPQueueDirectory(root);
    // A message counts when its control file lies beside it.
    MmsQueueFiles files = WalkMmsQueue(PlatformStoreFileSystem(), root);
    unsigned long count = 0;
    for (const auto& message : files.messages)
        count += files.controls.count(ControlFileKey(message.first)) ? 1 : 0;
    return count;
}

std::string ModemErrors::Line(const std::string& privateDirectory)
{
    // Only the notes that exist are read, each by the name it was found under: one look at
    // the folder instead of one open per modem.
    std::map<std::string, std::string> notes; // capitals -> the name found
    ForEachEntry(privateDirectory, "*.ERR", [&](const char* name, bool folder) {
        if (!folder)
            notes.emplace(UpperCase(name, std::strlen(name)), name);
    });
    if (notes.empty())
        return std::string();
    ULONGLONG size = 0;
    FILETIME written = {};
    bool stamped = ReadStamp(appPaths.smsIni, size, written);
    if (!known_ || !stamped || size != iniSize_ || !SameTime(written, iniWritten_)) {
        ProfileIniStore smsgw = SmsGatewayIni();
        modems_.clear();
        for (std::string& modem : ConfiguredModems(smsgw.ReadSection("SMSGW"))) {
            std::string note = ModemErrorNoteName(modem.c_str());
            modems_.push_back({std::move(modem), UpperCase(note.c_str(), note.size())});
        }
        known_ = stamped;
        iniSize_ = size;
        iniWritten_ = written;
    }
    std::string line;
    for (const Modem& modem : modems_) {
        auto note = notes.find(modem.note);
        if (note == notes.end())
            continue;
        char text[kErrorNoteSize];
        ReadErrorNote(privateDirectory.c_str(), note->second, text);
        if (text[0])
            AppendModemError(line, modem.name, text);
    }
    return line;
}

namespace {

// A year's counter file; zeros when it is missing or cannot be read.
CounterYear ReadCounterYear(const std::string& privateDirectory, const char* counterName, unsigned year)
{
    std::string path = privateDirectory + CounterFileName(counterName, year);
    HANDLE file = OpenStoreFile(path.c_str());
    if (file == INVALID_HANDLE_VALUE)
        return CounterYear();
    uint8_t bytes[kCounterDays * 4];
    DWORD read = 0;
    bool ok = ReadFile(file, bytes, sizeof bytes, &read, nullptr) != 0;
    CloseHandle(file);
    return ok ? ParseCounterFile(bytes, read) : CounterYear();
}

} // namespace

CounterSums ReadCounterSums(const std::string& privateDirectory, const char* counterName, const SYSTEMTIME& today)
{
    unsigned year = today.wYear;
    CounterYear thisYear = ReadCounterYear(privateDirectory, counterName, year);
    CounterYear lastYear = {};
    if (DayOfYear(year, today.wMonth, today.wDay) < 30)
        lastYear = ReadCounterYear(privateDirectory, counterName, year - 1);
    return SumCounter(thisYear, lastYear, year, today.wMonth, today.wDay);
}
