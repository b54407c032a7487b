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
#include <cctype>
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

    bool has(const char* name) const { return options.count(name) != 0; }
    std::string get(const char* name, const char* fallback = "") const
    {
        auto it = options.find(name);
        return it == options.end() ? fallback : it->second;
    }
};

bool ParseArgs(int argc, char** argv, Args& args)
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

bool ParseNumber(const std::string& text, int base, unsigned long& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtoul(text.c_str(), &end, base);
    return end && *end == '\0';
}

// Decimal or 0x-prefixed numbers for ids, offsets, times; hwnds are always hex.
bool NumberOption(const Args& args, const char* name, unsigned long fallback, unsigned long& value)
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

bool HwndOption(const Args& args, HWND& hwnd)
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

std::string Escape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
            break;
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
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length))
        return "";
    std::vector<char> buffer(length + 2, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                             kSendTimeoutMs, &copied))
        return "";
    return std::string(buffer.data());
}

// Button captions without their mnemonic marks ("&Yes" -> "Yes", "&&" -> "&").
std::string WithoutMnemonic(const std::string& text)
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

bool SameCaption(const std::string& a, const std::string& b)
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
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

BOOL CALLBACK CollectAll(HWND hwnd, LPARAM param)
{
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
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

HWND FindButtonByText(HWND parent, const std::string& text)
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
            if (ControlId(child) == kMessageTextId && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
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
        if (ControlId(child) == kMessageTextId && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
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
long IconDistance(const Pixels& shown, HICON icon, int size)
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
                total +=
                    std::labs(static_cast<long>((seen >> shift) & 0xFF) - static_cast<long>((black >> shift) & 0xFF));
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
    if (SendMessageTimeoutA(iconControl, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &shownIcon) && !shownIcon)
        return "none";
    static const struct {
        LPCSTR resource;
        const char* name;
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
        const char* best = nullptr;
        long bestDistance = 0;
        for (const auto& icon : kIcons) {
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
    std::printf("owner: 0x%08lX\n", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(GetWindow(box, GW_OWNER))));
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

int CmdBox(const Args& args)
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
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(ControlId(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
    if (!WaitGone(box, timeout > 2000 ? timeout : 2000)) {
        std::fprintf(stderr, "qauto: the box stayed after the click\n");
        return kExitFailed;
    }
    return kExitOk;
}

int CmdNoBox(const Args& args)
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
                ClassOf(hwnd).c_str(), Escape(TextOf(hwnd)).c_str(), static_cast<unsigned long>(pid));
}

int CmdWindows(const Args&)
{
    for (HWND hwnd : TopLevelWindows())
        PrintWindowLine(hwnd);
    return kExitOk;
}

int CmdFind(const Args& args)
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

// The title the system keeps for a window of another process, read without sending it a
// message: a program busy in a loop that reads no messages still shows its windows' titles
// and the texts of their static controls this way.
std::string StoredTextOf(HWND hwnd)
{
    char text[1024] = "";
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

// Like find, for windows whose program is busy: only stored titles are read. With --id, the
// stored text of that control follows on a line of its own ("text: ...").
int CmdPeek(const Args& args)
{
    unsigned long timeout = 0, id = 0;
    if (!args.has("title") || !NumberOption(args, "timeout", 10000, timeout) || !NumberOption(args, "id", 0, id)) {
        std::fprintf(stderr, "qauto: peek --title TEXT [--id ID] [--timeout MS]\n");
        return kExitUsage;
    }
    std::string title = args.get("title");
    DWORD start = GetTickCount();
    for (;;) {
        for (HWND hwnd : TopLevelWindows()) {
            if (StoredTextOf(hwnd) != title)
                continue;
            std::printf("hwnd: 0x%08lX\n", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(hwnd)));
            if (args.has("id")) {
                HWND control = GetDlgItem(hwnd, static_cast<int>(id));
                if (!control) {
                    std::fprintf(stderr, "qauto: the window has no control %lu\n", id);
                    return kExitFailed;
                }
                std::printf("text: %s\n", Escape(StoredTextOf(control)).c_str());
            }
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
bool TargetWindow(const Args& args, HWND& target)
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

int CmdText(const Args& args)
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

int CmdSetText(const Args& args)
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
    if (!SendMessageTimeoutA(target, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                             kSendTimeoutMs, &result)) {
        std::fprintf(stderr, "qauto: the control did not take the text\n");
        return kExitFailed;
    }
    // A person typing makes the edit tell its parent; WM_SETTEXT alone may not.
    PostMessageA(GetParent(target), WM_COMMAND, MAKEWPARAM(ControlId(target), EN_CHANGE),
                 reinterpret_cast<LPARAM>(target));
    return kExitOk;
}

int CmdClick(const Args& args)
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

int CmdChildren(const Args& args)
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
        std::printf("%d\t%s\t%s\t%s\t%s\t0x%08lX\t0x%08lX\n", ControlId(child), ClassOf(child).c_str(),
                    Escape(TextOf(child)).c_str(), IsWindowVisible(child) ? "visible" : "hidden",
                    IsWindowEnabled(child) ? "enabled" : "disabled",
                    static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(child)),
                    static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(GetParent(child))));
    }
    return kExitOk;
}

int CmdClose(const Args& args)
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

const char* StateName(DWORD state)
{
    switch (state) {
    case SERVICE_STOPPED:
        return "stopped";
    case SERVICE_START_PENDING:
        return "start-pending";
    case SERVICE_STOP_PENDING:
        return "stop-pending";
    case SERVICE_RUNNING:
        return "running";
    case SERVICE_CONTINUE_PENDING:
        return "continue-pending";
    case SERVICE_PAUSE_PENDING:
        return "pause-pending";
    case SERVICE_PAUSED:
        return "paused";
    default:
        return "unknown";
    }
}

const char* StartName(DWORD start)
{
    switch (start) {
    case SERVICE_BOOT_START:
        return "boot";
    case SERVICE_SYSTEM_START:
        return "system";
    case SERVICE_AUTO_START:
        return "auto";
    case SERVICE_DEMAND_START:
        return "demand";
    case SERVICE_DISABLED:
        return "disabled";
    default:
        return "unknown";
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

int CmdService(const Args& args)
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
    h.service = OpenServiceA(h.manager, args.words[1].c_str(), SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG);
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
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    if (QueryServiceConfigA(h.service, config, static_cast<DWORD>(buffer.size()), &needed)) {
        std::printf("binary: %s\n", Escape(config->lpBinaryPathName ? config->lpBinaryPathName : "").c_str());
        std::printf("start: %s\n", StartName(config->dwStartType));
        std::printf("display: %s\n", Escape(config->lpDisplayName ? config->lpDisplayName : "").c_str());
    }
    return kExitOk;
}

int CmdServiceDelete(const Args& args)
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
    h.service = OpenServiceA(h.manager, args.words[1].c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE);
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

int MappingByte(const Args& args, bool write)
{
    unsigned long offset = 0, value = 0;
    if (!args.has("mapping") || !args.has("offset") || (write && !args.has("value")) ||
        !NumberOption(args, "offset", 0, offset) || !NumberOption(args, "value", 0, value) || value > 255) {
        std::fprintf(stderr, "qauto: %s --mapping NAME --offset N%s\n", write ? "setbyte" : "getbyte",
                     write ? " --value V" : "");
        return kExitUsage;
    }
    DWORD access = write ? FILE_MAP_WRITE : FILE_MAP_READ;
    HANDLE mapping = OpenFileMappingA(access, FALSE, args.get("mapping").c_str());
    if (!mapping) {
        std::fprintf(stderr, "qauto: no mapping '%s' (%lu)\n", args.get("mapping").c_str(), GetLastError());
        return kExitFailed;
    }
    int rc = kExitOk;
    auto* view = static_cast<unsigned char*>(MapViewOfFile(mapping, access, 0, 0, offset + 1));
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

int CmdSetByte(const Args& args)
{
    return MappingByte(args, true);
}
int CmdGetByte(const Args& args)
{
    return MappingByte(args, false);
}

// --- processes ---

int CmdKill(const Args& args)
{
    std::vector<std::string> images(args.words.begin() + 1, args.words.end());
    if (args.has("image"))
        images.push_back(args.get("image"));
    if (images.empty()) {
        std::fprintf(stderr, "qauto: kill --image NAME.EXE | kill NAME.EXE...\n");
        return kExitUsage;
    }
    auto wanted = [&](const char* exe) {
        for (const std::string& image : images)
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
        if (!wanted(entry.szExeFile) || entry.th32ProcessID == GetCurrentProcessId())
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
bool SendTimed(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR& result)
{
    return SendMessageTimeoutA(hwnd, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result) != 0;
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

bool SheetArgs(const Args& args, HWND& sheet)
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
    char* address = nullptr;
    RemoteBlock(DWORD pid, SIZE_T size)
    {
        process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                              FALSE, pid);
        if (process)
            address =
                static_cast<char*>(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
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
int CmdSheetTabs(const Args& args)
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
    char* remoteText = block.address + sizeof(TCITEMA);
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

int CmdSheetPage(const Args& args)
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
int CmdSheetSelect(const Args& args)
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
        if (tab && SendTimed(tab, TCM_GETCURSEL, 0, 0, current) && current == index && page && IsWindowVisible(page)) {
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

// PSM_QUERYSIBLINGS with the given parameters: the sheet hands it to its pages until one
// answers other than 0; that answer (or 0) is printed in decimal. Plain numbers cross
// processes as they are.
int CmdSheetQuery(const Args& args)
{
    HWND sheet = nullptr;
    unsigned long wParam = 0, lParam = 0;
    if (!args.has("wparam") || !SheetArgs(args, sheet) || !NumberOption(args, "wparam", 0, wParam) ||
        !NumberOption(args, "lparam", 0, lParam)) {
        std::fprintf(stderr, "qauto: sheet-query --hwnd H --wparam N [--lparam N]\n");
        return kExitUsage;
    }
    DWORD_PTR result = 0;
    if (!SendTimed(sheet, PSM_QUERYSIBLINGS, wParam, lParam, result)) {
        std::fprintf(stderr, "qauto: the sheet did not answer\n");
        return kExitFailed;
    }
    std::printf("%ld\n", static_cast<long>(result));
    return kExitOk;
}

// The system menu of a window in another process. Windows lets any process read it; Wine
// keeps menus in the owning process, where GetSystemMenu from outside gives nothing. There the
// menu is read by a small routine copied into the target and run on a thread of its own:
// it only calls the user32 functions it is handed, at their addresses in the target.
const int kMenuProbeItems = 32;
const int kMenuProbeText = 128;

struct MenuProbe {
    HWND hwnd;
    HMENU(WINAPI* getSystemMenu)(HWND, BOOL);
    int(WINAPI* getMenuItemCount)(HMENU);
    UINT(WINAPI* getMenuItemID)(HMENU, int);
    int(WINAPI* getMenuStringA)(HMENU, UINT, LPSTR, int, UINT);
    int count;
    UINT ids[kMenuProbeItems];
    char texts[kMenuProbeItems][kMenuProbeText];
};

// Runs in the target: no globals, no direct calls, so the bytes work at any address.
__attribute__((noinline, optimize("no-reorder-blocks-and-partition", "no-stack-protector"))) DWORD WINAPI
MenuProbeThread(LPVOID param)
{
    MenuProbe* probe = static_cast<MenuProbe*>(param);
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
        probe->getMenuStringA(menu, static_cast<UINT>(i), probe->texts[i], kMenuProbeText, MF_BYPOSITION);
    }
    return 0;
}

const SIZE_T kMenuProbeCodeBytes = 1024;

// Where a function of this process's user32.dll lies in the target process.
template <typename F>
bool RemoteUser32Function(DWORD pid, const char* name, F& function)
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
    BYTE* remoteBase = nullptr;
    for (BOOL more = Module32First(snapshot, &entry); more; more = Module32Next(snapshot, &entry))
        if (lstrcmpiA(entry.szModule, "user32.dll") == 0)
            remoteBase = entry.modBaseAddr;
    CloseHandle(snapshot);
    if (!remoteBase)
        return false;
    BYTE* remote = remoteBase + (reinterpret_cast<BYTE*>(address) - reinterpret_cast<BYTE*>(local));
    function = reinterpret_cast<F>(reinterpret_cast<void*>(remote));
    return true;
}

bool ReadMenuInTarget(HWND hwnd, MenuProbe& probe)
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
    HANDLE process = OpenProcess(PROCESS_CREATE_THREAD | PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                     PROCESS_QUERY_INFORMATION,
                                 FALSE, pid);
    if (!process)
        return false;
    bool done = false;
    char* remote = static_cast<char*>(VirtualAllocEx(process, nullptr, kMenuProbeCodeBytes + sizeof probe,
                                                     MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    SIZE_T moved = 0;
    if (remote &&
        WriteProcessMemory(process, remote, reinterpret_cast<const void*>(MenuProbeThread), kMenuProbeCodeBytes,
                           &moved) &&
        WriteProcessMemory(process, remote + kMenuProbeCodeBytes, &probe, sizeof probe, &moved)) {
        FlushInstructionCache(process, remote, kMenuProbeCodeBytes);
        HANDLE thread = CreateRemoteThread(process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(remote),
                                           remote + kMenuProbeCodeBytes, 0, nullptr);
        DWORD code = 1;
        if (thread && WaitForSingleObject(thread, kSendTimeoutMs) == WAIT_OBJECT_0 &&
            GetExitCodeThread(thread, &code) && code == 0)
            done = ReadProcessMemory(process, remote + kMenuProbeCodeBytes, &probe, sizeof probe, &moved) != 0;
        if (thread)
            CloseHandle(thread);
    }
    if (remote)
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return done;
}

int CmdSysMenu(const Args& args)
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

int CmdSysCommand(const Args& args)
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

int CmdState(const Args& args)
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
int CmdChecked(const Args& args)
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
    std::printf("%s\n", state == BST_CHECKED ? "checked" : state == BST_INDETERMINATE ? "indeterminate" : "unchecked");
    return kExitOk;
}

// How many pixels of a control, as the screen shows it, have one colour: the text colour of
// a label read back from what was drawn.
int CmdColourCount(const Args& args)
{
    HWND target = nullptr;
    unsigned long rgb = 0;
    if (!args.has("id") || !args.has("rgb") || !TargetWindow(args, target)) {
        std::fprintf(stderr, "qauto: colour-count --hwnd H --id ID --rgb RRGGBB\n");
        return kExitUsage;
    }
    rgb = std::strtoul(args.get("rgb").c_str(), nullptr, 16);
    RECT rect;
    if (!target || !GetWindowRect(target, &rect) || rect.right <= rect.left || rect.bottom <= rect.top) {
        std::fprintf(stderr, "qauto: no such control\n");
        return kExitFailed;
    }
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    unsigned long count = 0;
    const auto* pixels = static_cast<const unsigned char*>(bits);
    for (int i = 0; bits && i < width * height; ++i) {
        unsigned long pixel = (unsigned long)pixels[i * 4 + 2] << 16 | (unsigned long)pixels[i * 4 + 1] << 8 |
                              pixels[i * 4];
        count += pixel == rgb;
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    std::printf("%lu\n", count);
    return kExitOk;
}

// --- list views in another process ---
//
// The list's item and column structures, and the texts and rectangles it fills, must live in
// the list's own process: they are placed there (RemoteBlock) and read back from there.

bool ListArgs(const Args& args, HWND& list)
{
    if (!HwndOption(args, list))
        return false;
    if (!IsWindow(list)) {
        std::fprintf(stderr, "qauto: no such window\n");
        return false;
    }
    return true;
}

DWORD ProcessOf(HWND hwnd)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

bool ListCount(HWND list, int& count)
{
    DWORD_PTR result = 0;
    if (!SendTimed(list, LVM_GETITEMCOUNT, 0, 0, result))
        return false;
    count = static_cast<int>(result);
    return true;
}

HWND ListHeader(HWND list)
{
    DWORD_PTR header = 0;
    if (!SendTimed(list, LVM_GETHEADER, 0, 0, header))
        return nullptr;
    return reinterpret_cast<HWND>(header);
}

int ListColumnCount(HWND list)
{
    HWND header = ListHeader(list);
    DWORD_PTR count = 0;
    if (!header || !SendTimed(header, HDM_GETITEMCOUNT, 0, 0, count))
        return -1;
    return static_cast<int>(static_cast<LONG_PTR>(count));
}

// Rows named as "1,3,5"; an empty text names none.
bool ParseRowList(const std::string& text, std::vector<int>& rows)
{
    size_t start = 0;
    while (start < text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos)
            comma = text.size();
        unsigned long row = 0;
        if (!ParseNumber(text.substr(start, comma - start), 10, row))
            return false;
        rows.push_back(static_cast<int>(row));
        start = comma + 1;
    }
    return true;
}

int CmdListRows(const Args& args)
{
    HWND list = nullptr;
    if (!ListArgs(args, list))
        return kExitUsage;
    int count = 0;
    if (!ListCount(list, count)) {
        std::fprintf(stderr, "qauto: the list did not answer\n");
        return kExitFailed;
    }
    std::printf("%d\n", count);
    return kExitOk;
}

// Every row's cell texts, tab-separated, one line per row. For a virtual list the list asks
// its owner for each text; the owner may answer with a pointer to its own buffer, which lies
// in the same process and is read from there.
int CmdListCells(const Args& args)
{
    HWND list = nullptr;
    unsigned long most = 0;
    if (!ListArgs(args, list) || !NumberOption(args, "max", 0xFFFFFFFFul, most))
        return kExitUsage;
    int rows = 0;
    int columns = ListColumnCount(list);
    if (!ListCount(list, rows) || columns < 0) {
        std::fprintf(stderr, "qauto: the list did not answer\n");
        return kExitFailed;
    }
    if (columns == 0)
        columns = 1;
    if (static_cast<unsigned long>(rows) > most)
        rows = static_cast<int>(most);

    const int textSize = 512;
    const SIZE_T itemsSize = sizeof(LVITEMA) * columns;
    RemoteBlock block(ProcessOf(list), itemsSize + static_cast<SIZE_T>(textSize) * columns);
    if (!block.ok()) {
        std::fprintf(stderr, "qauto: no memory in the target process (%lu)\n", GetLastError());
        return kExitFailed;
    }
    std::vector<LVITEMA> items(columns);
    std::vector<char> texts(static_cast<size_t>(textSize) * columns);
    SIZE_T moved = 0;
    for (int row = 0; row < rows; ++row) {
        for (int c = 0; c < columns; ++c) {
            items[c] = LVITEMA();
            items[c].iSubItem = c;
            items[c].pszText = block.address + itemsSize + static_cast<SIZE_T>(textSize) * c;
            items[c].cchTextMax = textSize;
        }
        std::fill(texts.begin(), texts.end(), '\0');
        if (!WriteProcessMemory(block.process, block.address, items.data(), itemsSize, &moved) ||
            !WriteProcessMemory(block.process, block.address + itemsSize, texts.data(), texts.size(), &moved)) {
            std::fprintf(stderr, "qauto: could not write to the target process\n");
            return kExitFailed;
        }
        for (int c = 0; c < columns; ++c) {
            DWORD_PTR length = 0;
            if (!SendTimed(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(block.address + sizeof(LVITEMA) * c),
                           length)) {
                std::fprintf(stderr, "qauto: the list did not answer for row %d\n", row);
                return kExitFailed;
            }
        }
        if (!ReadProcessMemory(block.process, block.address, items.data(), itemsSize, &moved) ||
            !ReadProcessMemory(block.process, block.address + itemsSize, texts.data(), texts.size(), &moved)) {
            std::fprintf(stderr, "qauto: could not read the target process\n");
            return kExitFailed;
        }
        std::string line;
        for (int c = 0; c < columns; ++c) {
            const char* own = block.address + itemsSize + static_cast<SIZE_T>(textSize) * c;
            char text[textSize + 1] = "";
            if (items[c].pszText == own || !items[c].pszText)
                lstrcpynA(text, texts.data() + static_cast<size_t>(textSize) * c, textSize);
            else
                ReadProcessMemory(block.process, items[c].pszText, text, textSize, &moved);
            text[textSize] = '\0';
            if (c)
                line += '\t';
            line += Escape(text);
        }
        std::printf("%s\n", line.c_str());
    }
    return kExitOk;
}

int CmdListSelected(const Args& args)
{
    HWND list = nullptr;
    if (!ListArgs(args, list))
        return kExitUsage;
    DWORD_PTR next = 0;
    int index = -1;
    for (;;) {
        if (!SendTimed(list, LVM_GETNEXTITEM, static_cast<WPARAM>(index), MAKELPARAM(LVNI_SELECTED, 0), next)) {
            std::fprintf(stderr, "qauto: the list did not answer\n");
            return kExitFailed;
        }
        int found = static_cast<int>(static_cast<LONG_PTR>(next));
        if (found < 0 || found <= index)
            break;
        std::printf("%d\n", found);
        index = found;
    }
    return kExitOk;
}

// Selects exactly the rows named, the first one also focused and scrolled into view.
int CmdListSelect(const Args& args)
{
    HWND list = nullptr;
    std::vector<int> rows;
    if (!args.has("rows") || !ListArgs(args, list) || !ParseRowList(args.get("rows"), rows)) {
        std::fprintf(stderr, "qauto: list-select --hwnd LIST --rows 1,3,5\n");
        return kExitUsage;
    }
    RemoteBlock block(ProcessOf(list), sizeof(LVITEMA));
    if (!block.ok()) {
        std::fprintf(stderr, "qauto: no memory in the target process (%lu)\n", GetLastError());
        return kExitFailed;
    }
    auto setState = [&](int row, UINT state) {
        LVITEMA item = {};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = state;
        SIZE_T moved = 0;
        DWORD_PTR done = 0;
        return WriteProcessMemory(block.process, block.address, &item, sizeof item, &moved) &&
               SendTimed(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(block.address),
                         done) &&
               done;
    };
    if (!setState(-1, 0)) {
        std::fprintf(stderr, "qauto: the list did not clear its selection\n");
        return kExitFailed;
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        if (!setState(rows[i], LVIS_SELECTED | (i == 0 ? LVIS_FOCUSED : 0))) {
            std::fprintf(stderr, "qauto: the list did not select row %d\n", rows[i]);
            return kExitFailed;
        }
    }
    DWORD_PTR done = 0;
    if (!rows.empty())
        SendTimed(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(rows[0]), FALSE, done);
    return kExitOk;
}

// A rectangle the target fills: the message gets a RECT placed in the target, primed with
// what the message wants in it beforehand.
bool RemoteRect(HWND hwnd, UINT message, WPARAM wParam, RECT& rect)
{
    RemoteBlock block(ProcessOf(hwnd), sizeof(RECT));
    SIZE_T moved = 0;
    DWORD_PTR ok = 0;
    return block.ok() && WriteProcessMemory(block.process, block.address, &rect, sizeof rect, &moved) &&
           SendTimed(hwnd, message, wParam, reinterpret_cast<LPARAM>(block.address), ok) && ok &&
           ReadProcessMemory(block.process, block.address, &rect, sizeof rect, &moved);
}

LPARAM PointParam(const RECT& rect)
{
    return MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
}

// A real click on a column's header item: pressed and released at its centre. The header
// tells the list, which tells its owner (LVN_COLUMNCLICK).
int CmdListHeaderClick(const Args& args)
{
    HWND list = nullptr;
    unsigned long column = 0;
    if (!args.has("column") || !ListArgs(args, list) || !NumberOption(args, "column", 0, column)) {
        std::fprintf(stderr, "qauto: list-header-click --hwnd LIST --column N\n");
        return kExitUsage;
    }
    HWND header = ListHeader(list);
    RECT rect = {};
    if (!header || !RemoteRect(header, HDM_GETITEMRECT, column, rect)) {
        std::fprintf(stderr, "qauto: the list has no header item %lu\n", column);
        return kExitFailed;
    }
    LPARAM point = PointParam(rect);
    PostMessageA(header, WM_MOUSEMOVE, 0, point);
    PostMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageA(header, WM_LBUTTONUP, 0, point);
    return kExitOk;
}

// A double click on a row: the rectangle of its first cell, pressed, released, pressed again
// as a double click and released, as the mouse sends it.
int CmdDoubleClick(const Args& args)
{
    HWND list = nullptr;
    unsigned long row = 0;
    if (!args.has("row") || !ListArgs(args, list) || !NumberOption(args, "row", 0, row)) {
        std::fprintf(stderr, "qauto: dblclick --hwnd LIST --row N\n");
        return kExitUsage;
    }
    RECT rect = {};
    rect.left = LVIR_LABEL;
    if (!RemoteRect(list, LVM_GETITEMRECT, row, rect)) {
        std::fprintf(stderr, "qauto: the list has no row %lu on screen\n", row);
        return kExitFailed;
    }
    LPARAM point = PointParam(rect);
    PostMessageA(list, WM_MOUSEMOVE, 0, point);
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageA(list, WM_LBUTTONUP, 0, point);
    PostMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, point);
    PostMessageA(list, WM_LBUTTONUP, 0, point);
    return kExitOk;
}

struct KeyName {
    const char* name;
    UINT vk;
};

const KeyName kKeys[] = {
    {"DELETE", VK_DELETE}, {"RETURN", VK_RETURN}, {"ENTER", VK_RETURN}, {"ESCAPE", VK_ESCAPE}, {"SPACE", VK_SPACE},
    {"TAB", VK_TAB},       {"INSERT", VK_INSERT}, {"UP", VK_UP},        {"DOWN", VK_DOWN},     {"LEFT", VK_LEFT},
    {"RIGHT", VK_RIGHT},   {"HOME", VK_HOME},     {"END", VK_END},      {"PRIOR", VK_PRIOR},   {"NEXT", VK_NEXT},
    {"F1", VK_F1},         {"F5", VK_F5},
};

bool KeyCode(const std::string& name, UINT& vk)
{
    for (const KeyName& key : kKeys)
        if (lstrcmpiA(key.name, name.c_str()) == 0) {
            vk = key.vk;
            return true;
        }
    if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0]))) {
        vk = static_cast<UINT>(std::toupper(static_cast<unsigned char>(name[0])));
        return true;
    }
    unsigned long number = 0;
    if (!ParseNumber(name, 0, number) || number == 0 || number > 0xFE)
        return false;
    vk = static_cast<UINT>(number);
    return true;
}

// A key pressed and released in a window of another process. The window is given the
// keyboard focus first, inside its own thread's input state (SetFocus from outside does not
// reach it on its own): our input is attached to that thread for the moment of the call.
// The key messages are posted, so they pass the target's message loop (dialog keys, Enter
// as the default button) and a question the key raises does not block us.
int CmdKey(const Args& args)
{
    HWND hwnd = nullptr;
    UINT vk = 0;
    if (!args.has("vk") || !HwndOption(args, hwnd) || !KeyCode(args.get("vk"), vk)) {
        std::fprintf(stderr, "qauto: key --hwnd H --vk DELETE|RETURN|ESCAPE|A|0x2E...\n");
        return kExitUsage;
    }
    if (!IsWindow(hwnd)) {
        std::fprintf(stderr, "qauto: no such window\n");
        return kExitFailed;
    }
    HWND top = GetAncestor(hwnd, GA_ROOT);
    SetForegroundWindow(top);
    DWORD target = GetWindowThreadProcessId(hwnd, nullptr);
    DWORD self = GetCurrentThreadId();
    bool attached = target != self && AttachThreadInput(self, target, TRUE);
    SetFocus(hwnd);
    bool focused = GetFocus() == hwnd;
    if (attached)
        AttachThreadInput(self, target, FALSE);
    if (!focused) {
        // Without the attachment the window can still be asked to take the focus itself.
        DWORD_PTR ignored = 0;
        SendTimed(top, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(hwnd), TRUE, ignored);
    }
    UINT scan = MapVirtualKeyA(vk, 0);
    LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
    LPARAM up = down | (1L << 30) | (1L << 31);
    PostMessageA(hwnd, WM_KEYDOWN, vk, down);
    PostMessageA(hwnd, WM_KEYUP, vk, up);
    return kExitOk;
}

// Holds a file open without delete sharing, as the gateway does while it works on a request:
// for the time given, or until the process is ended. Prints "held" once the file is open.
int CmdHold(const Args& args)
{
    unsigned long ms = 0;
    if (!args.has("path") || !NumberOption(args, "ms", 600000, ms)) {
        std::fprintf(stderr, "qauto: hold --path P [--ms N]\n");
        return kExitUsage;
    }
    HANDLE file = CreateFileA(args.get("path").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "qauto: cannot open %s (%lu)\n", args.get("path").c_str(), GetLastError());
        return kExitFailed;
    }
    std::printf("held\n");
    std::fflush(stdout);
    Sleep(ms);
    CloseHandle(file);
    return kExitOk;
}

