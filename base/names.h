// The one rule for a name that comes from outside (a route, a user, a keyword, a message
// file or folder, a sub-queue) before it becomes a folder, a file or an INI name.
// Portable: no windows.h. Every layer may use it, the gateway's libraries included.
#pragma once

#include <string>

// What becomes of the name.
enum class NameUse {
    // A folder or file name (and, through it, an INI key or section): one path component
    // that Windows opens as written.
    Path,
    // A text kept in an INI file only (a key, a section name, a value): the profile functions
    // drop blanks at the ends and a line ends at a line break.
    IniText,
};

// The rule a name breaks, or None.
enum class NameFault {
    None,
    Empty,
    DotName,           // "." or ".." walk to a folder of their own
    LeadingBlank,      // a blank at the start
    TrailingDot,       // Windows drops trailing dots ("A." opens "A")
    TrailingBlank,     // and trailing blanks, as the profile functions do
    DeviceName,        // CON, NUL, COM1 ... in any spelling, with any extension
    ReservedCharacter, // \ / : * ? " < > |
    ControlCharacter,  // below 0x20 (tab and line breaks included) or 0x7F
};

// The first rule the name breaks for that use. For IniText only an empty name, blanks at
// either end and control characters count.
NameFault CheckOutsideName(const std::string& name, NameUse use = NameUse::Path);

// The rule in words, to end a message: "cannot begin with a blank" ...; empty for None.
const char* NameFaultText(NameFault fault);

// An outbound MMS route name also names its folder VASPOUT\<route>: it passes the rule as a
// path component.
bool IsUsableRouteName(const std::string& route);

// The folder of an outbound MMS route: dataDirectory (with its trailing backslash) +
// "VASPOUT\" + route + "\"; empty when the route name is not usable.
std::string RouteFolder(const std::string& dataDirectory, const std::string& route);
