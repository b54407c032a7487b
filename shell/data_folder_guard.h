// The guard in front of deleting the private data directory with everything below it.
#pragma once

// True only for an absolute folder that is no drive or share root, is none of the folders
// the system and the program live in (the program and executable folders, the Windows and
// system folders, program files, the profiles and their root, the application-data and
// documents folders) and holds none of them. A relative path is refused, never resolved
// against the current folder.
bool IsDeletableDataFolder(const char* privateDirectory);