// --- list boxes in another process ---

// One line per entry: "*" for the selected one, else " ", then the entry's text.
int CmdBoxItems(const Args& args)
{
    HWND list = nullptr;
    if (!HwndOption(args, list) || !IsWindow(list)) {
        std::fprintf(stderr, "qauto: lb-items --hwnd LIST\n");
        return kExitUsage;
    }
    DWORD_PTR count = 0, selected = 0;
    if (!SendTimed(list, LB_GETCOUNT, 0, 0, count) || !SendTimed(list, LB_GETCURSEL, 0, 0, selected)) {
        std::fprintf(stderr, "qauto: the list did not answer\n");
        return kExitFailed;
    }
    for (int i = 0; i < static_cast<int>(count); ++i) {
        DWORD_PTR length = 0;
        if (!SendTimed(list, LB_GETTEXTLEN, i, 0, length))
            return kExitFailed;
        // The system carries the text across to this process; Wine carries it as UTF-16 even
        // to an ANSI sender, so ask in UTF-16 and convert.
        std::wstring wide(length + 1, L'\0');
        DWORD_PTR copied = 0;
        if (!SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&wide[0]), SMTO_ABORTIFHUNG, 5000,
                                 &copied))
            return kExitFailed;
        std::string text(length * 2 + 1, '\0');
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &text[0], static_cast<int>(text.size()), nullptr, nullptr);
        std::printf("%c%s\n", static_cast<int>(selected) == i ? '*' : ' ', Escape(text.c_str()).c_str());
    }
    return kExitOk;
}

