// The gateway part of the stand-in services. The thread waits on the queue's wake-up events
// (the ones GWCORE.DLL's SetEventForInterface sets) and polls the queue folder every 500 ms;
// each TEST* request it finds is handled by the scenario STANDIN.INI names at that moment:
//
//   TestScenario=ok       delete the request, log it OK in the day log
//   TestScenario=fail     delete the request, log it with ErrorText
//   TestScenario=retry    write RetryCount=2 and LastErrorInfo=ErrorText into the request, keep
//                         it, and finish it as "ok" FinishAfterMs later
//   TestScenario=offline  write ErrorText into the modem's (MMSC: the route's) error note in
//                         the private data folder and keep the request
//   TestScenario=hold     keep the request open without share-delete until the service stops
//   TestScenario=late     delete the request and log it OK only LateMs later
//
// Two more keys make the stand-in look like a gateway at work (the demo uses them):
//
//   Counters=1            count what the service does in the counter files (STATS\<name>-<year>.CTR
//                         in the private data folder): SMSSUBMIT and SMSSENT (or SMSFAILED) for
//                         each test SMS, MMSIN-VASP and MMSOUT-MMSC for each test MMS, and the
//                         received messages below (SMSRECEIVED, MMSIN-MODEM)
//   ReceiveEveryMs=N      every N ms (the first at once) drop a received message into the store:
//                         the SMS service an SMS into SMS-IN, the MMSC an MMS with a picture and
//                         a text part into MMS-IN (ReceivePicture=<path> names the picture;
//                         without it a small built-in one); the log gets "received <file>"
//
// ErrorText defaults to "ERROR: 500 Modem error". STANDIN.LOG gets "took <file>",
// "logged <name> <outcome>", "retry <name>", "offline <name>", "holding <name>",
// "late <name>", "gone <name>" (a kept request deleted by someone else) and
// "unknown-scenario <name> <scenario>".
#include "testing/standins/gateway_standin.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "spool/error_notes.h"

