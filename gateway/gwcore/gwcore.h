// GWCORE.DLL: the gateway's support library, shared by the configuration program and the
// gateway services. Directories, INI file registration, the SMS user-account file,
// sockets, queue signalling and the operator settings dialog.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "gateway/gwcore/modem_cache.h"
#include "gateway/gwcore/user_record.h"

#ifdef GWCORE_BUILD
#define GWCORE_API extern "C" __declspec(dllexport)
#else
#define GWCORE_API extern "C" __declspec(dllimport)
#endif

// Directories. Each writes into a buffer of at least MAX_PATH characters a path that ends
// with a backslash and returns its length (0 on failure, buffer then empty). The defaults
// can be moved by the REG_SZ values "ProgramDirectory", "DataDirectory" and
// "PrivateDataDirectory" under HKEY_LOCAL_MACHINE\SOFTWARE\QelSMS\Lite. A data directory
// override that is not absolute or names a drive root is passed over for the default.
GWCORE_API DWORD WINAPI GetProgramDataDirectory(LPSTR buffer);
GWCORE_API DWORD WINAPI GetPrivateDataDirectory(LPSTR buffer);
GWCORE_API DWORD WINAPI GetRealProgramDirectory(LPSTR buffer);

// The INI files the library reads and writes from now on.
GWCORE_API void WINAPI SMSIniSetFilename(LPCSTR path);
GWCORE_API void WINAPI MMSCIniSetFilename(LPCSTR path);

// Gives the directory a protected list of its own (nothing inherited): full control,
// inherited by everything below it, for the local system account (which the services run
// as), the administrators and the calling account, which also becomes the owner; other
// users get nothing. Path without trailing backslash. Non-zero on success.
GWCORE_API BOOL WINAPI SetQelSMSTrustees(LPCSTR directory);

// The SMS user-account file. Open gives a handle for GENERIC_READ or
// GENERIC_READ | GENERIC_WRITE; every other call takes that handle.
// USERS.DAT in the program data directory; a missing file opens as empty, a damaged one
// fails to open (GetLastError ERROR_FILE_CORRUPT). A handle reads a snapshot of the file;
// GetRecordCount, GetUserRecord for index 0 and the two Find calls pick up changes made
// by other handles and processes. Names are compared without regard to case. Each add or
// delete rewrites the whole file atomically: a writer killed at any point leaves the old
// or the new file. Add replaces a user of the same name in place, else appends; it fails
// on a read-only handle or an empty name, and (ERROR_FILE_TOO_LARGE, file unchanged) when
// the file would grow past 64 MiB (about 128,000 accounts), the most a reader opens.
// Delete fails (ERROR_NOT_FOUND) for an unknown name. FindFirst gives the index of the
// first name that begins with the text, or -1.
typedef void* SMSUSERFILE;
GWCORE_API BOOL WINAPI SMSOpenUserFile(SMSUSERFILE* handle, DWORD access);
GWCORE_API void WINAPI SMSCloseUserFile(SMSUSERFILE handle);
GWCORE_API int WINAPI SMSGetRecordCount(SMSUSERFILE handle);
GWCORE_API BOOL WINAPI SMSGetUserRecord(SMSUSERFILE handle, int index, UserRecord* record);
GWCORE_API int WINAPI SMSFindFirstUserRecord(SMSUSERFILE handle, LPCSTR searchText, UserRecord* record);
GWCORE_API BOOL WINAPI SMSFindUserRecord(SMSUSERFILE handle, LPCSTR userName, UserRecord* record);
GWCORE_API BOOL WINAPI SMSAddUser(SMSUSERFILE handle, const UserRecord* record);
GWCORE_API BOOL WINAPI SMSDeleteUser(SMSUSERFILE handle, const UserRecord* record);

// Sockets. IPV6OpenSocket(0, 0) gives a stream socket that reaches IPv4 and IPv6 peers,
// or INVALID_SOCKET. IPV6ConnectToINetServer takes a host name, an IPv4 literal, an IPv6
// literal with or without brackets ("[::1]:8080" carries its own port when port is 0);
// returns 0 when connected. With port 0, "qelsmsmodem_<name>" (prefix in any case)
// connects to the phone modem of that name in the cache (names compared without regard to
// case) and "qelsmsmodem_<host:port>" to that address; a name not in the cache and not an
// address with a port fails with WSAHOST_NOT_FOUND.
GWCORE_API SOCKET WINAPI IPV6OpenSocket(int reserved1, int reserved2);
GWCORE_API int WINAPI IPV6ConnectToINetServer(SOCKET s, LPCSTR host, int port);

// Phone modems: the app on an Android phone that offers the gateway an HTTP server,
// announced on the network by DNS service discovery ("_qelsmsmodem._tcp.local").
// FindQelSMSModem(0, 0, seconds) queries the network for that long and adds each phone
// modem to the cache as soon as its address is known, so that another thread can show
// the cache while the search runs; it returns the number of entries in the cache when it
// ends (also when seconds is 0 or less, which searches nothing). Only names that can
// stand as INI sections and folder names are taken (IsPlainModemName in dns_sd.h:
// letters, digits, blanks, '-', '_', '.'); others are dropped. The cache stops at 1000
// entries. The REG_SZ value "ModemDiscoveryServer" ("host:port") under
// HKEY_LOCAL_MACHINE\SOFTWARE\QelSMS\Lite sends the queries there instead of to the
// multicast groups.
// QelsmsModemCacheHead gives the first entry or null; the list only grows and its entries
// stay valid for the life of the process, so a window thread walks it (entry->Next())
// without a lock while a search adds to it. The same name (without regard to case) is
// listed once; the first address found stays.
GWCORE_API int WINAPI FindQelSMSModem(int reserved1, int reserved2, int seconds);
GWCORE_API const ModemCacheEntry* WINAPI QelsmsModemCacheHead();

// Wakes a service waiting on the named event of an interface ("SMSOut", "VASPOut") and a
// route or modem name. Non-zero when a waiting service was signalled.
GWCORE_API BOOL WINAPI SetEventForInterface(LPCSTR interfaceName, LPCSTR routeName);

// Decodes SMS user data in the GSM 7-bit default alphabet (with its extension table) into
// UTF-8. udhHex: the user data header as hexadecimal text including its length octet, empty
// or null when there is none (its length decides the fill bits before the first septet).
// dataHex: the packed user data after the header as hexadecimal text; it ends at the first
// character that is not a hexadecimal digit. buffer may be dataHex itself: the input is read
// in full before anything is written. The buffer must have room for
// strlen(dataHex) + strlen(dataHex) / 7 + 1 bytes, terminator included; the decoded text
// never takes more. Gives the length of the text written.
GWCORE_API int WINAPI GSM7ToUTF8String(LPCSTR udhHex, LPCSTR dataHex, LPSTR buffer);

// The library's own dialog for picking a mobile operator's MMS settings: a country, one of
// its operators, then one of the operator's MMS access points, from the operator data the
// library carries. Each of the five buffers holds 104 bytes; each value is cut to 103
// characters. Non-zero when the administrator picked an access point and pressed OK (the
// buffers are filled, a missing value as an empty text); 0 on Cancel, buffers untouched.
GWCORE_API BOOL WINAPI ChooseOperatorSettings(HWND owner, LPSTR apn, LPSTR apnLogin, LPSTR apnPassword, LPSTR mmsProxy,
                                              LPSTR mmsUrl);
