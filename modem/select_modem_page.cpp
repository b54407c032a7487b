// The wizard's modem page: the Windows modems, the phone modems found on the network and the
// COM ports where a modem answers in one list, or an address typed by hand. Next tests the
// chosen modem and stores it as "Modem1".
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/controls.h"
#include "app/ini_files.h"
#include "app/message_box.h"
#include "app/page_conventions.h"
#include "app/wait_cursor.h"
#include "gateway/gwcore/gwcore.h"
#include "modem/com_port_probe.h"
#include "modem/discovery_rounds.h"
#include "modem/modem_discovery.h"
#include "modem/modem_naming.h"
#include "modem/modem_pages.h"
#include "modem/modem_test.h"
#include "modem/phone_modem.h"
#include "resources/select_modem_page_ids.h"

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 1000;
// The probe of the COM ports starts on this timer: timer messages come after the paint
// messages, so the page is drawn before the probe's threads compete with it.
constexpr UINT_PTR kProbeStartTimer = 2;
constexpr UINT kProbeStartMs = 10;
constexpr UINT_PTR kActivationSubclass = 1;
constexpr size_t kNameLimit = 500;
const char kUnableToConnect[] = "Unable to connect to modem";

// Set while the page exists; the search thread runs another search while it is set.
std::atomic<bool> discoveryRunning{false};
// The page has finished opening (activations before that come from its own messages).
bool pageOpened = false;
// A modem test is running: its boxes run message loops, in which the wizard's buttons must
// neither start a second test nor end the wizard under the running one.
bool testRunning = false;
bool cancelDuringTest = false;
// The COM ports probed while the page exists; the entries ("COMn:") of those that answered,
// appended like the phone modems; the telephony modems listed last, whose ports it leaves
// alone. No probe runs while a modem test has a port; the first round waits for its timer,
// also when the wizard is activated before it.
std::unique_ptr<ComPortProbe> portProbe;
std::vector<std::string> answeringPorts;
std::vector<std::string> telephonyModems;
bool firstProbeDue = false;

DWORD WINAPI SearchForPhoneModems(void*)
{
    RunDiscoveryRounds({[] { FindQelSMSModem(0, 0, 120); }, [] { return discoveryRunning.load(); },
                        [] { return static_cast<unsigned long>(GetTickCount()); },
                        [](unsigned long milliseconds) { Sleep(milliseconds); }});
    return 0;
}

void StartDiscovery()
{
    discoveryRunning = true;
    HANDLE thread = CreateThread(nullptr, 0, SearchForPhoneModems, nullptr, 0, nullptr);
    if (thread)
        CloseHandle(thread); // never waited for: it ends after its current search
}

// The list's rows, kept here: the list only shows them.
ShownRows modemRows(IDC_SELECT_MODEM_LIST, false);

// The index of the entry whose text is exactly this (case counts), or LB_ERR.
LRESULT FindExact(const std::string& text)
{
    LRESULT index = modemRows.Find(text);
    return index < 0 ? LB_ERR : index;
}

void AppendOnce(HWND page, const std::string& name)
{
    if (FindExact(name) == LB_ERR)
        modemRows.Append(page, name);
}

// Phone modems and answering COM ports found so far, appended behind the sorted Windows
// modems.
void AddPhoneModems(HWND page)
{
    for (const ModemCacheEntry* entry = QelsmsModemCacheHead(); entry; entry = entry->Next())
        AppendOnce(page, std::string(kPhoneModemPrefix) + entry->name);
    if (portProbe) {
        for (const std::string& port : portProbe->TakeAnswered())
            answeringPorts.push_back(port);
    }
    for (const std::string& port : answeringPorts)
        AppendOnce(page, port);
}

void StartPortProbe()
{
    if (portProbe && !testRunning && !firstProbeDue)
        portProbe->Start(telephonyModems);
}

// Selects the entry of that text and shows it in the name field, when the list holds it.
void SelectIfListed(HWND page, const std::string& text)
{
    LRESULT index = text.empty() ? LB_ERR : FindExact(text);
    if (index == LB_ERR)
        return;
    SendDlgItemMessageA(page, IDC_SELECT_MODEM_LIST, LB_SETCURSEL, index, 0);
    SetItemText(page, IDC_SELECT_MODEM_NAME, text);
}

void FillList(HWND page, bool reportFailure)
{
    modemRows.Clear(page);
    ListModems(page, modemRows, reportFailure);
    telephonyModems = modemRows.Rows();
}

std::string SelectedText(HWND page)
{
    return modemRows.Selected(page);
}

// Becoming active again picks up modems installed while the wizard was in the background.
// A telephony that does not start was reported when the page opened: closing that very
// message activates the wizard again, so it is not reported once more.
void OnActivated(HWND page)
{
    if (!pageOpened)
        return;
    std::string selected = SelectedText(page);
    FillList(page, false);
    AddPhoneModems(page);
    SelectIfListed(page, selected);
    StartPortProbe();
}

// Only the sheet, a top-level window, learns that it became active: pass that on.
LRESULT CALLBACK ForwardActivation(HWND sheet, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR page)
{
    if (message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE)
        OnActivated(reinterpret_cast<HWND>(page));
    return DefSubclassProc(sheet, message, wParam, lParam);
}

