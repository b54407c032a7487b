// Older configurations kept the 2-way commands as numbered tab-separated lines in [SMSGW];
// the keyword table keeps them in [2Way-Keywords] and one section per keyword. Portable.
#pragma once

#include "shell/ini_store.h"

// Converts once: does nothing when there is no old table or [2Way-Keywords] "NewFormat"
// is already true. The old keys stay as they are.
void ConvertOldKeywordTable(IniStore& smsgw);
