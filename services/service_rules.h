// Texts the service routines hand to the platform. Portable: no windows.h.
#pragma once

#include <string>

// The binary path registered with the service control manager: the short (8.3) form when
// the file system gives one, else the long path. A path that still holds a space is
// quoted, or the manager would try "C:\Program.exe" and the like before the real binary.
std::string ServiceBinaryPath(const std::string& longPath, const std::string& shortPath);

// The firewall helper's command line: its own path (quoted when it holds a space), then the quoted executable to admit
// and the quoted display name.
std::string FirewallHelperCommandLine(const std::string& helperPath, const std::string& executablePath,
                                      const std::string& displayName);
