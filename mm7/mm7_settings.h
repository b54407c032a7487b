// The outbound MM7 connection's settings as the "Configure MM7 or PHP Receiver" dialog shows
// and saves them: section [VASP] of VASPOUT\qelsmslitemm7\VASP.INI in the program data
// directory. Portable: no windows.h.
#pragma once

#include <cstddef>
#include <string>

#include "base/ini_store.h"

// The outbound MM7 connection the 2-Way page routes received MMS to, and its file.
extern const char kMm7ConnectionName[]; // "qelsmslitemm7"
extern const char kVaspSection[];       // "VASP"
extern const char kVaspFileName[];      // "VASP.INI"

// Where the 3GPP TS 23.140 schemas are published; a stored MM7Schema is this followed by
// the schema name.
extern const char kMm7SchemaLocation[];
extern const char kCustomSchemaEntry[]; // "(Custom)": a stored schema from anywhere else

inline constexpr const char* kMm7Versions[] = {"5.2.0", "5.3.0", "5.4.0",  "5.5.0",  "5.6.0", "5.7.0",
                                               "5.8.0", "5.9.0", "5.10.0", "5.11.0", "6.0.0", "6.1.0",
                                               "6.2.0", "6.3.0", "6.4.0",  "6.5.0",  "6.6.0", "6.7.0"};
inline constexpr const char* kMm7Schemas[] = {"REL-5-MM7-1-0", "REL-5-MM7-1-1", "REL-5-MM7-1-2", "REL-5-MM7-1-3",
                                              "REL-5-MM7-1-4", "REL-5-MM7-1-5", "REL-6-MM7-1-0", "REL-6-MM7-1-1",
                                              "REL-6-MM7-1-2", "REL-6-MM7-1-3"};
extern const char kDefaultMm7Version[]; // "5.3.0"
extern const char kDefaultMm7Schema[];  // "REL-5-MM7-1-2"

// The protocol variations the application server may expect, in the order of their list.
enum class Mm7Variation { Standard, PhpUpload, Ericsson, LogicaCmg, AnnyWay };
inline constexpr const char* kMm7VariationNames[] = {"None - Use Standard MM7", "PHP Multipart File Upload", "Ericsson",
                                                     "LogicaCMG - PAP", "AnnyWay"};

struct Mm7Settings {
    Mm7Variation variation = Mm7Variation::Standard;
    std::string server; // the URL as typed
    std::string vaspId, vasId, serviceCode;
    std::string userName, password; // HTTP authentication
    // An entry of kMm7Versions, or a stored version the list lacks.
    std::string version = kDefaultMm7Version;
    // An entry of kMm7Schemas, or kCustomSchemaEntry to keep the stored MM7Schema.
    std::string schema = kDefaultMm7Schema;
    bool stripWhiteSpace = false;
};

// The list entry that equals text without regard to case, or nullptr.
const char* ListedMm7Version(const std::string& text);
const char* ListedMm7Schema(const std::string& text);

// The variation the flags of a stored connection select.
Mm7Variation Mm7VariationOf(IniStore& vasp);

// Missing (or empty) keys read as their defaults; a listed version or schema reads as the
// list's spelling of it.
Mm7Settings LoadMm7Settings(IniStore& vasp);

// Writes every key of [VASP] in the order the gateway's own writer keeps; optional fields
// that are empty, defaults and switched-off flags are deleted. False when the file could not
// be written.
bool SaveMm7Settings(const Mm7Settings& settings, IniStore& vasp);