namespace {

const DWORD kPollMs = 500;
const char kDefaultErrorText[] = "ERROR: 500 Modem error";
const char kMmscRoute[] = "qelsmslite";

// A request taken but not finished: waiting for its time (retry, late) or kept for good
// (offline, hold, unknown scenarios) until it disappears.
struct PendingRequest {
    std::string name;      // without extension
    std::string phone;     // the recipient, for the day log
    bool finishes = false; // retry and late: finished at dueTick
    bool deleteAtDue = false;
    DWORD dueTick = 0;
    HANDLE held = INVALID_HANDLE_VALUE;
};

struct Gateway {
    GatewayStandinSetup setup;
    std::string dataDir;
    std::string privateDir;
    std::string queueDir;
    std::string storeDir;                          // SMS-IN or MMS-IN
    std::string route;                             // the SMS modem (Modem1) or the MMSC route
    std::map<std::string, PendingRequest> pending; // by upper-case request file name
    HANDLE events[2] = {nullptr, nullptr};
    std::string eventRoute;
    bool receiving = false; // a received message already dropped this run
    DWORD nextReceiveTick = 0;
    unsigned receivedCount = 0;
};

std::string WithBackslash(std::string path)
{
    if (!path.empty() && path.back() != '\\' && path.back() != '/')
        path += '\\';
    return path;
}

std::string Upper(std::string text)
{
    if (!text.empty())
        CharUpperBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

std::string IniText(const std::string& file, const char* section, const char* key, const char* fallback = "")
{
    char value[512] = {};
    GetPrivateProfileStringA(section, key, fallback, value, sizeof value, file.c_str());
    return value;
}

std::string StandinIni(const Gateway& g)
{
    return g.setup.dir + "STANDIN.INI";
}

std::string Scenario(const Gateway& g)
{
    return IniText(StandinIni(g), g.setup.serviceName, "TestScenario");
}

std::string ErrorText(const Gateway& g)
{
    return IniText(StandinIni(g), g.setup.serviceName, "ErrorText", kDefaultErrorText);
}

DWORD StandinNumber(const Gateway& g, const char* key)
{
    return GetPrivateProfileIntA(g.setup.serviceName, key, 0, StandinIni(g).c_str());
}

// The folders the way the program finds them: GWCORE.DLL beside the executable gives the data
// folders (honouring the registry overrides); the INI files may move the queues.
void ResolveFolders(Gateway& g)
{
    typedef DWORD(WINAPI * DirectoryFunction)(LPSTR);
    HMODULE gwcore = LoadLibraryA((g.setup.dir + "GWCORE.DLL").c_str());
    char buffer[MAX_PATH] = {};
    if (gwcore) {
        auto data = reinterpret_cast<DirectoryFunction>(GetProcAddress(gwcore, "GetProgramDataDirectory"));
        auto priv = reinterpret_cast<DirectoryFunction>(GetProcAddress(gwcore, "GetPrivateDataDirectory"));
        if (data && data(buffer))
            g.dataDir = WithBackslash(buffer);
        buffer[0] = '\0';
        if (priv && priv(buffer))
            g.privateDir = WithBackslash(buffer);
        FreeLibrary(gwcore);
    }
    if (g.setup.sms) {
        std::string ini = g.dataDir + "SMSGW.INI";
        std::string queue = IniText(ini, "SMSGW", "QDir");
        g.queueDir = queue.empty() ? g.dataDir + "Q\\" : WithBackslash(queue);
        g.route = IniText(ini, "SMSGW", "Modem1");
        std::string store = IniText(ini, "SMSGW", "SmsInDir");
        g.storeDir = store.empty() ? g.dataDir + "SMS-IN\\" : WithBackslash(store);
    } else {
        std::string queue = IniText(g.dataDir + "MMSC.INI", "MMSC", "VASPQDir");
        g.queueDir = queue.empty() ? g.dataDir + "VASPQ\\" : WithBackslash(queue);
        g.route = kMmscRoute;
        std::string store = IniText(g.dataDir + "SMSGW.INI", "SMSGW", "MMSDir");
        g.storeDir = store.empty() ? g.dataDir + "MMS-IN\\" : WithBackslash(store);
    }
    CreateDirectoryA(g.queueDir.c_str(), nullptr);
}

// The wake-up event under both names, open to everyone: the program sets it from the desktop
// session, and under Wine "Global\X" and "X" are different objects.
void CreateWakeEvents(Gateway& g)
{
    if (g.events[0] && g.eventRoute == g.route)
        return;
    for (HANDLE& event : g.events) {
        if (event)
            CloseHandle(event);
        event = nullptr;
    }
    // SetEventForInterface writes the names with '\' in the route replaced by '_'.
    std::string route = g.route;
    for (char& c : route)
        if (c == '\\')
            c = '_';
    std::string name = std::string("QelSMS-") + (g.setup.sms ? "SMSOut-" : "VASPOut-") + route;

    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    g.events[0] = CreateEventA(&attributes, FALSE, FALSE, ("Global\\" + name).c_str());
    g.events[1] = CreateEventA(&attributes, FALSE, FALSE, name.c_str());
    g.eventRoute = g.route;
    g.setup.log("waiting " + name);
}

void AppendLine(const std::string& path, const std::string& line)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
            CloseHandle(file);
            return;
        }
        Sleep(25);
    }
}

