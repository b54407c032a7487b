// MMCORE.DLL: the MMSC's support library, shared by the configuration program and the
// QelMMSC service. For now the outbound MMS routes; the VASP accounts
// (VASPFindUserRecord, VASPAddUser, VASPDeleteUser) are to join them.
#pragma once

#include <windows.h>

#ifdef MMCORE_BUILD
#define MMCORE_API extern "C" __declspec(dllexport)
#else
#define MMCORE_API extern "C" __declspec(dllimport)
#endif

// The size of the block that describes an outbound MMS route.
#define VASP_OUT_BLOCK_SIZE 511

// Outbound MMS routes, kept in VASPOUT.DAT in the program data directory (GWCORE.DLL's
// GetProgramDataDirectory, so the same registry values move it). Each change rewrites the
// whole file atomically: a writer killed at any point leaves the old or the new file.
// Route names are compared without regard to case and must be plain: not empty, without
// '\', '/', ':' or "..", since the MMSC names files, folders and INI sections after them;
// any other name is refused (0, GetLastError ERROR_INVALID_NAME).
// VASPOutAddUser takes a block of VASP_OUT_BLOCK_SIZE bytes holding the route name,
// NUL-terminated, at its start and zero elsewhere; it registers the route, replacing one
// of the same name. VASPOutDeleteUser removes a route; a route that is not there is no
// error. Both give non-zero on success. A damaged file is never overwritten (0,
// ERROR_FILE_CORRUPT).
MMCORE_API BOOL WINAPI VASPOutAddUser(const void* block);
MMCORE_API BOOL WINAPI VASPOutDeleteUser(LPCSTR routeName);
