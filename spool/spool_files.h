// Reading the gateway's spool files on Windows: the thin platform layer over the portable
// parsers of spool_record.h, mms_header.h, error_notes.h and store_walker.h.
#pragma once

#include <windows.h>

#include <string>

#include "spool/mms_control_file.h"
#include "spool/mms_header.h"
#include "spool/spool_record.h"
#include "spool/store_walker.h"

// A file named by outside data (a queue or store entry, an error note, a counter file) is
// read only when it is a regular file: a name Windows takes for a device ("COM5.HDR" opens
// the serial port and can block), a folder, a pipe or anything else that is not a file on
// a disk is refused before or right after opening, never read.
bool IsRegularStoreFile(const char* path);
// Opens such a file for reading with read and write sharing; INVALID_HANDLE_VALUE when it
// does not open or is not a regular file.
HANDLE OpenStoreFile(const char* path);

// Fills record from an open, readable file, read from its current position up to the size
// it had when the call began, at most kSpoolRecordReadLimit bytes, and no further than the
// record needs (SpoolRecordParser::Done). A file whose size cannot be had leaves the record
// empty.
void ReadSpoolRecord(HANDLE file, SpoolRecord& record);
// The same by path, the file opened with read and write sharing; false when it does not
// open (the record is then empty).
bool ReadSpoolRecord(const char* path, SpoolRecord& record);

// The first kMmsHeaderReadLimit bytes of a received MMS header file, parsed, and when text is
// given the bytes read as a text (up to their first NUL); false when it does not open (the
// header and text are then empty).
bool ReadMmsHeader(const char* path, MmsHeader& header, std::string* text = nullptr);

// An outbound MMS control file's values for the queue viewer: from its bytes when the file is
// plain (mms_control_file.h), otherwise from the profile functions; the caller has checked
// that it is a regular file. The second reads them from the profile functions alone.
MmsControlFields ReadMmsControlFile(const std::string& path);
MmsControlFields ReadMmsControlFileWithProfileFunctions(const std::string& path);

// A modem's or an MMS route's error note from the private data directory into out (at least
// kErrorNoteSize bytes): empty when there is none.
void ReadModemErrorText(const char* modemName, char* out);
void ReadRouteErrorText(const char* routeName, char* out);
// The same for a note name in a given directory (with trailing backslash).
void ReadErrorNote(const char* directory, const std::string& noteName, char* out);

// A file time in UTC as the local display time "YYYY-MM-DD hh:mm:ss" into out (at least
// kDisplayTimeSize bytes).
void FormatDisplayTime(const FILETIME& utc, char* out);
void FormatDisplayTime(FileTimeValue utc, char* out);

FILETIME ToFileTime(FileTimeValue value);
FileTimeValue FromFileTime(const FILETIME& time);

// The file system of the machine for StoreWalker.
StoreFileSystem& PlatformStoreFileSystem();

// Routes DecodeMessageText's GSM 7-bit decoding to GWCORE.DLL's GSM7ToUTF8String.
void UseSupportLibraryGsm7Decoder();
