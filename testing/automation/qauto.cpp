// qauto: drives the program from outside, the way a person at the screen would. A test runs
// one command per call under Wine; results go to stdout one item per line.
//
// Exit codes: 0 done, 1 time-out / not found / refused, 2 usage error.
//
// Texts read from windows are printed with backslash, CR, LF and TAB escaped (\\ \r \n \t),
// so every item stays on one line and the caller can restore the text exactly.

#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

const int kExitOk = 0;
const int kExitFailed = 1;
const int kExitUsage = 2;

const int kMessageTextId = 0xFFFF;
const DWORD kSendTimeoutMs = 5000;
const DWORD kPollMs = 20;

// ---------------------------------------------------------------------------------------------
// Arguments: positional words and --name value options.

struct Args {
    std::vector<std::string> words;
    std::map<std::string, std::string> options;

    bool has(const char *name) const { return options.count(name) != 0; }
    std::string get(const char *name, const char *fallback = "") const
    {
        auto it = options.find(name);
        return it == options.end() ? fallback : it->second;
    }
};

bool ParseArgs(int argc, char **argv, Args &args)
{
    for (int i = 0; i < argc; ++i) {
        std::string word = argv[i];
        if (word.size() > 2 && word.compare(0, 2, "--") == 0) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "qauto: option %s needs a value\n", word.c_str());
                return false;
            }
            args.options[word.substr(2)] = argv[++i];
        } else {
            args.words.push_back(word);
        }
    }
    return true;
}

bool ParseNumber(const std::string &text, int base, unsigned long &value)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    value = std::strtoul(text.c_str(), &end, base);
    return end && *end == '\0';
}

// Decimal or 0x-prefixed numbers for ids, offsets, times; hwnds are always hex.
bool NumberOption(const Args &args, const char *name, unsigned long fallback, unsigned long &value)
{
    if (!args.has(name)) {
        value = fallback;
        return true;
    }
    if (ParseNumber(args.get(name), 0, value))
        return true;
    std::fprintf(stderr, "qauto: --%s wants a number\n", name);
    return false;
}

bool HwndOption(const Args &args, HWND &hwnd)
{
    unsigned long value = 0;
    if (!args.has("hwnd") || !ParseNumber(args.get("hwnd"), 16, value)) {
        std::fprintf(stderr, "qauto: --hwnd H (hex) is required\n");
        return false;
    }
    hwnd = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(value));
    return true;
}

// ---------------------------------------------------------------------------------------------
// Window helpers.

std::string Escape(const std::string &text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default: out += c; break;
        }
    }
    return out;
}

std::string ClassOf(HWND hwnd)
{
    char name[256] = "";
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

// WM_GETTEXT with a time limit, so a hung target cannot hang the caller.
std::string TextOf(HWND hwnd)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &length))
        return "";
    std::vector<char> buffer(length + 2, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, buffer.size(),
                             reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                             kSendTimeoutMs, &copied))
        return "";
    return std::string(buffer.data());
}

// Button captions without their mnemonic marks ("&Yes" -> "Yes", "&&" -> "&").
std::string WithoutMnemonic(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&')
                out += '&', ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

bool SameCaption(const std::string &a, const std::string &b)
{
    return lstrcmpiA(WithoutMnemonic(a).c_str(), WithoutMnemonic(b).c_str()) == 0;
}

int ControlId(HWND hwnd)
{
    return GetDlgCtrlID(hwnd) & 0xFFFF;
}

bool IsButtonClass(HWND hwnd)
{
    return lstrcmpiA(ClassOf(hwnd).c_str(), "Button") == 0;
}

BOOL CALLBACK CollectVisible(HWND hwnd, LPARAM param)
{
    if (IsWindowVisible(hwnd))
        reinterpret_cast<std::vector<HWND> *>(param)->push_back(hwnd);
    return TRUE;
}

BOOL CALLBACK CollectAll(HWND hwnd, LPARAM param)
{
    reinterpret_cast<std::vector<HWND> *>(param)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> TopLevelWindows()
{
    std::vector<HWND> list;
    EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&list));
    return list;
}

std::vector<HWND> DirectChildren(HWND parent)
{
    std::vector<HWND> list;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        list.push_back(child);
    return list;
}

// Every descendant, parents before their children (property-sheet pages hold their controls).
std::vector<HWND> AllDescendants(HWND parent)
{
    std::vector<HWND> list;
    EnumChildWindows(parent, CollectAll, reinterpret_cast<LPARAM>(&list));
    return list;
}

// A descendant with the given id; a visible one wins over a hidden one (the same id may sit on
// several property-sheet pages).
HWND FindControl(HWND parent, int id)
{
    HWND hidden = nullptr;
    for (HWND child : AllDescendants(parent)) {
        if (ControlId(child) != (id & 0xFFFF))
            continue;
        if (IsWindowVisible(child))
            return child;
        if (!hidden)
            hidden = child;
    }
    return hidden;
}

HWND FindButtonByText(HWND parent, const std::string &text)
{
    HWND hidden = nullptr;
    for (HWND child : AllDescendants(parent)) {
        if (!IsButtonClass(child) || !SameCaption(TextOf(child), text))
            continue;
        if (IsWindowVisible(child))
            return child;
        if (!hidden)
            hidden = child;
    }
    return hidden;
}

