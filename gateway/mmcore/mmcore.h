// MMCORE.DLL: the MMSC's support library, shared by the configuration program and the
// QelMMSC service: the outbound MMS routes and the VASP accounts (MM7 and EAIF logins).
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

// The size of a VASP account record (VASPUserRecord, gateway/mmcore/vasp_user_record.h).
#define VASP_USER_RECORD_SIZE 511

// VASP accounts, kept in VASPUSERS.DAT in the program data directory, written as the
// routes are (atomically, changes serialised across processes, a damaged file never
// overwritten: 0, ERROR_FILE_CORRUPT). Account names are 1 to 50 characters, compared
// without regard to case; the library keeps all VASP_USER_RECORD_SIZE bytes of a record
// exactly as they were given, including those it does not know.
// VASPFindUserRecord copies the account's record (VASP_USER_RECORD_SIZE bytes) to the
// start of record, a buffer of at least 2048 bytes, and gives non-zero; 0 when there is no
// such account (ERROR_NOT_FOUND) or the file cannot be read.
// VASPAddUser takes a record whose user name is not empty and is NUL-terminated within its
// 51 bytes (else 0, ERROR_INVALID_NAME); it creates the account or replaces the one of the
// same name, which takes the new record's spelling. VASPDeleteUser removes an account; one
// that is not there is no error. Both give non-zero on success.
MMCORE_API BOOL WINAPI VASPFindUserRecord(LPCSTR accountName, void* record);
MMCORE_API BOOL WINAPI VASPAddUser(const void* record);
MMCORE_API BOOL WINAPI VASPDeleteUser(LPCSTR accountName);
