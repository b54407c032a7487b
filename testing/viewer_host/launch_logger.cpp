// Stands in for a program the viewers start (Notepad, a file type's "open" handler) in a
// test's own Wine prefix: appends one line to "<its own path>.log", its command line, a tab
// and its current folder, and ends.
#include <windows.h>

#include <cstdio>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH - 5);
    if (length == 0 || length >= MAX_PATH - 5)
        return 1;
    lstrcatA(self, ".log");
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, folder);
    FILE* log = fopen(self, "ab");
    if (!log)
        return 1;
    fprintf(log, "%s\t%s\r\n", GetCommandLineA(), folder);
    fclose(log);
    return 0;
}