// Selects an entry and tells the owner, as a click on it does.
int CmdBoxSelect(const Args& args)
{
    HWND list = nullptr;
    unsigned long index = 0;
    if (!HwndOption(args, list) || !IsWindow(list) || !args.has("index") || !NumberOption(args, "index", 0, index)) {
        std::fprintf(stderr, "qauto: lb-select --hwnd LIST --index N\n");
        return kExitUsage;
    }
    DWORD_PTR result = 0;
    if (!SendTimed(list, LB_SETCURSEL, index, 0, result) || static_cast<unsigned long>(result) != index) {
        std::fprintf(stderr, "qauto: no entry %lu\n", index);
        return kExitFailed;
    }
    int id = GetDlgCtrlID(list);
    SendTimed(GetParent(list), WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list), result);
    return kExitOk;
}

// ---------------------------------------------------------------------------------------------
// Layout: on every dialog and visible property-sheet page of the program, no two visible
// controls overlap, no control's text is wider (or, wrapped, taller) than the control, and
// nothing lies outside the page. Texts are measured in the templates' font, 8 pt MS Shell Dlg.

struct Placed {
    HWND hwnd;
    RECT rect; // in the client coordinates of the page
};

// Group boxes and frames hold other controls on purpose.
bool IsEnclosure(HWND hwnd)
{
    LONG style = GetWindowLongA(hwnd, GWL_STYLE);
    if (IsButtonClass(hwnd))
        return (style & BS_TYPEMASK) == BS_GROUPBOX;
    if (lstrcmpiA(ClassOf(hwnd).c_str(), "Static") != 0)
        return false;
    switch (style & SS_TYPEMASK) {
    case SS_BLACKRECT: case SS_GRAYRECT: case SS_WHITERECT: case SS_BLACKFRAME: case SS_GRAYFRAME:
    case SS_WHITEFRAME: case SS_ETCHEDHORZ: case SS_ETCHEDVERT: case SS_ETCHEDFRAME:
        return true;
    }
    return false;
}

