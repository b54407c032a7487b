// The meanings of the numeric error result codes of GSM modems: "+CMS ERROR: <n>" of the
// short message commands and "+CME ERROR: <n>" of the equipment commands, as the modem
// test's trace spells them out. Portable: no windows.h.
#pragma once

#include <string>

// The meaning of a "+CMS ERROR:" code; empty for a reserved one.
std::string CmsErrorMeaning(long code);
// The meaning of a "+CME ERROR:" code; empty for one that has none.
std::string CmeErrorMeaning(long code);

// The answer with " (<meaning>)" behind each numeric "+CMS ERROR: <n>" and
// "+CME ERROR: <n>" whose code has a meaning. A verbose error ("+CME ERROR: SIM busy")
// is left as it is.
std::string ExplainAtErrors(const std::string& answer);
