#include "spool/spool_files.h"

#include "base/paths.h"

#include <cstring>
#include <vector>

#include "gateway/gwcore/gwcore.h"
#include "app/config_files.h"
#include "spool/error_notes.h"
#include "spool/text_decoding.h"

namespace {

// Reads up to size bytes from the file's current position; gives the count read.
DWORD ReadUpTo(HANDLE file, char* buffer, DWORD size)
{
    DWORD total = 0;
    while (total < size) {
        DWORD got = 0;
        if (!ReadFile(file, buffer + total, size - total, &got, nullptr) || got == 0)
            break;
        total += got;
    }
    return total;
}

void SupportLibraryGsm7(const char* udhHex, const char* dataHex, char* buffer)
{
    GSM7ToUTF8String(udhHex, dataHex, buffer);
}

} // namespace

bool IsRegularStoreFile(const char* path)
{
    if (!path)
        return false;
    const char* name = path;
    for (const char* c = path; *c; ++c) {
        if (*c == '\\' || *c == '/' || *c == ':')
            name = c + 1;
    }
    if (IsDeviceName(name))
        return false;
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

HANDLE OpenStoreFile(const char* path)
{
    if (!IsRegularStoreFile(path))
        return INVALID_HANDLE_VALUE;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE && GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

void ReadSpoolRecord(HANDLE file, SpoolRecord& record)
{
    SpoolRecordParser parser(record);
    LARGE_INTEGER size;
    if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size))
        return;
    // Read in pieces, and only while a piece can still change the record: a file that is
    // huge (or sparse) costs no more than the record needs.
    std::vector<char> chunk(64 * 1024);
    LONGLONG left = size.QuadPart < static_cast<LONGLONG>(kSpoolRecordReadLimit)
                        ? size.QuadPart
                        : static_cast<LONGLONG>(kSpoolRecordReadLimit);
    while (left > 0 && !parser.Done()) {
        DWORD want =
            left < static_cast<LONGLONG>(chunk.size()) ? static_cast<DWORD>(left) : static_cast<DWORD>(chunk.size());
        DWORD got = ReadUpTo(file, chunk.data(), want);
        if (got == 0)
            break;
        parser.Feed(chunk.data(), got);
        left -= got;
    }
    parser.Finish();
}

bool ReadSpoolRecord(const char* path, SpoolRecord& record)
{
    HANDLE file = OpenStoreFile(path);
    if (file == INVALID_HANDLE_VALUE) {
        ClearSpoolRecord(record);
        return false;
    }
    ReadSpoolRecord(file, record);
    CloseHandle(file);
    return true;
}

bool ReadMmsHeader(const char* path, MmsHeader& header, std::string* text)
{
    std::vector<char> bytes(kMmsHeaderReadLimit);
    DWORD got = 0;
    HANDLE file = OpenStoreFile(path);
    bool opened = file != INVALID_HANDLE_VALUE;
    if (opened) {
        got = ReadUpTo(file, bytes.data(), static_cast<DWORD>(bytes.size()));
        CloseHandle(file);
    }
    ParseMmsHeader(bytes.data(), got, header);
    if (text)
        text->assign(bytes.data(), strnlen(bytes.data(), got));
    return opened;
}

namespace {

std::string ProfileRoutingValue(const std::string& path, const char* key)
{
    char value[kMmsControlValueBuffer];
    DWORD length = GetPrivateProfileStringA("Routing", key, "", value, sizeof value, path.c_str());
    return std::string(value, length);
}

// The whole file when it is no larger than a plain control file can be and reads whole.
bool ReadWholeSmallFile(const std::string& path, std::string& bytes)
{
    HANDLE file = OpenStoreFile(path.c_str());
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    bool whole = false;
    if (GetFileSizeEx(file, &size) && size.QuadPart <= static_cast<LONGLONG>(kPlainControlFileLimit)) {
        // One byte more than the size: a file that grew meanwhile is not taken as whole.
        bytes.resize(static_cast<size_t>(size.QuadPart) + 1);
        DWORD got = ReadUpTo(file, &bytes[0], static_cast<DWORD>(bytes.size()));
        whole = got == static_cast<DWORD>(size.QuadPart);
        bytes.resize(got);
    }
    CloseHandle(file);
    return whole;
}

} // namespace

MmsControlFields ReadMmsControlFileWithProfileFunctions(const std::string& path)
{
    MmsControlFields fields;
    char recipients[kMmsControlValueBuffer];
    DWORD length = GetPrivateProfileSectionA("Recipients", recipients, sizeof recipients, path.c_str());
    fields.recipients.assign(recipients, length + 1);
    fields.sender = ProfileRoutingValue(path, "SenderAddress");
    fields.retryCount = ProfileRoutingValue(path, "RetryCount");
    fields.lastError = ProfileRoutingValue(path, "LastErrorInfo");
    return fields;
}

MmsControlFields ReadMmsControlFile(const std::string& path)
{
    MmsControlFields fields;
    std::string bytes;
    if (ReadWholeSmallFile(path, bytes) && ReadPlainMmsControlFile(bytes.data(), bytes.size(), fields))
        return fields;
    return ReadMmsControlFileWithProfileFunctions(path);
}

void ReadErrorNote(const char* directory, const std::string& noteName, char* out)
{
    if (!out)
        return;
    out[0] = '\0';
    // A modem named "COM1" has the note "COM1.ERR", which Windows opens as the serial port:
    // such a note cannot exist, and OpenStoreFile does not open it.
    std::string path = std::string(directory ? directory : "") + noteName;
    if (path.size() >= MAX_PATH)
        return;
    HANDLE file = OpenStoreFile(path.c_str());
    if (file == INVALID_HANDLE_VALUE)
        return;
    char bytes[kErrorNoteReadLimit];
    DWORD got = ReadUpTo(file, bytes, sizeof bytes);
    CloseHandle(file);
    ErrorNoteText(bytes, got, out);
}

void ReadModemErrorText(const char* modemName, char* out)
{
    char directory[MAX_PATH];
    PrivateDataDirectory(directory);
    ReadErrorNote(directory, ModemErrorNoteName(modemName), out);
}

void ReadRouteErrorText(const char* routeName, char* out)
{
    char directory[MAX_PATH];
    PrivateDataDirectory(directory);
    ReadErrorNote(directory, RouteErrorNoteName(routeName), out);
}

FILETIME ToFileTime(FileTimeValue value)
{
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return time;
}

FileTimeValue FromFileTime(const FILETIME& time)
{
    return (static_cast<FileTimeValue>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

void FormatDisplayTime(const FILETIME& utc, char* out)
{
    if (!out)
        return;
    SYSTEMTIME universal = {};
    SYSTEMTIME local = {};
    SpoolTime time;
    // The zone rules of the file's own date, so that summer time is right all year.
    if (FileTimeToSystemTime(&utc, &universal) && SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
        time.year = local.wYear;
        time.month = local.wMonth;
        time.day = local.wDay;
        time.hour = local.wHour;
        time.minute = local.wMinute;
        time.second = local.wSecond;
    }
    FormatCalendarTime(time, out, kDisplayTimeSize);
}

void FormatDisplayTime(FileTimeValue utc, char* out)
{
    FormatDisplayTime(ToFileTime(utc), out);
}

void UseSupportLibraryGsm7Decoder()
{
    SetGsm7Decoder(SupportLibraryGsm7);
}