std::string Describe(HWND hwnd)
{
    return std::to_string(ControlId(hwnd)) + " \"" + Escape(TextOf(hwnd)) + "\"";
}

// The room the control's text needs beyond what it has, or an empty text when it fits.
std::string TextProblem(HDC dc, HWND hwnd, const RECT& rect)
{
    std::string text = TextOf(hwnd);
    if (text.empty())
        return {};
    const LONG style = GetWindowLongA(hwnd, GWL_STYLE);
    const LONG width = rect.right - rect.left, height = rect.bottom - rect.top;
    RECT need = {0, 0, width, 0};
    UINT flags = DT_CALCRECT | DT_EXPANDTABS;
    LONG room = width;
    if (lstrcmpiA(ClassOf(hwnd).c_str(), "Static") == 0) {
        LONG type = style & SS_TYPEMASK;
        if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_LEFTNOWORDWRAP && type != SS_SIMPLE)
            return {};
        if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT)
            flags |= DT_WORDBREAK;
        if (style & SS_NOPREFIX)
            flags |= DT_NOPREFIX;
    } else if (IsButtonClass(hwnd)) {
        LONG type = style & BS_TYPEMASK;
        bool box = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                   type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE;
        if (type == BS_GROUPBOX)
            room = width - 2 * GetSystemMetrics(SM_CXEDGE) - 8;
        else if (box)
            room = width - GetSystemMetrics(SM_CXMENUCHECK) - 4;
        else
            room = width - 2 * GetSystemMetrics(SM_CXEDGE) - 4;
        if (style & BS_MULTILINE)
            flags |= DT_WORDBREAK;
        need.right = room;
    } else {
        return {}; // edits, lists, combo boxes: their text is content
    }
    DrawTextA(dc, text.c_str(), -1, &need, flags);
    if (need.right - need.left <= room && need.bottom - need.top <= height)
        return {};
    return "needs " + std::to_string(need.right - need.left) + "x" + std::to_string(need.bottom - need.top) +
           ", has " + std::to_string(room) + "x" + std::to_string(height);
}

