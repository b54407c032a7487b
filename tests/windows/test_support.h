// Helpers shared by the in-process Windows tests.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The folder of the test program, with a trailing backslash: the stand-ins lie in its
// "standins\" folder, the staged installation in "..\install\QelSMS\".
std::string TestProgramFolder();
std::string StagedInstallFolder();

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);
std::vector<std::string> FileLines(const std::string& path);

// A fresh folder under %TEMP%, removed with everything in it at the end.
class TempFolder {
public:
    explicit TempFolder(const char* purpose);
    ~TempFolder();
    const std::string& path() const { return path_; } // with trailing backslash
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

// Moves the gateway's directories for one test through the support library's registry
// values, and puts back what was there before.
class DirectoryOverrides {
public:
    DirectoryOverrides(const std::string& dataDirectory, const std::string& privateDirectory,
                       const std::string& programDirectory);
    ~DirectoryOverrides();

private:
    std::vector<std::pair<std::string, std::string>> saved_;
};

// A message box seen on screen: from this process or from one it started.
struct SeenBox {
    std::string caption;
    std::string text;
    std::vector<std::string> buttons;
};

// Answers message boxes as a person would: reads each box and clicks the next button of
// its script (by text), or "OK" when the script has run out.
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(std::vector<std::string> script = {});
    ~MessageBoxAnswerer();
    std::vector<SeenBox> boxes();
    // Waits until at least count boxes were answered.
    bool WaitForBoxes(size_t count, DWORD timeoutMs);

private:
    void Run();
    std::vector<std::string> script_;
    std::vector<SeenBox> boxes_;
    std::mutex lock_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Deletes a service, stopping it first; nothing when it does not exist.
void ForceDeleteService(const char* name);
// The service's current state, 0 when it is not installed.
DWORD ServiceState(const char* name);
bool WaitForServiceState(const char* name, DWORD state, DWORD timeoutMs);
