// The texts of the MMS viewers' rows and of the MMS view dialog's content list, and the
// decisions taken on them before anything is opened or deleted. Portable: no windows.h.
#pragma once

#include <cstddef>
#include <string>

#include "spool/mms_header.h"

// An outbound MMS control file's [Recipients] section as the private-profile functions give
// it (lines ended by NUL, the last by two): the addresses after the first "=" of each line,
// up to the first line without "=", each cut at "/TYPE=" (any case). Up to five are joined
// with ", "; more give "<n> recipients".
std::string MmsRecipientsText(const char* section, size_t length);

// The leading decimal digits of a text as a count: 0 when there are none (so "-1" is 0),
// at most 2147483647.
long LeadingCount(const char* text);

// A content list item: the file name (the location after its last "\"), " (<type>)" when the
// type is known, a tab, the location.
std::string ContentItemText(const MmsContentLocation& content);

enum class ContentOpening {
    Nothing, // no item, or an item without a location
    Notepad,
    Shell,   // the system's "open" action
    Refused, // the reason says why
};

struct ContentDecision {
    ContentOpening opening = ContentOpening::Nothing;
    std::string location;    // relative to the received MMS store
    const char* reason = ""; // for Refused: the text shown instead of opening
};

extern const char kContentOutsideStore[];
extern const char kContentNotViewable[];

// How a content list item is opened. SMIL, and text whose location has no ".", go to
// Notepad; other objects to the shell only when they are pictures, sound, video or plain text
// (IsViewableContent); every other object, and a location that would leave the store, is
// refused with the reason.
ContentDecision DecideContentOpening(const std::string& itemText);

// True when the shell may open the object: the file name's extension (trailing dots and
// blanks ignored, as Windows does) is one of a picture, a sound, a video or plain text, and
// the content type, when there is one, is an image, audio, video or text/plain type.
bool IsViewableContent(const std::string& fileName, const std::string& contentType);

// The folder of a received MMS beside its header file: the header's key cut at its last ".".
// False when that folder would not be a named folder strictly inside the store (a header
// named ".HDR", a key with no "." in its file name, a path leaving the store), or when a
// component of it breaks the name rule (CheckOutsideName): "A..HDR" would reach "A".
bool ReceivedMmsFolderKey(const std::string& headerKey, std::string& folderKey);
