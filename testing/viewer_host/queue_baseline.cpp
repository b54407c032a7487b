// The baseline for the viewer benchmark: finds the outbound queue's request files in the
// queue and its sub-queues and opens, reads and closes each with plain Win32 calls, as
// any reader of the queue must. Takes the queue folder; prints the time taken.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

unsigned long files;
unsigned long long bytes;

void ReadFolder(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*.REQ").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    char buffer[4096];
    do {
        HANDLE file = CreateFileA((folder + found.cFileName).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            continue;
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
            bytes += got;
        CloseHandle(file);
        ++files;
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: queue_baseline QUEUE_FOLDER\\\n");
        return 2;
    }
    LARGE_INTEGER start, end, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);

    std::string root = argv[1];
    if (root.back() != '\\')
        root += '\\';
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((root + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !strcmp(found.cFileName, ".."))
                continue;
            ReadFolder(strcmp(found.cFileName, ".") == 0 ? root : root + found.cFileName + "\\");
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    QueryPerformanceCounter(&end);
    printf("baseline-ms %.1f\nfiles %lu\nbytes %llu\n", (end.QuadPart - start.QuadPart) * 1000.0 / frequency.QuadPart,
           files, bytes);
    return 0;
}
