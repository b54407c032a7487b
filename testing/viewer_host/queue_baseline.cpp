// The baseline for the viewer benchmarks: finds the files of the given patterns in a folder
// and its immediate sub-folders and opens, reads and closes each with plain Win32 calls, as
// any reader of the queue or store must; with --list-only it only finds them (the bare
// enumeration a refresh is measured against). Prints the time taken.
//   queue_baseline [--list-only] FOLDER\ [PATTERN...]      (default pattern "*.REQ")
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

unsigned long files;
unsigned long long bytes;
bool listOnly;

void ReadFolder(const std::string& folder, const std::string& pattern)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    char buffer[4096];
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        ++files;
        if (listOnly)
            continue;
        HANDLE file = CreateFileA((folder + found.cFileName).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            continue;
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
            bytes += got;
        CloseHandle(file);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

} // namespace

int main(int argc, char** argv)
{
    int first = 1;
    if (argc > 1 && !strcmp(argv[1], "--list-only")) {
        listOnly = true;
        ++first;
    }
    if (argc <= first) {
        fprintf(stderr, "usage: queue_baseline [--list-only] FOLDER\\ [PATTERN...]\n");
        return 2;
    }
    std::string root = argv[first];
    if (root.back() != '\\')
        root += '\\';
    std::vector<std::string> patterns(argv + first + 1, argv + argc);
    if (patterns.empty())
        patterns.push_back("*.REQ");

    LARGE_INTEGER start, end, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (const std::string& pattern : patterns) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((root + "*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !strcmp(found.cFileName, ".."))
                continue;
            ReadFolder(strcmp(found.cFileName, ".") == 0 ? root : root + found.cFileName + "\\", pattern);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    QueryPerformanceCounter(&end);
    printf("%s %.1f\nfiles %lu\nbytes %llu\n", listOnly ? "listing-ms" : "baseline-ms",
           (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart, files, bytes);
    return 0;
}