// ---------------------------------------------------------------------------------------------
// Message boxes: a visible top-level dialog whose message text sits in a static control with
// id 0xFFFF, next to buttons and nothing a form would have.

bool IsMessageBox(HWND hwnd)
{
    if (ClassOf(hwnd) != "#32770")
        return false;
    bool hasText = false;
    for (HWND child : DirectChildren(hwnd)) {
        std::string cls = ClassOf(child);
        if (lstrcmpiA(cls.c_str(), "Static") == 0) {
            if (ControlId(child) == kMessageTextId &&
                (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
                hasText = true;
        } else if (lstrcmpiA(cls.c_str(), "Button") != 0) {
            return false; // an edit, list, tab or page: a dialog of the program, not a box
        }
    }
    return hasText;
}

HWND FindMessageBox()
{
    for (HWND hwnd : TopLevelWindows())
        if (IsMessageBox(hwnd))
            return hwnd;
    return nullptr;
}

HWND WaitForMessageBox(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND box = FindMessageBox())
            return box;
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        Sleep(kPollMs);
    }
}

std::string MessageText(HWND box)
{
    for (HWND child : DirectChildren(box))
        if (ControlId(child) == kMessageTextId &&
            (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
            return TextOf(child);
    return "";
}

// The visible buttons from left to right, as a person reads them.
std::vector<HWND> BoxButtons(HWND box)
{
    std::vector<HWND> buttons;
    for (HWND child : DirectChildren(box))
        if (IsButtonClass(child) && IsWindowVisible(child))
            buttons.push_back(child);
    std::stable_sort(buttons.begin(), buttons.end(), [](HWND a, HWND b) {
        RECT ra, rb;
        GetWindowRect(a, &ra);
        GetWindowRect(b, &rb);
        return ra.top != rb.top ? ra.top < rb.top : ra.left < rb.left;
    });
    return buttons;
}

// The icon beside the text, told apart by what is on the screen: icon handles belong to the
// process that loaded them, so the box's icon cannot be compared by handle or read back.
// The control's pixels are compared with each system icon drawn here, at the pixels the icon
// covers; the closest one wins when it is close enough.
struct Pixels {
    int width = 0, height = 0;
    std::vector<DWORD> bits;
};

Pixels ReadPixels(HDC source, int x, int y, int width, int height)
{
    Pixels p;
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateCompatibleBitmap(source, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    p.bits.resize(static_cast<size_t>(width) * height);
    if (GetDIBits(memory, bitmap, 0, height, p.bits.data(), &info, DIB_RGB_COLORS) == height) {
        p.width = width;
        p.height = height;
    } else {
        p.bits.clear();
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    return p;
}

Pixels DrawnIcon(HICON icon, int size, COLORREF background)
{
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT all = {0, 0, size, size};
    HBRUSH brush = CreateSolidBrush(background);
    FillRect(memory, &all, brush);
    DeleteObject(brush);
    DrawIconEx(memory, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    Pixels p = ReadPixels(memory, 0, 0, size, size);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return p;
}

// Mean colour difference over the pixels the icon covers; -1 when it covers none.
long IconDistance(const Pixels &shown, HICON icon, int size)
{
    Pixels onBlack = DrawnIcon(icon, size, RGB(0, 0, 0));
    Pixels onWhite = DrawnIcon(icon, size, RGB(255, 255, 255));
    if (onBlack.bits.empty() || onWhite.bits.empty())
        return -1;
    long total = 0, count = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            DWORD black = onBlack.bits[y * size + x], white = onWhite.bits[y * size + x];
            if ((black & 0xFFFFFF) != (white & 0xFFFFFF))
                continue; // transparent or blended here
            DWORD seen = shown.bits[y * shown.width + x];
            for (int shift = 0; shift < 24; shift += 8)
                total += std::labs(static_cast<long>((seen >> shift) & 0xFF) -
                                   static_cast<long>((black >> shift) & 0xFF));
            ++count;
        }
    }
    return count ? total / count : -1;
}

std::string BoxIcon(HWND box)
{
    HWND iconControl = nullptr;
    for (HWND child : DirectChildren(box))
        if (lstrcmpiA(ClassOf(child).c_str(), "Static") == 0 &&
            (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            iconControl = child;
    if (!iconControl || !IsWindowVisible(iconControl))
        return "none";
    DWORD_PTR shownIcon = 0;
    if (SendMessageTimeoutA(iconControl, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                            &shownIcon) &&
        !shownIcon)
        return "none";
    static const struct {
        LPCSTR resource;
        const char *name;
    } kIcons[] = {
        {IDI_ASTERISK, "information"},
        {IDI_HAND, "error"},
        {IDI_QUESTION, "question"},
        {IDI_EXCLAMATION, "warning"},
    };
    const int size = GetSystemMetrics(SM_CXICON);
    RECT rect;
    GetWindowRect(iconControl, &rect);
    if (rect.right - rect.left < size || rect.bottom - rect.top < size)
        return "";
    // The box may not have painted yet when it has just appeared: look again a few times.
    for (int attempt = 0; attempt < 10; ++attempt) {
        HDC screen = GetDC(nullptr);
        Pixels shown = ReadPixels(screen, rect.left, rect.top, size, size);
        ReleaseDC(nullptr, screen);
        if (shown.bits.empty())
            return "";
        const char *best = nullptr;
        long bestDistance = 0;
        for (const auto &icon : kIcons) {
            long distance = IconDistance(shown, LoadIconA(nullptr, icon.resource), size);
            if (distance >= 0 && (!best || distance < bestDistance)) {
                best = icon.name;
                bestDistance = distance;
            }
        }
        if (best && bestDistance <= 24)
            return best;
        Sleep(50);
    }
    return "";
}

void PrintBox(HWND box)
{
    std::printf("caption: %s\n", Escape(TextOf(box)).c_str());
    std::printf("text: %s\n", Escape(MessageText(box)).c_str());
    std::string names;
    for (HWND button : BoxButtons(box)) {
        if (!names.empty())
            names += '|';
        names += WithoutMnemonic(TextOf(button));
    }
    std::printf("buttons: %s\n", Escape(names).c_str());
    std::string icon = BoxIcon(box);
    if (!icon.empty())
        std::printf("icon: %s\n", icon.c_str());
    std::printf("hwnd: 0x%08lX\n", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(box)));
}

bool WaitGone(HWND hwnd, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (IsWindow(hwnd) && IsWindowVisible(hwnd)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(kPollMs);
    }
    return true;
}

// Posted, not sent: the click may open a modal loop (another box) that must not block us.
void PressButton(HWND button)
{
    PostMessageA(button, BM_CLICK, 0, 0);
}

// ---------------------------------------------------------------------------------------------
// Commands.

int CmdBox(const Args &args)
{
    unsigned long timeout = 0;
    if (!NumberOption(args, "timeout", 10000, timeout))
        return kExitUsage;
    HWND box = WaitForMessageBox(timeout);
    if (!box) {
        std::fprintf(stderr, "qauto: no message box within %lu ms\n", timeout);
        return kExitFailed;
    }
    PrintBox(box);
    if (!args.has("click"))
        return kExitOk;
    HWND button = nullptr;
    for (HWND candidate : BoxButtons(box))
        if (SameCaption(TextOf(candidate), args.get("click")))
            button = candidate;
    if (!button) {
        std::fprintf(stderr, "qauto: the box has no button '%s'\n", args.get("click").c_str());
        return kExitFailed;
    }
    // The box's own command path: what a click on the button ends in.
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(ControlId(button), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    if (!WaitGone(box, timeout > 2000 ? timeout : 2000)) {
        std::fprintf(stderr, "qauto: the box stayed after the click\n");
        return kExitFailed;
    }
    return kExitOk;
}

int CmdNoBox(const Args &args)
{
    unsigned long within = 0;
    if (!NumberOption(args, "within", 1500, within))
        return kExitUsage;
    HWND box = WaitForMessageBox(within);
    if (!box)
        return kExitOk;
    PrintBox(box);
    return kExitFailed;
}

void PrintWindowLine(HWND hwnd)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    std::printf("0x%08lX\t%s\t%s\t%lu\n", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(hwnd)),
                ClassOf(hwnd).c_str(), Escape(TextOf(hwnd)).c_str(),
                static_cast<unsigned long>(pid));
}

int CmdWindows(const Args &)
{
    for (HWND hwnd : TopLevelWindows())
        PrintWindowLine(hwnd);
    return kExitOk;
}

int CmdFind(const Args &args)
{
    unsigned long timeout = 0;
    if (!args.has("title") || !NumberOption(args, "timeout", 10000, timeout)) {
        std::fprintf(stderr, "qauto: find --title TEXT [--class C] [--timeout MS]\n");
        return kExitUsage;
    }
    std::string title = args.get("title");
    std::string cls = args.get("class");
    DWORD start = GetTickCount();
    for (;;) {
        for (HWND hwnd : TopLevelWindows()) {
            if (TextOf(hwnd) != title)
                continue;
            if (!cls.empty() && lstrcmpiA(ClassOf(hwnd).c_str(), cls.c_str()) != 0)
                continue;
            std::printf("0x%08lX\n", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(hwnd)));
            return kExitOk;
        }
        if (GetTickCount() - start >= timeout)
            break;
        Sleep(kPollMs);
    }
    std::fprintf(stderr, "qauto: no window titled '%s'\n", title.c_str());
    return kExitFailed;
}

// The window named by --hwnd, or its descendant with --id when given.
bool TargetWindow(const Args &args, HWND &target)
{
    HWND hwnd = nullptr;
    if (!HwndOption(args, hwnd))
        return false;
    target = hwnd;
    if (!args.has("id"))
        return true;
    unsigned long id = 0;
    if (!NumberOption(args, "id", 0, id))
        return false;
    target = FindControl(hwnd, static_cast<int>(id));
    return true;
}

int CmdText(const Args &args)
{
    HWND target = nullptr;
    if (!TargetWindow(args, target))
        return kExitUsage;
    if (!target || !IsWindow(target)) {
        std::fprintf(stderr, "qauto: no such window or control\n");
        return kExitFailed;
    }
    std::printf("%s\n", Escape(TextOf(target)).c_str());
    return kExitOk;
}

int CmdSetText(const Args &args)
{
    HWND target = nullptr;
    if (!args.has("id") || !args.has("text") || !TargetWindow(args, target)) {
        std::fprintf(stderr, "qauto: settext --hwnd H --id ID --text T\n");
        return kExitUsage;
    }
    if (!target) {
        std::fprintf(stderr, "qauto: no control with that id\n");
        return kExitFailed;
    }
    std::string text = args.get("text");
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(target, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &result)) {
        std::fprintf(stderr, "qauto: the control did not take the text\n");
        return kExitFailed;
    }
    // A person typing makes the edit tell its parent; WM_SETTEXT alone may not.
    PostMessageA(GetParent(target), WM_COMMAND, MAKEWPARAM(ControlId(target), EN_CHANGE),
                 reinterpret_cast<LPARAM>(target));
    return kExitOk;
}

int CmdClick(const Args &args)
{
    HWND hwnd = nullptr;
    if (!HwndOption(args, hwnd) || (args.has("id") == args.has("text"))) {
        std::fprintf(stderr, "qauto: click --hwnd H (--id ID | --text T)\n");
        return kExitUsage;
    }
    HWND button = nullptr;
    if (args.has("id")) {
        unsigned long id = 0;
        if (!NumberOption(args, "id", 0, id))
            return kExitUsage;
        button = FindControl(hwnd, static_cast<int>(id));
    } else {
        button = FindButtonByText(hwnd, args.get("text"));
    }
    if (!button) {
        std::fprintf(stderr, "qauto: no such button\n");
        return kExitFailed;
    }
    if (!IsWindowVisible(button) || !IsWindowEnabled(button)) {
        std::fprintf(stderr, "qauto: the button is hidden or disabled\n");
        return kExitFailed;
    }
    PressButton(button);
    return kExitOk;
}

int CmdChildren(const Args &args)
{
    HWND hwnd = nullptr;
    if (!HwndOption(args, hwnd))
        return kExitUsage;
    if (!IsWindow(hwnd)) {
        std::fprintf(stderr, "qauto: no such window\n");
        return kExitFailed;
    }
    // id, class, text, visible, enabled, hwnd, parent hwnd
    for (HWND child : AllDescendants(hwnd)) {
        std::printf("%d\t%s\t%s\t%s\t%s\t0x%08lX\t0x%08lX\n", ControlId(child),
                    ClassOf(child).c_str(), Escape(TextOf(child)).c_str(),
                    IsWindowVisible(child) ? "visible" : "hidden",
                    IsWindowEnabled(child) ? "enabled" : "disabled",
                    static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(child)),
                    static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(GetParent(child))));
    }
    return kExitOk;
}

