#include "tests/windows/test_support.h"

#include <chrono>
#include <cstring>

namespace {

const char kSettingsKey[] = "SOFTWARE\\QelSMS\\Lite";

void RemoveFolder(const std::string& folder)
{
    std::string pattern = folder + "*";
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!strcmp(found.cFileName, ".") || !strcmp(found.cFileName, ".."))
                continue;
            std::string path = folder + found.cFileName;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveFolder(path + "\\");
            else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryA(path.c_str());
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

std::string ReadRegistryValue(const char* name, bool& present)
{
    present = false;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return {};
    char value[MAX_PATH] = "";
    DWORD size = sizeof value - 1;
    present = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return value;
}

void WriteRegistryValue(const char* name, const std::string* value)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    if (value)
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                       static_cast<DWORD>(value->size() + 1));
    else
        RegDeleteValueA(key, name);
    RegCloseKey(key);
}

std::string WindowText(HWND window)
{
    char text[4096] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string WithoutAmpersands(std::string text)
{
    std::string out;
    for (char c : text) {
        if (c != '&')
            out += c;
    }
    return out;
}

struct BoxSearch {
    HWND found;
};

// The message text of a message box: a static control with id 0xFFFF.
HWND MessageText(HWND box)
{
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[32] = "";
        GetClassNameA(child, className, sizeof className);
        if (_stricmp(className, "Static") == 0 && (GetDlgCtrlID(child) & 0xFFFF) == 0xFFFF &&
            (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
            return child;
    }
    return nullptr;
}

BOOL CALLBACK FindMessageBox(HWND window, LPARAM param)
{
    char className[32] = "";
    GetClassNameA(window, className, sizeof className);
    if (strcmp(className, "#32770") != 0 || !IsWindowVisible(window))
        return TRUE;
    if (!MessageText(window))
        return TRUE;
    reinterpret_cast<BoxSearch*>(param)->found = window;
    return FALSE;
}

BOOL CALLBACK CollectButtons(HWND child, LPARAM param)
{
    char className[32] = "";
    GetClassNameA(child, className, sizeof className);
    if (_stricmp(className, "Button") == 0 && IsWindowVisible(child))
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
    return TRUE;
}

} // namespace

std::string TestProgramFolder()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

std::string StagedInstallFolder()
{
    return TestProgramFolder() + "..\\install\\QelSMS\\";
}

std::string ReadWholeFile(const std::string& path)
{
    std::string text;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(file);
    return text;
}

void WriteWholeFile(const std::string& path, const std::string& content)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
}

std::vector<std::string> FileLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::string text = ReadWholeFile(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

TempFolder::TempFolder(const char* purpose)
{
    static LONG counter;
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + "qeltest_" + purpose + "_" + std::to_string(GetCurrentProcessId()) + "_" +
            std::to_string(InterlockedIncrement(&counter)) + "\\";
    RemoveFolder(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
}

TempFolder::~TempFolder()
{
    RemoveFolder(path_);
}

DirectoryOverrides::DirectoryOverrides(const std::string& dataDirectory, const std::string& privateDirectory,
                                       const std::string& programDirectory)
{
    const std::pair<const char*, const std::string*> values[] = {
        {"DataDirectory", &dataDirectory},
        {"PrivateDataDirectory", &privateDirectory},
        {"ProgramDirectory", &programDirectory},
    };
    for (const auto& value : values) {
        bool present = false;
        std::string old = ReadRegistryValue(value.first, present);
        saved_.emplace_back(value.first, present ? old : std::string("\x01"));
        WriteRegistryValue(value.first, value.second);
    }
}

DirectoryOverrides::~DirectoryOverrides()
{
    for (const auto& entry : saved_)
        WriteRegistryValue(entry.first.c_str(), entry.second == "\x01" ? nullptr : &entry.second);
}

MessageBoxAnswerer::MessageBoxAnswerer(std::vector<std::string> script)
    : script_(std::move(script)), thread_([this] { Run(); })
{
}

MessageBoxAnswerer::~MessageBoxAnswerer()
{
    stop_ = true;
    thread_.join();
}

std::vector<SeenBox> MessageBoxAnswerer::boxes()
{
    std::lock_guard<std::mutex> guard(lock_);
    return boxes_;
}

bool MessageBoxAnswerer::WaitForBoxes(size_t count, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        if (boxes().size() >= count)
            return true;
        Sleep(20);
    }
    return boxes().size() >= count;
}

void MessageBoxAnswerer::Run()
{
    HWND lastAnswered = nullptr;
    while (!stop_) {
        BoxSearch search = {nullptr};
        EnumWindows(FindMessageBox, reinterpret_cast<LPARAM>(&search));
        if (!search.found || search.found == lastAnswered) {
            if (!search.found)
                lastAnswered = nullptr;
            Sleep(20);
            continue;
        }
        SeenBox box;
        box.caption = WindowText(search.found);
        box.text = WindowText(MessageText(search.found));
        std::vector<HWND> buttons;
        EnumChildWindows(search.found, CollectButtons, reinterpret_cast<LPARAM>(&buttons));
        for (HWND button : buttons)
            box.buttons.push_back(WithoutAmpersands(WindowText(button)));

        // The script's next answer; past its end, whichever declining button the box has.
        std::vector<std::string> answers;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (boxes_.size() < script_.size())
                answers.push_back(script_[boxes_.size()]);
            else
                answers = {"OK", "Cancel", "No"};
        }
        HWND target = nullptr;
        for (const std::string& answer : answers) {
            for (HWND button : buttons) {
                if (!target && _stricmp(WithoutAmpersands(WindowText(button)).c_str(), answer.c_str()) == 0)
                    target = button;
            }
        }
        if (!target) {
            Sleep(20);
            continue;
        }
        PostMessageA(search.found, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(target), BN_CLICKED),
                     reinterpret_cast<LPARAM>(target));
        {
            std::lock_guard<std::mutex> guard(lock_);
            boxes_.push_back(box);
        }
        lastAnswered = search.found;
    }
}

void ForceDeleteService(const char* name)
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        return;
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
    if (service) {
        SERVICE_STATUS status;
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        for (int i = 0; i < 100 && QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED;
             ++i)
            Sleep(50);
        DeleteService(service);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

DWORD ServiceState(const char* name)
{
    DWORD state = 0;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, GENERIC_READ);
    if (!manager)
        return 0;
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_STATUS);
    if (service) {
        SERVICE_STATUS status;
        if (QueryServiceStatus(service, &status))
            state = status.dwCurrentState;
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return state;
}

bool WaitForServiceState(const char* name, DWORD state, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        if (ServiceState(name) == state)
            return true;
        Sleep(25);
    } while (GetTickCount() - start < timeoutMs);
    return ServiceState(name) == state;
}
