// The gateway's configuration files and directories: first-run preparation, the message
// directories and the small file-system helpers the pages share.
#pragma once

#include <windows.h>

#include <string>

// First-run preparation, run before anything reads an INI file: builds the INI paths,
// creates SMSGW.INI and MMSC.INI when missing (giving both data directories the services'
// access rights on a first run), registers them with the support library, removes
// redirected VirtualStore copies and looks up the help document.
void PrepareConfiguration();

// What to tell, once at start, an account that may not read SMSGW.INI (the data folder is
// closed to other users), naming the data folder; empty when the file can be read or is
// refused for another reason.
std::string UnreadableConfigurationMessage();

// The message directories, each with a trailing backslash, into buffers of MAX_PATH.
// GetSMSQueueDirectory gives the root, or the sub-queue folder when subQueue is not empty
// and its folder name (SubQueueFolderName) passes the name rule (CheckOutsideName).
void GetSMSQueueDirectory(char* out, const char* subQueue = nullptr);
void GetSMSInDirectory(char* out);
void GetMMSInDirectory(char* out);
void GetVASPQueueDirectory(char* out);

// A file or directory of that name (or matching that pattern) exists.
bool PathExists(const char* path);
// As PathExists, but false when the first match is a directory.
bool FileExists(const char* path);

// Removes a directory with everything below it; what cannot be removed stays. Links
// (junctions, symbolic links) are removed themselves, never followed.
void DeleteTree(const char* directory);

// The gateway's directories from the support library, with trailing backslash.
void ProgramDataDirectory(char* out);
void PrivateDataDirectory(char* out);
void ProgramDirectory(char* out);
// The folder of an outbound MMS route, VASPOUT\<route>\ under the program data directory;
// empty when the route name cannot name a folder (IsUsableRouteName).
std::string RouteFolder(const std::string& route);