int CmdClose(const Args &args)
{
    HWND hwnd = nullptr;
    if (!HwndOption(args, hwnd))
        return kExitUsage;
    if (!IsWindow(hwnd))
        return kExitFailed;
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
    return kExitOk;
}

// --- services ---

const char *StateName(DWORD state)
{
    switch (state) {
    case SERVICE_STOPPED: return "stopped";
    case SERVICE_START_PENDING: return "start-pending";
    case SERVICE_STOP_PENDING: return "stop-pending";
    case SERVICE_RUNNING: return "running";
    case SERVICE_CONTINUE_PENDING: return "continue-pending";
    case SERVICE_PAUSE_PENDING: return "pause-pending";
    case SERVICE_PAUSED: return "paused";
    default: return "unknown";
    }
}

const char *StartName(DWORD start)
{
    switch (start) {
    case SERVICE_BOOT_START: return "boot";
    case SERVICE_SYSTEM_START: return "system";
    case SERVICE_AUTO_START: return "auto";
    case SERVICE_DEMAND_START: return "demand";
    case SERVICE_DISABLED: return "disabled";
    default: return "unknown";
    }
}

struct ServiceHandles {
    SC_HANDLE manager = nullptr;
    SC_HANDLE service = nullptr;
    ~ServiceHandles()
    {
        if (service)
            CloseServiceHandle(service);
        if (manager)
            CloseServiceHandle(manager);
    }
};

