// Reading the Status page's sources: each is read afresh on every call, except the counter
// files, which are read again only when they have changed.
#include "monitoring/status_sources.h"

#include <cstring>
#include <set>
#include <vector>

#include "app/config_files.h"
#include "app/ini_files.h"
#include "base/text.h"
#include "services/service_control.h"
#include "spool/error_notes.h"
#include "spool/spool_files.h"

namespace {

ServiceState StateOf(bool installed, bool active, bool (*readFlags)(ServicePortFlags&))
{
    ServiceState state;
    state.installed = installed;
    state.active = installed && active;
    if (state.active) {
        ServicePortFlags flags;
        state.blockAvailable = readFlags(flags);
        state.byte2 = flags.byte2;
        state.byte4 = flags.byte4;
    }
    return state;
}

// Calls visit(name, isDirectory) for each entry of a folder (with backslash) matching
// pattern.
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

// The queue's root and the sub-queue folders in it, each with a backslash.
std::vector<std::string> QueueFolders(const std::string& root)
{
    std::vector<std::string> folders = {root};
    ForEachEntry(root, "*", [&](const char* name, bool directory) {
        if (directory && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
            folders.push_back(root + name + "\\");
    });
    return folders;
}

std::string UpperCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(AsciiUpper(c));
    return text;
}

// A file's name without its extension, in upper case.
std::string BaseName(const char* name)
{
    std::string text(name);
    size_t dot = text.rfind('.');
    return UpperCase(dot == std::string::npos ? text : text.substr(0, dot));
}

bool SameStamp(const FILETIME& a, const FILETIME& b)
{
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

} // namespace

ServiceState SmsServiceState()
{
    bool installed = IsSmsServiceInstalled();
    return StateOf(installed, installed && IsSmsServiceActive(), ReadSmsServicePortFlags);
}

ServiceState MmscServiceState()
{
    bool installed = IsMmscServiceInstalled();
    return StateOf(installed, installed && IsMmscServiceActive(), ReadMmscServicePortFlags);
}

unsigned long CountSmsQueue()
{
    char root[MAX_PATH];
    GetSMSQueueDirectory(root);
    unsigned long count = 0;
    for (const std::string& folder : QueueFolders(root))
        ForEachEntry(folder, "*.REQ", [&](const char*, bool directory) { count += directory ? 0 : 1; });
    return count;
}

unsigned long CountMmsQueue()
{
    char root[MAX_PATH];
    GetVASPQueueDirectory(root);
    unsigned long count = 0;
    for (const std::string& folder : QueueFolders(root)) {
        // One look at the folder gives both the messages and their control files.
        std::vector<std::string> messages;
        std::set<std::string> controls;
        ForEachEntry(folder, "*", [&](const char* name, bool directory) {
            if (directory)
                return;
            size_t length = std::strlen(name);
            if (length > 4 && EqualsNoCase(name + length - 4, ".MMS"))
                messages.push_back(BaseName(name));
            else if (length > 4 && EqualsNoCase(name + length - 4, ".INI"))
                controls.insert(BaseName(name));
        });
        for (const std::string& message : messages)
            count += controls.count(message);
    }
    return count;
}

std::string ModemErrorLine()
{
    ProfileIniStore smsgw = SmsGatewayIni();
    std::vector<std::string> modems = ConfiguredModems(smsgw.ReadSection("SMSGW"));
    if (modems.empty())
        return std::string();
    // Only the notes that exist are read: one look at the folder instead of one open per modem.
    char directory[MAX_PATH];
    PrivateDataDirectory(directory);
    std::set<std::string> notes;
    ForEachEntry(directory, "*.ERR", [&](const char* name, bool folder) {
        if (!folder)
            notes.insert(UpperCase(name));
    });
    std::string line;
    for (const std::string& modem : modems) {
        if (!notes.count(UpperCase(ModemErrorNoteName(modem.c_str()))))
            continue;
        char text[kErrorNoteSize];
        ReadModemErrorText(modem.c_str(), text);
        if (text[0])
            AppendModemError(line, modem, text);
    }
    return line;
}

const CounterYear& CounterFiles::Year(const char* counterName, unsigned year)
{
    char directory[MAX_PATH];
    PrivateDataDirectory(directory);
    std::string path = directory + CounterFileName(counterName, year);
    Cached& cached = files_[UpperCase(path)];
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &attributes)) {
        cached = Cached();
        return cached.counts;
    }
    ULONGLONG size = (ULONGLONG(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow;
    if (cached.present && cached.size == size && SameStamp(cached.written, attributes.ftLastWriteTime))
        return cached.counts;
    cached = Cached();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return cached.counts;
    uint8_t bytes[kCounterDays * 4];
    DWORD read = 0;
    if (ReadFile(file, bytes, sizeof bytes, &read, nullptr)) {
        cached.counts = ParseCounterFile(bytes, read);
        cached.present = true;
        cached.size = size;
        cached.written = attributes.ftLastWriteTime;
    }
    CloseHandle(file);
    return cached.counts;
}

CounterSums CounterFiles::Sum(const char* counterName, const SYSTEMTIME& today)
{
    unsigned year = today.wYear;
    const CounterYear& thisYear = Year(counterName, year);
    static const CounterYear kNone = {};
    bool needsLastYear = DayOfYear(year, today.wMonth, today.wDay) < 30;
    const CounterYear& lastYear = needsLastYear ? Year(counterName, year - 1) : kNone;
    return SumCounter(thisYear, lastYear, year, today.wMonth, today.wDay);
}
