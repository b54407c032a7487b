#include "app/app_state.h"

#include <cstring>

AppPaths appPaths;
HINSTANCE appInstance;
HICON appIcon;
char currentModemName[250];
bool wizardMode;
bool wizardRequested;
bool wizardFinished;

void InitModulePaths()
{
    DWORD n = GetModuleFileNameA(nullptr, appPaths.modulePath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        appPaths.modulePath[0] = '\0';
    lstrcpynA(appPaths.moduleDirectory, appPaths.modulePath, MAX_PATH);
    char* slash = strrchr(appPaths.moduleDirectory, '\\');
    if (slash)
        slash[1] = '\0';
}