int CmdService(const Args &args)
{
    if (args.words.size() != 2) {
        std::fprintf(stderr, "qauto: service NAME\n");
        return kExitUsage;
    }
    ServiceHandles h;
    h.manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!h.manager) {
        std::fprintf(stderr, "qauto: OpenSCManager failed (%lu)\n", GetLastError());
        return kExitFailed;
    }
    h.service = OpenServiceA(h.manager, args.words[1].c_str(),
                             SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG);
    if (!h.service) {
        DWORD error = GetLastError();
        if (error == ERROR_SERVICE_DOES_NOT_EXIST) {
            std::printf("state: missing\n");
            return kExitOk;
        }
        std::fprintf(stderr, "qauto: OpenService failed (%lu)\n", error);
        return kExitFailed;
    }
    SERVICE_STATUS status = {};
    if (QueryServiceStatus(h.service, &status))
        std::printf("state: %s\n", StateName(status.dwCurrentState));
    else
        std::printf("state: unknown\n");
    DWORD needed = 0;
    QueryServiceConfigA(h.service, nullptr, 0, &needed);
    std::vector<unsigned char> buffer(needed + sizeof(QUERY_SERVICE_CONFIGA));
    auto *config = reinterpret_cast<QUERY_SERVICE_CONFIGA *>(buffer.data());
    if (QueryServiceConfigA(h.service, config, static_cast<DWORD>(buffer.size()), &needed)) {
        std::printf("binary: %s\n", Escape(config->lpBinaryPathName ? config->lpBinaryPathName : "").c_str());
        std::printf("start: %s\n", StartName(config->dwStartType));
        std::printf("display: %s\n", Escape(config->lpDisplayName ? config->lpDisplayName : "").c_str());
    }
    return kExitOk;
}

