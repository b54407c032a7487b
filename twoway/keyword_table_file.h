#pragma once

// Converts the old keyword table of the SMSGW.INI at path, when it has one, in a copy
// beside it; the copy replaces the file only when every write succeeded, so a full disk
// or a refused write leaves the file as it was.
void ConvertOldKeywordTableFile(const char* smsIniPath);