// One more for today in the counter file STATS\<name>-<year>.CTR: 366 little-endian 32-bit
// counts, entry 0 for 1 January; every year divisible by 4 counts as a leap year.
void Count(const Gateway& g, const char* name)
{
    if (StandinNumber(g, "Counters") == 0)
        return;
    static const unsigned kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    SYSTEMTIME now;
    GetLocalTime(&now);
    unsigned day = kDaysBefore[now.wMonth - 1] + now.wDay - 1 + ((now.wYear % 4 == 0 && now.wMonth > 2) ? 1 : 0);
    std::string folder = g.privateDir + "STATS\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    char file[32];
    snprintf(file, sizeof file, "%s-%u.CTR", name, static_cast<unsigned>(now.wYear));
    HANDLE handle = CreateFileA((folder + file).c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    unsigned char counts[366 * 4] = {};
    DWORD got = 0;
    ReadFile(handle, counts, sizeof counts, &got, nullptr);
    unsigned char* entry = counts + day * 4;
    unsigned value = entry[0] | (entry[1] << 8) | (entry[2] << 16) | (static_cast<unsigned>(entry[3]) << 24);
    ++value;
    for (int i = 0; i < 4; ++i)
        entry[i] = static_cast<unsigned char>(value >> (8 * i));
    SetFilePointer(handle, 0, nullptr, FILE_BEGIN);
    DWORD written = 0;
    WriteFile(handle, counts, sizeof counts, &written, nullptr);
    CloseHandle(handle);
}

// SMSOUT-yyyymmdd.LOG: time,request,phone,user,outcome,modem
// MMSC-yyyymmdd.LOG:   time,direction,from,to,route,outcome,message id
void WriteDayLog(const Gateway& g, const PendingRequest& request, const std::string& outcome)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char day[16];
    snprintf(day, sizeof day, "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
    char time[32];
    snprintf(time, sizeof time, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
             now.wMinute, now.wSecond);
    std::string line;
    if (g.setup.sms)
        line = std::string(time) + "," + request.name + "," + request.phone + ",admin," + outcome + "," + g.route;
    else
        line =
            std::string(time) + ",VASPOut,admin," + request.phone + "," + g.route + "," + outcome + "," + request.name;
    AppendLine(g.dataDir + (g.setup.sms ? "SMSOUT-" : "MMSC-") + day + ".LOG", line + "\r\n");
    g.setup.log("logged " + request.name + " " + outcome);
    if (g.setup.sms) {
        Count(g, "SMSSUBMIT");
        Count(g, outcome == "OK" ? "SMSSENT" : "SMSFAILED");
    } else {
        Count(g, "MMSIN-VASP");
        if (outcome == "OK")
            Count(g, "MMSOUT-MMSC");
    }
}

std::string RequestPath(const Gateway& g, const std::string& name)
{
    return g.queueDir + name + (g.setup.sms ? ".REQ" : ".INI");
}

bool DeleteRequest(const Gateway& g, const std::string& name)
{
    bool deleted = DeleteFileA(RequestPath(g, name).c_str()) != 0;
    if (!g.setup.sms)
        DeleteFileA((g.queueDir + name + ".MMS").c_str());
    return deleted;
}

void WriteRetryDetail(const Gateway& g, const std::string& name)
{
    const char* section = g.setup.sms ? "ErrorDetail" : "Routing";
    std::string path = RequestPath(g, name);
    WritePrivateProfileStringA(section, "RetryCount", "2", path.c_str());
    WritePrivateProfileStringA(section, "LastErrorInfo", ErrorText(g).c_str(), path.c_str());
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str()); // flush Wine's cache
}