int CmdServiceDelete(const Args &args)
{
    if (args.words.size() != 2) {
        std::fprintf(stderr, "qauto: svc-delete NAME\n");
        return kExitUsage;
    }
    ServiceHandles h;
    h.manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!h.manager) {
        std::fprintf(stderr, "qauto: OpenSCManager failed (%lu)\n", GetLastError());
        return kExitFailed;
    }
    h.service = OpenServiceA(h.manager, args.words[1].c_str(),
                             SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE);
    if (!h.service) {
        DWORD error = GetLastError();
        if (error == ERROR_SERVICE_DOES_NOT_EXIST)
            return kExitOk;
        std::fprintf(stderr, "qauto: OpenService failed (%lu)\n", error);
        return kExitFailed;
    }
    SERVICE_STATUS status = {};
    if (QueryServiceStatus(h.service, &status) && status.dwCurrentState != SERVICE_STOPPED) {
        ControlService(h.service, SERVICE_CONTROL_STOP, &status);
        DWORD start = GetTickCount();
        while (QueryServiceStatus(h.service, &status) && status.dwCurrentState != SERVICE_STOPPED &&
               GetTickCount() - start < 10000)
            Sleep(50);
    }
    if (!DeleteService(h.service)) {
        DWORD error = GetLastError();
        if (error != ERROR_SERVICE_MARKED_FOR_DELETE) {
            std::fprintf(stderr, "qauto: DeleteService failed (%lu)\n", error);
            return kExitFailed;
        }
    }
    return kExitOk;
}

// --- shared memory ---

