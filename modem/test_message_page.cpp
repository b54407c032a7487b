// The Send Test Message page: one test SMS and one test MMS dropped into the gateway's
// outbound queues, followed once a second through the queue, the error notes and the day's
// send logs. The wizard's last page and a page of the main window; the tests it follows
// live for the whole process, so a test sent from the wizard is still followed afterwards.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/config_files.h"
#include "app/controls.h"
#include "app/ini_files.h"
#include "app/message_box.h"
#include "app/page_conventions.h"
#include "app/wait_cursor.h"
#include "base/ini_rules.h"
#include "gateway/gwcore/gwcore.h"
#include "modem/modem_naming.h"
#include "modem/modem_pages.h"
#include "modem/test_message.h"
#include "resources/test_message_page_ids.h"
#include "services/service_control.h"
#include "spool/error_notes.h"
#include "spool/spool_files.h"
#include "users/user_details_dialog.h"

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 1000;
constexpr size_t kValueLimit = 4096;
const char kMmscRoute[] = "qelsmslite";
const char kTemplateName[] = "MMSTEST.MMS";
const char kSmsCreateError[] = "Error creating SMS request file in queue";
const char kMmsCreateError[] = "Error creating MMS request file in queue";
const char kTemplateMissing[] = "Error locating MMS message template file";
const char kNoUsers[] = "No user accounts are defined.\r\nCreate a user account to access the web interface?";

// One test of either kind: idle, pending (its request is in the queue) or done.
struct TestState {
    unsigned id = 0;
    bool pending = false;
    bool done = false;
};

struct TestMessagePageState {
    TestState sms;
    TestState mms;
    bool active = false; // the current page of its sheet
};
TestMessagePageState testMessage;

