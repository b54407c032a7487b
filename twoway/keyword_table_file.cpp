#include "twoway/keyword_table_file.h"

#include <windows.h>

#include <string>

#include "app/ini_files.h"
#include "twoway/keyword_conversion.h"

void ConvertOldKeywordTableFile(const char* smsIniPath)
{
    ProfileIniStore original(smsIniPath);
    if (!NeedsKeywordConversion(original))
        return;

    std::string copy = std::string(smsIniPath) + ".NEW";
    if (!CopyFileA(smsIniPath, copy.c_str(), FALSE))
        return;
    ProfileIniStore converted(copy);
    bool written = ConvertOldKeywordTable(converted);
    // Null section, key and value flush what the profile functions cache of the copy.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, copy.c_str());
    if (written && MoveFileExA(copy.c_str(), smsIniPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return;
    DeleteFileA(copy.c_str());
}
