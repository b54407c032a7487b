// Windows path texts compared as the file system would resolve them, without asking it.
// Portable: no windows.h. Every layer may use it, the gateway's libraries included.
#pragma once

#include <string>
#include <vector>

// The one spelling of an absolute path, for comparing: a drive path ("C:\...") or a UNC
// path ("\\server\share\..."; "\\?\" and "\\.\" prefixes are read through). '/' counts as
// '\', runs of backslashes as one (the two that open a UNC path excepted), "." components
// vanish, ".." takes away the component before it but never the drive or the share,
// trailing dots and spaces of a component are dropped as Windows drops them, and so is a
// trailing backslash except on a drive root ("C:\"). ASCII letters are upper-cased.
// Empty when the path is not absolute: "", ".", "x\y", "\x" (no drive), "C:x", "\\server".
std::string NormalizeAbsolutePath(const std::string& path);

// The path names a drive root ("C:\") or a share root ("\\server\share") in any spelling.
bool IsDriveRoot(const std::string& path);

// inner is outer itself or lies below it, compared component by component ("C:\AB" is
// not inside "C:\A"). False when either path is not absolute.
bool IsSameOrInside(const std::string& inner, const std::string& outer);

// Whether a folder may be deleted with everything below it: false when it is not absolute,
// is a drive or share root, or is one of the protected folders or holds one of them.
// Protected folders that are not absolute are passed over.
bool IsSafeToDeleteFolder(const std::string& target, const std::vector<std::string>& protectedFolders);

// A path component that Windows takes for a device whatever folder it stands in: CON, NUL,
// AUX, PRN, COM0-9, LPT0-9 (and their superscript-digit forms), CONIN$, CONOUT$, CLOCK$,
// with or without an extension, trailing blanks ignored, in any letter case.
bool IsDeviceName(const std::string& component);