// An open file handle, closed when it goes.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }
    void Close()
    {
        if (IsOpen())
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

class FileSource : public ByteSource {
public:
    explicit FileSource(HANDLE file) : file_(file) {}
    size_t Read(char* buffer, size_t size) override
    {
        DWORD got = 0;
        return ReadFile(file_, buffer, static_cast<DWORD>(size), &got, nullptr) ? got : 0;
    }
    uint64_t Position() override
    {
        LARGE_INTEGER zero = {};
        LARGE_INTEGER position = {};
        SetFilePointerEx(file_, zero, &position, FILE_CURRENT);
        return static_cast<uint64_t>(position.QuadPart);
    }
    void SetPosition(uint64_t position) override
    {
        LARGE_INTEGER to;
        to.QuadPart = static_cast<LONGLONG>(position);
        SetFilePointerEx(file_, to, nullptr, FILE_BEGIN);
    }

private:
    HANDLE file_;
};

HANDLE OpenForReading(const std::string& path)
{
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE CreateAnew(const std::string& path)
{
    return CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteAll(HANDLE file, const std::string& text)
{
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

std::string SmsQueueFile(unsigned id, const char* extension)
{
    char queue[MAX_PATH];
    GetSMSQueueDirectory(queue);
    return queue + TestName(id) + extension;
}

std::string VaspQueueFile(unsigned id, const char* extension)
{
    char queue[MAX_PATH];
    GetVASPQueueDirectory(queue);
    return queue + TestName(id) + extension;
}

// Today's day log of that kind in the program data directory.
std::string DayLogPath(TestKind kind)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char data[MAX_PATH];
    ProgramDataDirectory(data);
    return data + (kind == TestKind::Sms ? SmsLogName(now.wYear, now.wMonth, now.wDay)
                                         : MmsLogName(now.wYear, now.wMonth, now.wDay));
}

std::string Modem1()
{
    return SmsGatewayIni().Read("SMSGW", "Modem1", kValueLimit);
}

std::string SmsGatewayValue(const char* key, const char* fallback)
{
    std::vector<char> value(kValueLimit);
    GetPrivateProfileStringA("SMSGW", key, fallback, value.data(), static_cast<DWORD>(value.size()), appPaths.smsIni);
    return value.data();
}

// An id that neither queue holds and today's logs do not name, so that an earlier test's
// log line is never taken for this one's outcome.
unsigned NewTestId()
{
    std::vector<bool> logged(0x10000);
    for (TestKind kind : {TestKind::Sms, TestKind::Mms}) {
        FileHandle log(OpenForReading(DayLogPath(kind)));
        if (log.IsOpen()) {
            FileSource source(log.Get());
            CollectLoggedIds(kind, source, logged);
        }
    }
    return ChooseTestId(GetTickCount(), [&](unsigned id) {
        return logged[id] || FileExists(SmsQueueFile(id, ".REQ").c_str()) ||
               FileExists(VaspQueueFile(id, ".INI").c_str()) || FileExists(VaspQueueFile(id, ".MMS").c_str());
    });
}

void EnsureService(bool (*installed)(), bool (*active)())
{
    WaitCursor busy;
    if (!installed())
        InstallServices(true);
    if (!active())
        StartServices(true);
}

std::string ValidNumber(HWND page)
{
    std::string number = ItemText(page, IDC_TESTMSG_NUMBER);
    return !number.empty() && IsPhoneNumber(number.c_str()) ? number : std::string();
}

void SetText(HWND page, int id, const std::string& text)
{
    SetTextIfDifferent(page, id, text.c_str());
}

bool AnyPending()
{
    return testMessage.sms.pending || testMessage.mms.pending;
}

void SetWizardButtons(HWND page)
{
    if (!wizardMode)
        return;
    bool finish = !AnyPending() && (testMessage.sms.done || testMessage.mms.done);
    PropSheet_SetWizButtons(GetParent(page), PSWIZB_BACK | (finish ? PSWIZB_FINISH : PSWIZB_DISABLEDFINISH));
}

void ShowCancel(HWND page)
{
    HWND cancel = GetDlgItem(page, IDC_TESTMSG_CANCEL);
    bool shown = AnyPending();
    if (((GetWindowLongA(cancel, GWL_STYLE) & WS_VISIBLE) != 0) != shown)
        ShowWindow(cancel, shown ? SW_SHOW : SW_HIDE);
}

// The request left the queue: the day log's last line for the test tells how it went.
void ShowLoggedOutcome(HWND page, TestKind kind, TestState& test, int statusId, int detailId)
{
    SetText(page, statusId, "");
    SetText(page, detailId, "");
    test.pending = false;
    test.done = true;
    FileHandle log(OpenForReading(DayLogPath(kind)));
    if (!log.IsOpen())
        return;
    FileSource source(log.Get());
    TestOutcome outcome = ScanOutcomeLog(kind, source, test.id);
    SetText(page, statusId, outcome.status);
    SetText(page, detailId, outcome.detail);
}

// A waiting request: the error note first, then the retry details the gateway added.
void ShowWaiting(HWND page, const char* note, const char* noteStatus, const std::string& request, const char* section,
                 int statusId, int detailId)
{
    if (*note) {
        SetText(page, statusId, noteStatus);
        SetText(page, detailId, note);
        return;
    }
    ProfileIniStore store(request);
    std::string retries = store.Read(section, "RetryCount", kValueLimit);
    if (retries.empty()) {
        SetText(page, detailId, "");
        return;
    }
    SetText(page, statusId, RetryStatus(retries));
    SetText(page, detailId, LastErrorDetail(store.Read(section, "LastErrorInfo", kValueLimit)));
}

void FollowSms(HWND page)
{
    std::string request = SmsQueueFile(testMessage.sms.id, ".REQ");
    if (!FileExists(request.c_str())) {
        ShowLoggedOutcome(page, TestKind::Sms, testMessage.sms, IDC_TESTMSG_SMS_STATUS, IDC_TESTMSG_SMS_DETAIL);
        return;
    }
    char note[kErrorNoteSize];
    ReadModemErrorText(Modem1().c_str(), note);
    ShowWaiting(page, note, kStatusModemOffline, request, "ErrorDetail", IDC_TESTMSG_SMS_STATUS,
                IDC_TESTMSG_SMS_DETAIL);
}

void FollowMms(HWND page)
{
    if (!FileExists(VaspQueueFile(testMessage.mms.id, ".MMS").c_str())) {
        ShowLoggedOutcome(page, TestKind::Mms, testMessage.mms, IDC_TESTMSG_MMS_STATUS, IDC_TESTMSG_MMS_DETAIL);
        return;
    }
    char note[kErrorNoteSize];
    ReadRouteErrorText(kMmscRoute, note);
    ShowWaiting(page, note, kStatusConnection, VaspQueueFile(testMessage.mms.id, ".INI"), "Routing",
                IDC_TESTMSG_MMS_STATUS, IDC_TESTMSG_MMS_DETAIL);
}

// Follows the pending tests first, so that a test that has just left the queue frees its
// controls in the same round.
void Refresh(HWND page)
{
    if (testMessage.sms.pending)
        FollowSms(page);
    if (testMessage.mms.pending)
        FollowMms(page);
    bool smsReady = IsSmsServiceInstalled() && IsSmsServiceActive();
    EnableItem(page, IDC_TESTMSG_WEB, smsReady);
    EnableItem(page, IDC_TESTMSG_NUMBER, smsReady && !testMessage.sms.pending);
    bool valid = smsReady && !ValidNumber(page).empty();
    EnableItem(page, IDC_TESTMSG_SEND_SMS, valid && !testMessage.sms.pending);
    EnableItem(page, IDC_TESTMSG_SEND_MMS,
               valid && !testMessage.mms.pending && IsMmscServiceInstalled() && IsMmscServiceActive());
    ShowCancel(page);
    if (testMessage.active)
        SetWizardButtons(page);
}

// Writes a request under a name the gateway does not pick up and renames it into place, so
// that the gateway never reads it half-written. False (and nothing left) on failure.
bool WriteRequest(const std::string& path, const std::string& staging, const std::string& text)
{
    FileHandle file(CreateAnew(staging));
    if (!file.IsOpen())
        return false;
    bool written = WriteAll(file.Get(), text);
    file.Close();
    if (written && MoveFileExA(staging.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    DeleteFileA(staging.c_str());
    return false;
}

void OnSendSms(HWND page)
{
    std::string number = ValidNumber(page);
    if (number.empty())
        return;
    EnsureService(IsSmsServiceInstalled, IsSmsServiceActive);
    unsigned id = NewTestId();
    if (!WriteRequest(SmsQueueFile(id, ".REQ"), SmsQueueFile(id, ".TMP"), SmsRequestText(number))) {
        ShowMessage(page, kSmsCreateError, MB_OK | MB_ICONERROR);
        return;
    }
    testMessage.sms = {id, true, testMessage.sms.done};
    SetText(page, IDC_TESTMSG_SMS_STATUS, kStatusWaiting);
    SetText(page, IDC_TESTMSG_SMS_DETAIL, "");
    SetEventForInterface("SMSOut", Modem1().c_str());
    Refresh(page);
}

// Copies the rest of from into to, with the largest buffer that can be had.
bool CopyFileContent(HANDLE from, HANDLE to)
{
    size_t size = 32768;
    char* buffer = nullptr;
    while (!(buffer = new (std::nothrow) char[size]) && size > 16)
        size /= 2;
    if (!buffer)
        return false;
    bool ok = true;
    DWORD got = 0;
    while (ok && ReadFile(from, buffer, static_cast<DWORD>(size), &got, nullptr) && got > 0) {
        DWORD written = 0;
        ok = WriteFile(to, buffer, got, &written, nullptr) && written == got;
    }
    delete[] buffer;
    return ok && SetEndOfFile(to);
}

// The message copy and the control file, both staged; the copy lands first, so that the
// gateway, which picks up the control file, always finds the whole message beside it.
bool WriteMmsRequest(unsigned id, HANDLE templateFile, const std::string& number)
{
    std::string controlStaging = VaspQueueFile(id, ".TMI");
    std::string messageStaging = VaspQueueFile(id, ".TMM");
    FileHandle control(CreateAnew(controlStaging));
    if (!control.IsOpen())
        return false;
    FileHandle message(CreateAnew(messageStaging));
    bool ok = message.IsOpen() && WriteAll(control.Get(), MmsControlText(id, number)) &&
              CopyFileContent(templateFile, message.Get());
    control.Close();
    message.Close();
    std::string messagePath = VaspQueueFile(id, ".MMS");
    ok = ok && MoveFileExA(messageStaging.c_str(), messagePath.c_str(), MOVEFILE_REPLACE_EXISTING);
    if (ok && MoveFileExA(controlStaging.c_str(), VaspQueueFile(id, ".INI").c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    if (ok)
        DeleteFileA(messagePath.c_str());
    DeleteFileA(messageStaging.c_str());
    DeleteFileA(controlStaging.c_str());
    return false;
}

void WakeMmsInterfaces()
{
    std::string modem = Modem1();
    size_t prefix = strlen(kPhoneModemPrefix);
    if (modem.compare(0, prefix, kPhoneModemPrefix) == 0)
        SetEventForInterface("VASPOut", modem.c_str() + prefix);
    SetEventForInterface("VASPOut", kMmscRoute);
}

void OnSendMms(HWND page)
{
    std::string number = ValidNumber(page);
    if (number.empty())
        return;
    EnsureService(IsMmscServiceInstalled, IsMmscServiceActive);
    char program[MAX_PATH];
    ProgramDirectory(program);
    std::string templatePath = std::string(program) + kTemplateName;
    FileHandle templateFile(OpenForReading(templatePath));
    if (!templateFile.IsOpen()) {
        ShowMessageCaption(page, templatePath.c_str(), kTemplateMissing, MB_OK | MB_ICONERROR);
        return;
    }
    unsigned id = NewTestId();
    if (!WriteMmsRequest(id, templateFile.Get(), number)) {
        ShowMessage(page, kMmsCreateError, MB_OK | MB_ICONERROR);
        return;
    }
    testMessage.mms = {id, true, testMessage.mms.done};
    SetText(page, IDC_TESTMSG_MMS_STATUS, kStatusWaiting);
    SetText(page, IDC_TESTMSG_MMS_DETAIL, "");
    templateFile.Close();
    WakeMmsInterfaces();
    Refresh(page);
}

// Deletes the files; when the gateway holds one of them, stops the services, which lets go
// of it, deletes again and starts them once more.
void DeleteRequestFiles(const std::vector<std::string>& files)
{
    bool left = false;
    for (const std::string& file : files)
        DeleteFileA(file.c_str());
    for (const std::string& file : files)
        left = left || FileExists(file.c_str());
    if (!left)
        return;
    StopServices(true);
    for (const std::string& file : files)
        DeleteFileA(file.c_str());
    Sleep(1000);
    StartServices(true);
}

void OnCancel(HWND page)
{
    {
        WaitCursor busy;
        if (testMessage.sms.pending)
            DeleteRequestFiles({SmsQueueFile(testMessage.sms.id, ".REQ")});
        if (testMessage.mms.pending)
            DeleteRequestFiles({VaspQueueFile(testMessage.mms.id, ".MMS"), VaspQueueFile(testMessage.mms.id, ".INI")});
    }
    Refresh(page);
}

// With web logins required, there must be an account to log in with: offers to create the
// first one. True when an account exists.
bool EnsureWebUser(HWND page)
{
    SMSUSERFILE users = nullptr;
    if (!SMSOpenUserFile(&users, GENERIC_READ | GENERIC_WRITE))
        return false;
    UserRecord record = {};
    bool exists = SMSGetUserRecord(users, 0, &record) != 0;
    if (!exists && ShowMessage(page, kNoUsers, MB_YESNO | MB_ICONQUESTION) == IDYES) {
        record = UserRecord{};
        exists = EditUserDetails(page, record, users);
    }
    SMSCloseUserFile(users);
    return exists;
}

void OnWebInterface(HWND page)
{
    EnsureService(IsSmsServiceInstalled, IsSmsServiceActive);
    if (IniBool(SmsGatewayValue("WebAuth", "Yes").c_str()) && !EnsureWebUser(page))
        return;
    unsigned long port = IniNumber(SmsGatewayValue("WebPort", "8800").c_str());
    std::string address = SmsGatewayValue("IPAddress", "");
    char url[kValueLimit + 32];
    snprintf(url, sizeof url, "http://%s:%lu/", address.empty() ? "127.0.0.1" : address.c_str(), port ? port : 8800ul);
    ShellExecuteA(page, "open", url, nullptr, ".\\", SW_SHOWNORMAL);
}

void OnInit(HWND page)
{
    ShowWindow(GetDlgItem(page, IDC_TESTMSG_CANCEL), SW_HIDE);
    SendDlgItemMessageA(page, IDC_TESTMSG_NUMBER, EM_LIMITTEXT, kValueLimit - 1, 0);
    SetTimer(page, kRefreshTimer, kRefreshMs, nullptr);
    Refresh(page);
}

void OnCommand(HWND page, WORD id, WORD code)
{
    switch (id) {
    case IDC_TESTMSG_NUMBER:
        if (code == EN_CHANGE)
            Refresh(page);
        break;
    case IDC_TESTMSG_SEND_SMS:
        OnSendSms(page);
        break;
    case IDC_TESTMSG_SEND_MMS:
        OnSendMms(page);
        break;
    case IDC_TESTMSG_CANCEL:
        OnCancel(page);
        break;
    case IDC_TESTMSG_WEB:
        OnWebInterface(page);
        break;
    }
}

bool OnNotify(HWND page, const NMHDR* header)
{
    switch (header->code) {
    case PSN_SETACTIVE:
        testMessage.active = true;
        SetWizardButtons(page);
        ShowCancel(page);
        SetPageResult(page, 0);
        return true;
    case PSN_KILLACTIVE:
        testMessage.active = false;
        break;
    case PSN_WIZNEXT:
        SetPageResult(page, 0);
        return true;
    }
    return HandleCommonNotification(page, header, UnsavedSource::None);
}

} // namespace

INT_PTR CALLBACK TestMessagePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInit(page);
        return TRUE;
    case WM_COMMAND:
        OnCommand(page, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        return OnNotify(page, reinterpret_cast<const NMHDR*>(lParam));
    case WM_TIMER:
        if (wParam == kRefreshTimer)
            Refresh(page);
        return TRUE;
    case WM_DESTROY:
        KillTimer(page, kRefreshTimer);
        return FALSE;
    }
    return FALSE;
}