void WriteErrorNote(const Gateway& g)
{
    std::string note = g.setup.sms ? ModemErrorNoteName(g.route.c_str()) : RouteErrorNoteName(g.route.c_str());
    std::string text = ErrorText(g);
    HANDLE file = CreateFileA((g.privateDir + note).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

// Handles a newly found request by the scenario named now.
void TakeRequest(Gateway& g, const std::string& fileName)
{
    PendingRequest request;
    request.name = fileName.substr(0, fileName.find_last_of('.'));
    std::string path = RequestPath(g, request.name);
    request.phone = g.setup.sms ? IniText(path, "SMS", "PhoneNumber") : IniText(path, "Routing", "To");
    g.setup.log("took " + fileName);

    std::string scenario = Upper(Scenario(g));
    if (scenario == "OK" || scenario == "FAIL") {
        DeleteRequest(g, request.name);
        WriteDayLog(g, request, scenario == "OK" ? std::string("OK") : ErrorText(g));
        return;
    }
    if (scenario == "RETRY") {
        WriteRetryDetail(g, request.name);
        request.finishes = true;
        request.deleteAtDue = true;
        request.dueTick = GetTickCount() + StandinNumber(g, "FinishAfterMs");
        g.setup.log("retry " + request.name);
    } else if (scenario == "LATE") {
        DeleteRequest(g, request.name);
        request.finishes = true;
        request.dueTick = GetTickCount() + StandinNumber(g, "LateMs");
        g.setup.log("late " + request.name);
    } else if (scenario == "OFFLINE") {
        WriteErrorNote(g);
        g.setup.log("offline " + request.name);
    } else if (scenario == "HOLD") {
        request.held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        g.setup.log("holding " + request.name);
    } else {
        g.setup.log("unknown-scenario " + request.name + " " + scenario);
    }
    g.pending[Upper(fileName)] = request;
}

// Finishes what is due and forgets kept requests that someone else removed.
void FinishPending(Gateway& g)
{
    DWORD now = GetTickCount();
    for (auto it = g.pending.begin(); it != g.pending.end();) {
        PendingRequest& request = it->second;
        bool present = GetFileAttributesA(RequestPath(g, request.name).c_str()) != INVALID_FILE_ATTRIBUTES;
        bool due = request.finishes && static_cast<LONG>(now - request.dueTick) >= 0;
        if (due && (present || !request.deleteAtDue)) {
            if (request.deleteAtDue)
                DeleteRequest(g, request.name);
            WriteDayLog(g, request, "OK");
            it = g.pending.erase(it);
        } else if (!present && request.deleteAtDue) {
            g.setup.log("gone " + request.name);
            it = g.pending.erase(it);
        } else if (!present && !request.finishes) {
            if (request.held != INVALID_HANDLE_VALUE)
                CloseHandle(request.held);
            g.setup.log("gone " + request.name);
            it = g.pending.erase(it);
        } else {
            ++it;
        }
    }
}

void ScanQueue(Gateway& g)
{
    WIN32_FIND_DATAA found;
    std::string pattern = g.queueDir + (g.setup.sms ? "TEST*.REQ" : "TEST*.INI");
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    std::vector<std::string> names;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    for (const std::string& name : names)
        if (g.pending.find(Upper(name)) == g.pending.end())
            TakeRequest(g, name);
}

// A small GIF (16 x 16, four colours) for a received MMS when STANDIN.INI names no picture.
const unsigned char kBuiltInPicture[] = {
    0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x10, 0x00, 0x10, 0x00, 0xf1, 0x00, 0x00, 0xc3, 0xaa, 0x4a,
    0x35, 0x77, 0xaf, 0x62, 0x87, 0x8f, 0x79, 0x8f, 0x7f, 0x21, 0xf9, 0x04, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x10, 0x00, 0x00, 0x02, 0x2b, 0x8c, 0x8f, 0xa9,
    0xcb, 0xbd, 0x12, 0x04, 0x7c, 0xb2, 0x5a, 0x19, 0x6f, 0x1d, 0x63, 0x77, 0xc9, 0x85, 0xe2, 0x38,
    0x02, 0xe4, 0x60, 0x9e, 0x1c, 0x60, 0xa6, 0x2d, 0xca, 0xc6, 0x2c, 0xbc, 0xc2, 0xb3, 0x8c, 0xe7,
    0xfa, 0xce, 0xf7, 0xfe, 0x0f, 0xd4, 0x15, 0x00, 0x00, 0x3b};

bool WriteWholeFile(const std::string& path, const void* data, DWORD size)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, data, size, &written, nullptr) && written == size;
    CloseHandle(file);
    return ok;
}

std::string ReadWholeFile(const std::string& path)
{
    std::string data;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return data;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0 && data.size() < (8u << 20))
        data.append(buffer, got);
    CloseHandle(file);
    return data;
}

const char* const kReceivedTexts[] = {"STATUS", "Meeting moved to 3pm, see you there", "HELP",
                                      "Order 1042 delivered. Thank you!", "STOP"};
const char* const kSenders[] = {"+447700900123", "+447700900456", "+14155550188"};
const char kOwnNumber[] = "+447700900999"; // the gateway's own number, the recipient

// An SMS into SMS-IN, as the gateway leaves a message it has received.
void ReceiveSms(Gateway& g, const std::string& name)
{
    unsigned n = g.receivedCount;
    std::string text = std::string("[SMS-IN]\r\nSender=") + kSenders[n % 3] + "\r\nPhoneNumber=" + kOwnNumber +
                       "\r\nData=" + kReceivedTexts[n % 5] + "\r\nModemName=" + g.route + "\r\n";
    // Every other message as one the gateway has already processed and stored.
    std::string file = name + (n % 2 ? ".SMS" : ".IN");
    if (WriteWholeFile(g.storeDir + file, text.data(), static_cast<DWORD>(text.size()))) {
        g.setup.log("received " + file);
        Count(g, "SMSRECEIVED");
    }
}

