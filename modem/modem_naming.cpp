#include "modem/modem_naming.h"

#include "base/text.h"

namespace {

const char* const kRoutePrefixes[] = {"SMPP - ", "HTTP - ", "UCP - ", "CIMD - ", "QelSMSModem - "};

} // namespace

std::string ModemSectionName(const std::string& name)
{
    std::string section;
    bool isRoute = false;
    for (const char* prefix : kRoutePrefixes)
        isRoute = isRoute || StartsWithNoCase(name.data(), name.size(), prefix);
    if (!isRoute)
        section = "Modem - ";
    for (char c : name) {
        if (c == '[')
            section += "\\x5B";
        else if (c == ']')
            section += "\\x5D";
        else
            section += c;
    }
    return section;
}
