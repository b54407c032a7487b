// Error notes: the small text files in the private data directory whose non-empty text says
// that a modem or an MMS route is failing, and why. Portable: no windows.h.
#pragma once

#include <cstddef>
#include <string>

// Bytes of a note that are read; the reader's buffer holds one more for the terminator.
const size_t kErrorNoteReadLimit = 250;
const size_t kErrorNoteSize = kErrorNoteReadLimit + 1;

// File names of the notes: ':', '/' and '\' in the name become '-'.
// "COM3:" gives "COM3-.ERR"; route "qelsmslite" gives "MMSCROUTE--qelsmslite.ERR".
std::string ModemErrorNoteName(const char* modemName);
std::string RouteErrorNoteName(const char* routeName);

// The note's text from the bytes read: at most kErrorNoteReadLimit of them, terminated, into
// out (at least kErrorNoteSize bytes).
void ErrorNoteText(const char* bytes, size_t length, char* out);
