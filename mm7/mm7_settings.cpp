#include "mm7/mm7_settings.h"

#include "base/ini_rules.h"
#include "base/text.h"

const char kMm7ConnectionName[] = "qelsmslitemm7";
const char kVaspSection[] = "VASP";
const char kVaspFileName[] = "VASP.INI";
const char kMm7SchemaLocation[] = "http://www.3gpp.org/ftp/Specs/archive/23_series/23.140/schema/";
const char kCustomSchemaEntry[] = "(Custom)";
const char kDefaultMm7Version[] = "5.3.0";
const char kDefaultMm7Schema[] = "REL-5-MM7-1-2";

namespace {

constexpr size_t kValueChars = 1024;

template <size_t N>
const char* Listed(const char* const (&list)[N], const std::string& text)
{
    for (const char* entry : list) {
        if (EqualsNoCase(entry, text))
            return entry;
    }
    return nullptr;
}

std::string ReadValue(IniStore& vasp, const char* key)
{
    return vasp.Read(kVaspSection, key, kValueChars);
}

bool ReadFlag(IniStore& vasp, const char* key)
{
    return IniBool(ReadValue(vasp, key).c_str());
}

// The schema entry a stored MM7Schema selects: the name after the 3GPP location when the
// list has it, otherwise the custom entry.
std::string SchemaEntryOf(const std::string& stored)
{
    if (stored.empty())
        return kDefaultMm7Schema;
    size_t prefix = sizeof kMm7SchemaLocation - 1;
    if (!StartsWithNoCase(stored.c_str(), stored.size(), kMm7SchemaLocation))
        return kCustomSchemaEntry;
    const char* entry = ListedMm7Schema(stored.substr(prefix));
    return entry ? entry : kCustomSchemaEntry;
}

// A value that is written, or deleted when it is empty (or the default).
bool WriteOrDelete(IniStore& vasp, const char* key, const std::string& value, bool keep)
{
    return keep ? vasp.Write(kVaspSection, key, value) : vasp.Delete(kVaspSection, key);
}

bool WriteOptional(IniStore& vasp, const char* key, const std::string& value)
{
    return WriteOrDelete(vasp, key, value, !value.empty());
}

bool WriteFlag(IniStore& vasp, const char* key, bool on)
{
    return WriteOrDelete(vasp, key, "Yes", on);
}

bool SaveSchema(IniStore& vasp, const std::string& schema)
{
    if (schema == kCustomSchemaEntry)
        return true; // the stored location stays as it is
    bool standard = EqualsNoCase(schema, kDefaultMm7Schema);
    return WriteOrDelete(vasp, "MM7Schema", kMm7SchemaLocation + schema, !standard);
}

} // namespace

const char* ListedMm7Version(const std::string& text)
{
    return Listed(kMm7Versions, text);
}

const char* ListedMm7Schema(const std::string& text)
{
    return Listed(kMm7Schemas, text);
}

Mm7Variation Mm7VariationOf(IniStore& vasp)
{
    std::string protocol = ReadValue(vasp, "Protocol");
    if (EqualsNoCase(protocol, "EricssonMM7"))
        return Mm7Variation::Ericsson;
    if (!EqualsNoCase(protocol, "MM7"))
        return Mm7Variation::Standard;
    if (ReadFlag(vasp, "AnnyWay"))
        return Mm7Variation::AnnyWay;
    if (ReadFlag(vasp, "LogicaCMG"))
        return Mm7Variation::LogicaCmg;
    if (ReadFlag(vasp, "PHPMultipartPost"))
        return Mm7Variation::PhpUpload;
    return Mm7Variation::Standard;
}

Mm7Settings LoadMm7Settings(IniStore& vasp)
{
    Mm7Settings settings;
    settings.variation = Mm7VariationOf(vasp);
    settings.server = ReadValue(vasp, "Server");
    settings.vaspId = ReadValue(vasp, "VASPID");
    settings.vasId = ReadValue(vasp, "VASID");
    settings.serviceCode = ReadValue(vasp, "ServiceCode");
    settings.userName = ReadValue(vasp, "UserName");
    settings.password = ReadValue(vasp, "Password");
    std::string version = ReadValue(vasp, "MM7Version");
    if (!version.empty()) {
        const char* listed = ListedMm7Version(version);
        settings.version = listed ? listed : version;
    }
    settings.schema = SchemaEntryOf(ReadValue(vasp, "MM7Schema"));
    settings.stripWhiteSpace = ReadFlag(vasp, "StripWhiteSpace");
    return settings;
}

bool SaveMm7Settings(const Mm7Settings& s, IniStore& vasp)
{
    const char* protocol = s.variation == Mm7Variation::Ericsson ? "EricssonMM7" : "MM7";
    bool ok = vasp.Write(kVaspSection, "Protocol", protocol);
    ok = vasp.Write(kVaspSection, "Server", s.server) && ok;
    ok = vasp.Delete(kVaspSection, "Domain") && ok;
    ok = WriteOptional(vasp, "VASPID", s.vaspId) && ok;
    ok = WriteOptional(vasp, "VASID", s.vasId) && ok;
    ok = WriteOptional(vasp, "ServiceCode", s.serviceCode) && ok;
    ok = vasp.Write(kVaspSection, "mm7DeliverReq", "Yes") && ok;
    ok = WriteOptional(vasp, "UserName", s.userName) && ok;
    ok = WriteOptional(vasp, "Password", s.password) && ok;
    ok = WriteOrDelete(vasp, "MM7Version", s.version, !EqualsNoCase(s.version, kDefaultMm7Version)) && ok;
    ok = SaveSchema(vasp, s.schema) && ok;
    ok = WriteFlag(vasp, "StripWhiteSpace", s.stripWhiteSpace) && ok;
    ok = WriteFlag(vasp, "AnnyWay", s.variation == Mm7Variation::AnnyWay) && ok;
    ok = WriteFlag(vasp, "LogicaCMG", s.variation == Mm7Variation::LogicaCmg) && ok;
    ok = WriteFlag(vasp, "PHPMultipartPost", s.variation == Mm7Variation::PhpUpload) && ok;
    return ok;
}