void CheckLayout(HWND page, HDC dc)
{
    RECT client;
    GetClientRect(page, &client);
    std::printf("window\t%s\t%s\n", Escape(TextOf(GetAncestor(page, GA_ROOT))).c_str(), Escape(TextOf(page)).c_str());
    std::vector<Placed> placed;
    for (HWND child : DirectChildren(page)) {
        if (!IsWindowVisible(child) || ClassOf(child) == "#32770")
            continue;
        RECT rect;
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&rect), 2);
        if (rect.left < client.left || rect.top < client.top || rect.right > client.right || rect.bottom > client.bottom)
            std::printf("outside\t%s\n", Describe(child).c_str());
        std::string problem = TextProblem(dc, child, rect);
        if (!problem.empty())
            std::printf("text\t%s\t%s\n", Describe(child).c_str(), problem.c_str());
        if (!IsEnclosure(child))
            placed.push_back({child, rect});
    }
    for (size_t i = 0; i < placed.size(); ++i) {
        for (size_t j = i + 1; j < placed.size(); ++j) {
            RECT common;
            if (IntersectRect(&common, &placed[i].rect, &placed[j].rect))
                std::printf("overlap\t%s\t%s\n", Describe(placed[i].hwnd).c_str(), Describe(placed[j].hwnd).c_str());
        }
    }
}