// An MMS into MMS-IN: the header file and, in the folder of the same name, a picture and a text.
void ReceiveMms(Gateway& g, const std::string& name)
{
    std::string picturePath = IniText(StandinIni(g), g.setup.serviceName, "ReceivePicture");
    std::string picture = picturePath.empty() ? std::string() : ReadWholeFile(picturePath);
    std::string pictureName = "picture.gif";
    if (picture.empty()) {
        picture.assign(reinterpret_cast<const char*>(kBuiltInPicture), sizeof kBuiltInPicture);
    } else {
        size_t slash = picturePath.find_last_of("\\/");
        pictureName = picturePath.substr(slash == std::string::npos ? 0 : slash + 1);
    }
    size_t dot = pictureName.find_last_of('.');
    std::string extension = dot == std::string::npos ? std::string() : Upper(pictureName.substr(dot + 1));
    const char* type = extension == "JPG" || extension == "JPEG" ? "image/jpeg"
                       : extension == "PNG"                      ? "image/png"
                                                                 : "image/gif";
    std::string folder = g.storeDir + name + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string text = std::string("Greetings from the gateway, message ") + std::to_string(g.receivedCount + 1);
    if (!WriteWholeFile(folder + pictureName, picture.data(), static_cast<DWORD>(picture.size())) ||
        !WriteWholeFile(folder + "text.txt", text.data(), static_cast<DWORD>(text.size())))
        return;
    unsigned n = g.receivedCount;
    std::string header = std::string("From: ") + kSenders[n % 3] + "/TYPE=PLMN\r\nTo: " + kOwnNumber + "/TYPE=PLMN\r\n" +
                         "Subject: Holiday picture " + std::to_string(n + 1) + "\r\n" +
                         "X-QelMMS-Content-Location: " + name + "\\" + pictureName + ";" + type +
                         ";Name=" + pictureName + "\r\n" + "X-QelMMS-Content-Location: " + name +
                         "\\text.txt;text/plain\r\n";
    if (WriteWholeFile(g.storeDir + name + ".HDR", header.data(), static_cast<DWORD>(header.size()))) {
        g.setup.log("received " + name + ".HDR");
        Count(g, "MMSIN-MODEM");
    }
}

// Drops the next received message when ReceiveEveryMs asks for one and it is due.
void ReceiveWhenDue(Gateway& g)
{
    DWORD every = StandinNumber(g, "ReceiveEveryMs");
    DWORD now = GetTickCount();
    if (every == 0 || (g.receiving && static_cast<LONG>(now - g.nextReceiveTick) < 0))
        return;
    g.receiving = true;
    g.nextReceiveTick = now + every;
    CreateDirectoryA(g.storeDir.c_str(), nullptr);
    SYSTEMTIME time;
    GetLocalTime(&time);
    char name[32];
    snprintf(name, sizeof name, "R%02u%02u%02u%02u", time.wHour, time.wMinute, time.wSecond, g.receivedCount % 100);
    if (g.setup.sms)
        ReceiveSms(g, name);
    else
        ReceiveMms(g, name);
    ++g.receivedCount;
}

DWORD WINAPI GatewayThread(void* parameter)
{
    Gateway* g = static_cast<Gateway*>(parameter);
    for (;;) {
        ResolveFolders(*g);
        CreateWakeEvents(*g);
        FinishPending(*g);
        ScanQueue(*g);
        ReceiveWhenDue(*g);
        HANDLE waits[3] = {g->setup.stopEvent, g->events[0], g->events[1]};
        DWORD count = 1;
        for (int i = 1; i < 3; ++i)
            if (waits[i])
                waits[count++] = waits[i];
        DWORD woke = WaitForMultipleObjects(count, waits, FALSE, kPollMs);
        if (woke == WAIT_OBJECT_0)
            break;
        if (woke > WAIT_OBJECT_0 && woke < WAIT_OBJECT_0 + count)
            g->setup.log("woken");
    }
    for (auto& entry : g->pending)
        if (entry.second.held != INVALID_HANDLE_VALUE)
            CloseHandle(entry.second.held);
    for (HANDLE event : g->events)
        if (event)
            CloseHandle(event);
    delete g;
    return 0;
}

} // namespace

bool GatewayScenarioSet(const GatewayStandinSetup& setup)
{
    Gateway probe;
    probe.setup = setup;
    return !Scenario(probe).empty();
}

HANDLE StartGatewayStandin(const GatewayStandinSetup& setup)
{
    Gateway* g = new Gateway;
    g->setup = setup;
    HANDLE thread = CreateThread(nullptr, 0, GatewayThread, g, 0, nullptr);
    if (!thread)
        delete g;
    return thread;
}
