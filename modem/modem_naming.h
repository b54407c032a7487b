// How modems and routes are named in SMSGW.INI.
#pragma once

#include <string>

// The section of a modem or route named by its "Modem1" value: "Modem - " in front unless
// the name already carries a route prefix, and "[" / "]" written as \x5B / \x5D so that the
// name can stand between the brackets of a section header.
std::string ModemSectionName(const std::string& name);