int MappingByte(const Args &args, bool write)
{
    unsigned long offset = 0, value = 0;
    if (!args.has("mapping") || !args.has("offset") || (write && !args.has("value")) ||
        !NumberOption(args, "offset", 0, offset) || !NumberOption(args, "value", 0, value) ||
        value > 255) {
        std::fprintf(stderr, "qauto: %s --mapping NAME --offset N%s\n",
                     write ? "setbyte" : "getbyte", write ? " --value V" : "");
        return kExitUsage;
    }
    DWORD access = write ? FILE_MAP_WRITE : FILE_MAP_READ;
    HANDLE mapping = OpenFileMappingA(access, FALSE, args.get("mapping").c_str());
    if (!mapping) {
        std::fprintf(stderr, "qauto: no mapping '%s' (%lu)\n", args.get("mapping").c_str(),
                     GetLastError());
        return kExitFailed;
    }
    int rc = kExitOk;
    auto *view = static_cast<unsigned char *>(MapViewOfFile(mapping, access, 0, 0, offset + 1));
    if (!view) {
        std::fprintf(stderr, "qauto: offset %lu lies outside the mapping\n", offset);
        rc = kExitFailed;
    } else {
        if (write)
            view[offset] = static_cast<unsigned char>(value);
        else
            std::printf("%u\n", view[offset]);
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
    return rc;
}

int CmdSetByte(const Args &args) { return MappingByte(args, true); }
int CmdGetByte(const Args &args) { return MappingByte(args, false); }

// --- processes ---

int CmdKill(const Args &args)
{
    std::vector<std::string> images(args.words.begin() + 1, args.words.end());
    if (args.has("image"))
        images.push_back(args.get("image"));
    if (images.empty()) {
        std::fprintf(stderr, "qauto: kill --image NAME.EXE | kill NAME.EXE...\n");
        return kExitUsage;
    }
    auto wanted = [&](const char *exe) {
        for (const std::string &image : images)
            if (lstrcmpiA(exe, image.c_str()) == 0)
                return true;
        return false;
    };
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return kExitFailed;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (!wanted(entry.szExeFile) ||
            entry.th32ProcessID == GetCurrentProcessId())
            continue;
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (!process)
            continue;
        if (TerminateProcess(process, 1)) {
            WaitForSingleObject(process, 5000);
            std::printf("%lu\n", static_cast<unsigned long>(entry.th32ProcessID));
        }
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    return kExitOk;
}

// --- property sheets, menus and window state ---

// SendMessage with a time limit; false when the target did not answer.
bool SendTimed(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR &result)
{
    return SendMessageTimeoutA(hwnd, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                               &result) != 0;
}

HWND SheetTabControl(HWND sheet)
{
    DWORD_PTR tab = 0;
    if (SendTimed(sheet, PSM_GETTABCONTROL, 0, 0, tab) && tab)
        return reinterpret_cast<HWND>(tab);
    for (HWND child : DirectChildren(sheet))
        if (lstrcmpiA(ClassOf(child).c_str(), WC_TABCONTROLA) == 0)
            return child;
    return nullptr;
}

HWND SheetCurrentPage(HWND sheet)
{
    DWORD_PTR page = 0;
    if (!SendTimed(sheet, PSM_GETCURRENTPAGEHWND, 0, 0, page))
        return nullptr;
    return reinterpret_cast<HWND>(page);
}

bool SheetArgs(const Args &args, HWND &sheet)
{
    if (!HwndOption(args, sheet))
        return false;
    if (!IsWindow(sheet)) {
        std::fprintf(stderr, "qauto: no such window\n");
        return false;
    }
    return true;
}

// Memory in another process, given back when it goes out of scope.
struct RemoteBlock {
    HANDLE process = nullptr;
    char *address = nullptr;
    RemoteBlock(DWORD pid, SIZE_T size)
    {
        process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                  PROCESS_QUERY_INFORMATION,
                              FALSE, pid);
        if (process)
            address = static_cast<char *>(
                VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
    ~RemoteBlock()
    {
        if (address)
            VirtualFreeEx(process, address, 0, MEM_RELEASE);
        if (process)
            CloseHandle(process);
    }
    bool ok() const { return address != nullptr; }
};

// The tab titles in order. The tab control belongs to another process: the item structure
// and its text buffer are placed in that process and read back from there.
int CmdSheetTabs(const Args &args)
{
    HWND sheet = nullptr;
    if (!SheetArgs(args, sheet))
        return kExitUsage;
    HWND tab = SheetTabControl(sheet);
    if (!tab) {
        std::fprintf(stderr, "qauto: the window has no tab control\n");
        return kExitFailed;
    }
    DWORD_PTR count = 0;
    if (!SendTimed(tab, TCM_GETITEMCOUNT, 0, 0, count))
        return kExitFailed;
    DWORD pid = 0;
    GetWindowThreadProcessId(tab, &pid);
    const SIZE_T textSize = 512;
    RemoteBlock block(pid, sizeof(TCITEMA) + textSize);
    if (!block.ok()) {
        std::fprintf(stderr, "qauto: no memory in the target process (%lu)\n", GetLastError());
        return kExitFailed;
    }
    char *remoteText = block.address + sizeof(TCITEMA);
    for (DWORD_PTR i = 0; i < count; ++i) {
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = remoteText;
        item.cchTextMax = static_cast<int>(textSize);
        char text[512] = "";
        SIZE_T moved = 0;
        DWORD_PTR ok = 0;
        if (!WriteProcessMemory(block.process, block.address, &item, sizeof item, &moved) ||
            !WriteProcessMemory(block.process, remoteText, text, sizeof text, &moved) ||
            !SendTimed(tab, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(block.address), ok) || !ok ||
            !ReadProcessMemory(block.process, block.address, &item, sizeof item, &moved)) {
            std::fprintf(stderr, "qauto: could not read tab %lu\n", static_cast<unsigned long>(i));
            return kExitFailed;
        }
        // The control may answer with a pointer to its own copy of the text.
        if (!ReadProcessMemory(block.process, item.pszText, text, sizeof text - 1, &moved))
            return kExitFailed;
        text[sizeof text - 1] = '\0';
        std::printf("%s\n", Escape(text).c_str());
    }
    return kExitOk;
}

int CmdSheetPage(const Args &args)
{
    HWND sheet = nullptr;
    if (!SheetArgs(args, sheet))
        return kExitUsage;
    HWND page = SheetCurrentPage(sheet);
    if (!page) {
        std::fprintf(stderr, "qauto: the sheet shows no page\n");
        return kExitFailed;
    }
    std::printf("0x%08lX\n", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(page)));
    return kExitOk;
}

// Posted, so that a question the change of page raises does not block us; then waits until
// the tab is selected and its page shown.
int CmdSheetSelect(const Args &args)
{
    HWND sheet = nullptr;
    unsigned long index = 0, timeout = 0;
    if (!args.has("index") || !SheetArgs(args, sheet) || !NumberOption(args, "index", 0, index) ||
        !NumberOption(args, "timeout", 5000, timeout)) {
        std::fprintf(stderr, "qauto: sheet-select --hwnd H --index N [--timeout MS]\n");
        return kExitUsage;
    }
    HWND tab = SheetTabControl(sheet);
    PostMessageA(sheet, PSM_SETCURSEL, index, 0);
    DWORD start = GetTickCount();
    for (;;) {
        DWORD_PTR current = 0;
        HWND page = SheetCurrentPage(sheet);
        if (tab && SendTimed(tab, TCM_GETCURSEL, 0, 0, current) && current == index && page &&
            IsWindowVisible(page)) {
            std::printf("0x%08lX\n", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(page)));
            return kExitOk;
        }
        if (GetTickCount() - start >= timeout)
            break;
        Sleep(kPollMs);
    }
    std::fprintf(stderr, "qauto: page %lu was not shown\n", index);
    return kExitFailed;
}

