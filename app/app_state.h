// The program's process-wide state: the configuration paths found at start-up and the
// flags the pages share. Everything else lives in the INI files.
#pragma once

#include <windows.h>

struct AppPaths {
    char smsIni[MAX_PATH];          // program data directory + "SMSGW.INI"
    char mmscIni[MAX_PATH];         // program data directory + "MMSC.INI"
    char helpDocument[MAX_PATH];    // program directory + "QelSMS Lite.pdf"
    bool helpAvailable;             // the help document existed at start-up
    char moduleDirectory[MAX_PATH]; // folder of the running executable, with backslash
    char modulePath[MAX_PATH];      // the running executable, re-launched for elevation
};

extern AppPaths appPaths;
extern HINSTANCE appInstance;
extern HICON appIcon;

// The modem the pages work on: "Modem1" of [SMSGW], at most 249 characters.
extern char currentModemName[250];

// The setup wizard's sheet is open.
extern bool wizardMode;
// The modem page asked for the setup wizard; the outer loop runs it next.
extern bool wizardRequested;
// The wizard ended with Finish (set by the page on which Finish was pressed).
extern bool wizardFinished;

// Fills the module path and directory from the running executable.
void InitModulePaths();
