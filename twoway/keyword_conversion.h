// Older configurations kept the 2-way commands as numbered tab-separated lines in [SMSGW];
// the keyword table keeps them in [2Way-Keywords] and one section per keyword. Portable.
#pragma once

#include "base/ini_store.h"

// True when there is an old table ("ReceiveSMSCommand1") and [2Way-Keywords] "NewFormat"
// is not yet true.
bool NeedsKeywordConversion(IniStore& smsgw);

// Converts once: does nothing when NeedsKeywordConversion is false. The converted table is
// built in full first, then every section it touches is written whole, [2Way-Keywords]
// (with "NewFormat" = "Yes") last. The old keys stay as they are. False when a write
// failed: the file is then half-converted and the caller discards it.
bool ConvertOldKeywordTable(IniStore& smsgw);