// The system menu of a window in another process. Windows lets any process read it; Wine
// keeps menus in the owning process, where GetSystemMenu from outside gives nothing. There the
// menu is read by a small routine copied into the target and run on a thread of its own:
// it only calls the user32 functions it is handed, at their addresses in the target.
const int kMenuProbeItems = 32;
const int kMenuProbeText = 128;

struct MenuProbe {
    HWND hwnd;
    HMENU(WINAPI *getSystemMenu)(HWND, BOOL);
    int(WINAPI *getMenuItemCount)(HMENU);
    UINT(WINAPI *getMenuItemID)(HMENU, int);
    int(WINAPI *getMenuStringA)(HMENU, UINT, LPSTR, int, UINT);
    int count;
    UINT ids[kMenuProbeItems];
    char texts[kMenuProbeItems][kMenuProbeText];
};

// Runs in the target: no globals, no direct calls, so the bytes work at any address.
__attribute__((noinline, optimize("no-reorder-blocks-and-partition", "no-stack-protector")))
DWORD WINAPI MenuProbeThread(LPVOID param)
{
    MenuProbe *probe = static_cast<MenuProbe *>(param);
    HMENU menu = probe->getSystemMenu(probe->hwnd, FALSE);
    if (!menu)
        return 1;
    int count = probe->getMenuItemCount(menu);
    if (count < 0)
        return 1;
    if (count > kMenuProbeItems)
        count = kMenuProbeItems;
    probe->count = count;
    for (int i = 0; i < count; ++i) {
        probe->ids[i] = probe->getMenuItemID(menu, i);
        probe->getMenuStringA(menu, static_cast<UINT>(i), probe->texts[i], kMenuProbeText,
                              MF_BYPOSITION);
    }
    return 0;
}

const SIZE_T kMenuProbeCodeBytes = 1024;

// Where a function of this process's user32.dll lies in the target process.
template <typename F>
bool RemoteUser32Function(DWORD pid, const char *name, F &function)
{
    HMODULE local = GetModuleHandleA("user32.dll");
    FARPROC address = local ? GetProcAddress(local, name) : nullptr;
    if (!address)
        return false;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    MODULEENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    BYTE *remoteBase = nullptr;
    for (BOOL more = Module32First(snapshot, &entry); more; more = Module32Next(snapshot, &entry))
        if (lstrcmpiA(entry.szModule, "user32.dll") == 0)
            remoteBase = entry.modBaseAddr;
    CloseHandle(snapshot);
    if (!remoteBase)
        return false;
    BYTE *remote = remoteBase + (reinterpret_cast<BYTE *>(address) - reinterpret_cast<BYTE *>(local));
    function = reinterpret_cast<F>(reinterpret_cast<void *>(remote));
    return true;
}

bool ReadMenuInTarget(HWND hwnd, MenuProbe &probe)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    probe = MenuProbe();
    probe.hwnd = hwnd;
    if (!RemoteUser32Function(pid, "GetSystemMenu", probe.getSystemMenu) ||
        !RemoteUser32Function(pid, "GetMenuItemCount", probe.getMenuItemCount) ||
        !RemoteUser32Function(pid, "GetMenuItemID", probe.getMenuItemID) ||
        !RemoteUser32Function(pid, "GetMenuStringA", probe.getMenuStringA))
        return false;
    HANDLE process = OpenProcess(PROCESS_CREATE_THREAD | PROCESS_VM_OPERATION | PROCESS_VM_READ |
                                     PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                                 FALSE, pid);
    if (!process)
        return false;
    bool done = false;
    char *remote = static_cast<char *>(VirtualAllocEx(process, nullptr,
                                                      kMenuProbeCodeBytes + sizeof probe,
                                                      MEM_COMMIT | MEM_RESERVE,
                                                      PAGE_EXECUTE_READWRITE));
    SIZE_T moved = 0;
    if (remote &&
        WriteProcessMemory(process, remote, reinterpret_cast<const void *>(MenuProbeThread),
                           kMenuProbeCodeBytes, &moved) &&
        WriteProcessMemory(process, remote + kMenuProbeCodeBytes, &probe, sizeof probe, &moved)) {
        FlushInstructionCache(process, remote, kMenuProbeCodeBytes);
        HANDLE thread = CreateRemoteThread(
            process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(remote),
            remote + kMenuProbeCodeBytes, 0, nullptr);
        DWORD code = 1;
        if (thread && WaitForSingleObject(thread, kSendTimeoutMs) == WAIT_OBJECT_0 &&
            GetExitCodeThread(thread, &code) && code == 0)
            done = ReadProcessMemory(process, remote + kMenuProbeCodeBytes, &probe, sizeof probe,
                                     &moved) != 0;
        if (thread)
            CloseHandle(thread);
    }
    if (remote)
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return done;
}