// Every visible dialog (message boxes aside) and the visible page of every property sheet.
int CmdLayout(const Args&)
{
    HDC dc = CreateCompatibleDC(nullptr);
    LOGFONTA face = {};
    face.lfHeight = -MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72);
    face.lfWeight = FW_NORMAL;
    face.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(face.lfFaceName, "MS Shell Dlg", LF_FACESIZE);
    HFONT font = CreateFontIndirectA(&face);
    HGDIOBJ old = SelectObject(dc, font);
    for (HWND top : TopLevelWindows()) {
        if (ClassOf(top) != "#32770" || IsMessageBox(top))
            continue;
        bool sheet = false;
        for (HWND child : DirectChildren(top)) {
            if (ClassOf(child) == "#32770") {
                sheet = true;
                if (IsWindowVisible(child))
                    CheckLayout(child, dc);
            }
        }
        if (!sheet)
            CheckLayout(top, dc);
    }
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);
    return kExitOk;
}

// ---------------------------------------------------------------------------------------------

struct Command {
    const char* name;
    int (*run)(const Args&);
    const char* usage;
};

const Command kCommands[] = {
    {"box", CmdBox, "box [--timeout MS] [--click BUTTON]"},
    {"nobox", CmdNoBox, "nobox [--within MS]"},
    {"windows", CmdWindows, "windows"},
    {"find", CmdFind, "find --title TEXT [--class C] [--timeout MS]"},
    {"peek", CmdPeek, "peek --title TEXT [--id ID] [--timeout MS]"},
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
    {"sheet-query", CmdSheetQuery, "sheet-query --hwnd H --wparam N [--lparam N]"},
    {"sysmenu", CmdSysMenu, "sysmenu --hwnd H"},
    {"syscommand", CmdSysCommand, "syscommand --hwnd H --command minimize|restore"},
    {"state", CmdState, "state --hwnd H"},
    {"checked", CmdChecked, "checked --hwnd H --id ID"},
    {"list-rows", CmdListRows, "list-rows --hwnd LIST"},
    {"list-cells", CmdListCells, "list-cells --hwnd LIST [--max N]"},
    {"list-selected", CmdListSelected, "list-selected --hwnd LIST"},
    {"list-select", CmdListSelect, "list-select --hwnd LIST --rows 1,3,5"},
    {"list-header-click", CmdListHeaderClick, "list-header-click --hwnd LIST --column N"},
    {"dblclick", CmdDoubleClick, "dblclick --hwnd LIST --row N"},
    {"colour-count", CmdColourCount, "colour-count --hwnd H --id ID --rgb RRGGBB"},
    {"key", CmdKey, "key --hwnd H --vk DELETE|RETURN|ESCAPE|A|0x2E..."},
    {"hold", CmdHold, "hold --path P [--ms N]"},
    {"lb-items", CmdBoxItems, "lb-items --hwnd LIST"},
    {"lb-select", CmdBoxSelect, "lb-select --hwnd LIST --index N"},
    {"layout", CmdLayout, "layout"},
};

int Usage()
{
    std::fprintf(stderr, "usage: qauto COMMAND ...\n");
    for (const Command& command : kCommands)
        std::fprintf(stderr, "  qauto %s\n", command.usage);
    return kExitUsage;
}

} // namespace

int main(int argc, char** argv)
{
    // One '\n' per line whatever reads the pipe.
    _setmode(_fileno(stdout), _O_BINARY);
    Args args;
    if (argc < 2 || !ParseArgs(argc - 1, argv + 1, args) || args.words.empty())
        return Usage();
    for (const Command& command : kCommands) {
        if (args.words[0] == command.name) {
            int rc = command.run(args);
            std::fflush(stdout);
            return rc;
        }
    }
    return Usage();
}
