// The one rule for names from outside. Portable: no windows.h.
#include "base/names.h"

#include <cstring>

#include "base/paths.h"

namespace {

bool IsControl(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

struct FaultText {
    NameFault fault;
    const char* text;
};
const FaultText kFaultTexts[] = {
    {NameFault::Empty, "cannot be empty"},
    {NameFault::DotName, "cannot be \".\" or \"..\""},
    {NameFault::LeadingBlank, "cannot begin with a blank"},
    {NameFault::TrailingDot, "cannot end with \".\""},
    {NameFault::TrailingBlank, "cannot end with a blank"},
    {NameFault::DeviceName, "cannot be a device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9)"},
    {NameFault::ReservedCharacter, "cannot contain any of these characters: \\ / : * ? \" < > |"},
    {NameFault::ControlCharacter, "cannot contain tabs, line breaks or other control characters"},
};

} // namespace

NameFault CheckOutsideName(const std::string& name, NameUse use)
{
    if (name.empty())
        return NameFault::Empty;
    const bool path = use == NameUse::Path;
    if (path && (name == "." || name == ".."))
        return NameFault::DotName;
    for (char c : name) {
        if (IsControl(static_cast<unsigned char>(c)))
            return NameFault::ControlCharacter;
        if (path && std::strchr("\\/:*?\"<>|", c))
            return NameFault::ReservedCharacter;
    }
    if (name.front() == ' ')
        return NameFault::LeadingBlank;
    if (name.back() == ' ')
        return NameFault::TrailingBlank;
    if (path && name.back() == '.')
        return NameFault::TrailingDot;
    if (path && IsDeviceName(name))
        return NameFault::DeviceName;
    return NameFault::None;
}

const char* NameFaultText(NameFault fault)
{
    for (const FaultText& entry : kFaultTexts) {
        if (entry.fault == fault)
            return entry.text;
    }
    return "";
}

bool IsUsableRouteName(const std::string& route)
{
    return CheckOutsideName(route) == NameFault::None;
}

std::string RouteFolder(const std::string& dataDirectory, const std::string& route)
{
    if (!IsUsableRouteName(route))
        return std::string();
    return dataDirectory + "VASPOUT\\" + route + "\\";
}