int CmdSysMenu(const Args &args)
{
    HWND hwnd = nullptr;
    if (!SheetArgs(args, hwnd))
        return kExitUsage;
    MenuProbe probe = {};
    HMENU menu = GetSystemMenu(hwnd, FALSE);
    int count = menu ? GetMenuItemCount(menu) : -1;
    if (count >= 0) {
        probe.count = std::min(count, kMenuProbeItems);
        for (int i = 0; i < probe.count; ++i) {
            probe.ids[i] = GetMenuItemID(menu, i);
            GetMenuStringA(menu, i, probe.texts[i], kMenuProbeText, MF_BYPOSITION);
        }
    } else if (!ReadMenuInTarget(hwnd, probe)) {
        std::fprintf(stderr, "qauto: the system menu cannot be read\n");
        return kExitFailed;
    }
    // One line per item: its command id and its text (a separator has none).
    for (int i = 0; i < probe.count; ++i) {
        probe.texts[i][kMenuProbeText - 1] = '\0';
        std::printf("%u\t%s\n", probe.ids[i], Escape(probe.texts[i]).c_str());
    }
    return kExitOk;
}

bool WaitIconic(HWND hwnd, bool iconic, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while ((IsIconic(hwnd) != FALSE) != iconic) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(kPollMs);
    }
    return true;
}

int CmdSysCommand(const Args &args)
{
    HWND hwnd = nullptr;
    std::string command = args.get("command");
    if (!SheetArgs(args, hwnd) || (command != "minimize" && command != "restore")) {
        std::fprintf(stderr, "qauto: syscommand --hwnd H --command minimize|restore\n");
        return kExitUsage;
    }
    bool minimize = command == "minimize";
    PostMessageA(hwnd, WM_SYSCOMMAND, minimize ? SC_MINIMIZE : SC_RESTORE, 0);
    if (!WaitIconic(hwnd, minimize, 5000)) {
        std::fprintf(stderr, "qauto: the window did not %s\n", command.c_str());
        return kExitFailed;
    }
    return kExitOk;
}

int CmdState(const Args &args)
{
    HWND hwnd = nullptr;
    if (!SheetArgs(args, hwnd))
        return kExitUsage;
    std::printf("iconic: %s\n", IsIconic(hwnd) ? "yes" : "no");
    std::printf("visible: %s\n", IsWindowVisible(hwnd) ? "yes" : "no");
    std::printf("enabled: %s\n", IsWindowEnabled(hwnd) ? "yes" : "no");
    return kExitOk;
}

// The check state of a check box or radio button: checked, unchecked or indeterminate.
int CmdChecked(const Args &args)
{
    HWND target = nullptr;
    if (!args.has("id") || !TargetWindow(args, target)) {
        std::fprintf(stderr, "qauto: checked --hwnd H --id ID\n");
        return kExitUsage;
    }
    DWORD_PTR state = 0;
    if (!target || !SendTimed(target, BM_GETCHECK, 0, 0, state)) {
        std::fprintf(stderr, "qauto: no such control\n");
        return kExitFailed;
    }
    std::printf("%s\n", state == BST_CHECKED ? "checked"
                        : state == BST_INDETERMINATE ? "indeterminate" : "unchecked");
    return kExitOk;
}

// ---------------------------------------------------------------------------------------------

struct Command {
    const char *name;
    int (*run)(const Args &);
    const char *usage;
};

const Command kCommands[] = {
    {"box", CmdBox, "box [--timeout MS] [--click BUTTON]"},
    {"nobox", CmdNoBox, "nobox [--within MS]"},
    {"windows", CmdWindows, "windows"},
    {"find", CmdFind, "find --title TEXT [--class C] [--timeout MS]"},
    {"text", CmdText, "text --hwnd H [--id ID]"},
    {"settext", CmdSetText, "settext --hwnd H --id ID --text T"},
    {"click", CmdClick, "click --hwnd H (--id ID | --text T)"},
    {"children", CmdChildren, "children --hwnd H"},
    {"close", CmdClose, "close --hwnd H"},
    {"service", CmdService, "service NAME"},
    {"svc-delete", CmdServiceDelete, "svc-delete NAME"},
    {"setbyte", CmdSetByte, "setbyte --mapping NAME --offset N --value V"},
    {"getbyte", CmdGetByte, "getbyte --mapping NAME --offset N"},
    {"kill", CmdKill, "kill --image NAME.EXE | kill NAME.EXE..."},
    {"sheet-tabs", CmdSheetTabs, "sheet-tabs --hwnd H"},
    {"sheet-select", CmdSheetSelect, "sheet-select --hwnd H --index N [--timeout MS]"},
    {"sheet-page", CmdSheetPage, "sheet-page --hwnd H"},
    {"sysmenu", CmdSysMenu, "sysmenu --hwnd H"},
    {"syscommand", CmdSysCommand, "syscommand --hwnd H --command minimize|restore"},
    {"state", CmdState, "state --hwnd H"},
    {"checked", CmdChecked, "checked --hwnd H --id ID"},
};

int Usage()
{
    std::fprintf(stderr, "usage: qauto COMMAND ...\n");
    for (const Command &command : kCommands)
        std::fprintf(stderr, "  qauto %s\n", command.usage);
    return kExitUsage;
}

} // namespace

int main(int argc, char **argv)
{
    // One '\n' per line whatever reads the pipe.
    _setmode(_fileno(stdout), _O_BINARY);
    Args args;
    if (argc < 2 || !ParseArgs(argc - 1, argv + 1, args) || args.words.empty())
        return Usage();
    for (const Command &command : kCommands) {
        if (args.words[0] == command.name) {
            int rc = command.run(args);
            std::fflush(stdout);
            return rc;
        }
    }
    return Usage();
}