void OnInit(HWND page)
{
    StartDiscovery();
    ShowWindow(GetDlgItem(page, IDC_SELECT_MODEM_TEST), SW_HIDE);
    ShowWindow(GetDlgItem(page, IDCANCEL), SW_HIDE);
    FillList(page, true);
    SelectIfListed(page, SmsGatewayIni().Read("SMSGW", "Modem1", kNameLimit));
    SetTimer(page, kRefreshTimer, kRefreshMs, nullptr);
    answeringPorts.clear();
    portProbe.reset(new ComPortProbe);
    firstProbeDue = true;
    SetTimer(page, kProbeStartTimer, kProbeStartMs, nullptr);
    AddPhoneModems(page);
    SetWindowSubclass(GetParent(page), ForwardActivation, kActivationSubclass, reinterpret_cast<DWORD_PTR>(page));
    pageOpened = true;
}

void OnDestroy(HWND page)
{
    pageOpened = false;
    KillTimer(page, kRefreshTimer);
    KillTimer(page, kProbeStartTimer);
    RemoveWindowSubclass(GetParent(page), ForwardActivation, kActivationSubclass);
    discoveryRunning = false;
    portProbe.reset();
}

// False, with the message shown, when SMSGW.INI refused the choice.
bool StoreModem(HWND page, const ModemChoice& choice)
{
    ProfileIniStore ini = SmsGatewayIni();
    ini.Write("SMSGW", "Modem1", choice.modemName);
    std::string section = ModemSectionName(choice.modemName);
    if (choice.kind == ModemChoice::WindowsModem)
        ini.Delete(section, "PIN");
    else
        ini.Write(section, "RouteName", choice.routeName);
    if (!WritesTaken(page, {&ini}))
        return false;
    lstrcpynA(currentModemName, choice.modemName.c_str(), sizeof currentModemName);
    return true;
}

// The wizard is disabled for the whole modem test, not only while one of its boxes shows.
class ModemTestHold {
public:
    explicit ModemTestHold(HWND sheet) : sheet_(sheet)
    {
        testRunning = true;
        cancelDuringTest = false;
        EnableWindow(sheet_, FALSE);
    }
    ~ModemTestHold()
    {
        EnableWindow(sheet_, TRUE);
        testRunning = false;
    }
    ModemTestHold(const ModemTestHold&) = delete;
    ModemTestHold& operator=(const ModemTestHold&) = delete;

private:
    HWND sheet_;
};

// A Windows modem's test. A Cancel pressed during it wins over its result: nothing is
// stored and the wizard is cancelled once the test has ended. The test has the modem's port
// to itself: a probe still asking a port stops first.
bool TestWindowsModem(HWND page, const std::string& modemName)
{
    if (portProbe)
        portProbe->Stop();
    bool works;
    {
        ModemTestHold hold(GetParent(page));
        works = TestModem(page, modemName.c_str(), "") != 0;
    }
    if (!cancelDuringTest)
        return works;
    PostMessageA(GetParent(page), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    return false;
}

// Tests the chosen modem; true when it was accepted and stored.
bool AcceptModem(HWND page)
{
    std::string text = ItemText(page, IDC_SELECT_MODEM_NAME).substr(0, kNameLimit - 1);
    ModemChoice choice = InterpretModemChoice(text, FindExact(text) != LB_ERR);
    bool works = false;
    switch (choice.kind) {
    case ModemChoice::Nothing:
        return false;
    case ModemChoice::WindowsModem:
        if (!TestWindowsModem(page, choice.modemName))
            return false; // the test has shown its message
        works = true;
        break;
    case ModemChoice::PhoneModem:
    case ModemChoice::TypedAddress: {
        WaitCursor busy;
        works = PhoneModemProbe(choice.address.c_str());
        break;
    }
    case ModemChoice::NotAnAddress:
        break;
    }
    if (!works) {
        if (choice.kind != ModemChoice::WindowsModem)
            ShowMessage(page, kUnableToConnect, MB_OK | MB_ICONERROR);
        return false;
    }
    return StoreModem(page, choice);
}

bool OnNotify(HWND page, const NMHDR* header)
{
    switch (header->code) {
    case PSN_SETACTIVE:
        PropSheet_SetWizButtons(GetParent(page), PSWIZB_NEXT);
        SetPageResult(page, 0);
        return true;
    case PSN_WIZNEXT:
        SetPageResult(page, !testRunning && AcceptModem(page) ? 0 : -1);
        return true;
    case PSN_QUERYCANCEL:
        if (!testRunning)
            break;
        cancelDuringTest = true;
        SetPageResult(page, TRUE);
        return true;
    }
    return HandleCommonNotification(page, header, UnsavedSource::Sheet);
}

void OnCommand(HWND page, WORD id, WORD code)
{
    if (id == IDC_SELECT_MODEM_LIST && code == LBN_SELCHANGE)
        SetItemText(page, IDC_SELECT_MODEM_NAME, SelectedText(page));
}

void OnTimer(HWND page, UINT_PTR timer)
{
    if (timer == kRefreshTimer) {
        AddPhoneModems(page);
    } else if (timer == kProbeStartTimer) {
        KillTimer(page, kProbeStartTimer);
        firstProbeDue = false;
        StartPortProbe();
    }
}

} // namespace

INT_PTR CALLBACK SelectModemPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInit(page);
        return TRUE;
    case WM_TIMER:
        OnTimer(page, wParam);
        return TRUE;
    case WM_COMMAND:
        OnCommand(page, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        return OnNotify(page, reinterpret_cast<const NMHDR*>(lParam));
    case WM_DESTROY:
        OnDestroy(page);
        return FALSE;
    }
    return FALSE;
}
