// The account file's format, the record operations and the commit sequence.
#include "gateway/gwcore/user_store.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_set>

namespace userstore {

namespace {

// Lower-case form of a Windows-1252 character: ASCII letters, the accented capitals
// 0xC0-0xDE (without the multiplication sign 0xD7), and the four capitals in 0x80-0x9F.
unsigned char FoldCase(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned char>(c + ('a' - 'A'));
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<unsigned char>(c + 0x20);
    switch (c) {
    case 0x8A:
        return 0x9A; // S caron
    case 0x8C:
        return 0x9C; // OE
    case 0x8E:
        return 0x9E; // Z caron
    case 0x9F:
        return 0xFF; // Y diaeresis
    default:
        return c;
    }
}

// Compares up to the end of prefix; the name must go on at least that far.
bool FoldedPrefixMatch(const char* name, const char* prefix)
{
    for (; *prefix; ++name, ++prefix) {
        if (!*name || FoldCase(static_cast<unsigned char>(*name)) != FoldCase(static_cast<unsigned char>(*prefix)))
            return false;
    }
    return true;
}

void PutU32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t GetU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

template <size_t N>
bool Terminated(const char (&field)[N])
{
    return memchr(field, '\0', N) != nullptr;
}

bool StringsTerminated(const UserRecord& r)
{
    return Terminated(r.userName) && Terminated(r.password) && Terminated(r.fullName) && Terminated(r.ipRestriction);
}

// The folded name, the key for the duplicate check.
std::string FoldedName(const char* name)
{
    std::string key;
    for (; *name; ++name)
        key.push_back(static_cast<char>(FoldCase(static_cast<unsigned char>(*name))));
    return key;
}

} // namespace

bool NamesEqual(const char* a, const char* b)
{
    return FoldedPrefixMatch(a, b) && FoldedPrefixMatch(b, a);
}

bool NameStartsWith(const char* name, const char* prefix)
{
    return FoldedPrefixMatch(name, prefix);
}

void TerminateStrings(UserRecord& record)
{
    record.userName[sizeof record.userName - 1] = '\0';
    record.password[sizeof record.password - 1] = '\0';
    record.fullName[sizeof record.fullName - 1] = '\0';
    record.ipRestriction[sizeof record.ipRestriction - 1] = '\0';
}

bool UserStore::Get(int index, UserRecord& out) const
{
    if (index < 0 || index >= Count())
        return false;
    out = records_[static_cast<size_t>(index)];
    return true;
}

int UserStore::Find(const char* userName) const
{
    if (!userName)
        return -1;
    for (size_t i = 0; i < records_.size(); ++i) {
        if (NamesEqual(records_[i].userName, userName))
            return static_cast<int>(i);
    }
    return -1;
}

int UserStore::FindFirst(const char* prefix) const
{
    if (!prefix)
        return -1;
    for (size_t i = 0; i < records_.size(); ++i) {
        if (NameStartsWith(records_[i].userName, prefix))
            return static_cast<int>(i);
    }
    return -1;
}

bool UserStore::AddOrReplace(const UserRecord& record)
{
    UserRecord copy = record;
    TerminateStrings(copy);
    if (!copy.userName[0])
        return false;
    int index = Find(copy.userName);
    if (index >= 0)
        records_[static_cast<size_t>(index)] = copy;
    else
        records_.push_back(copy);
    return true;
}

bool UserStore::Remove(const char* userName)
{
    int index = Find(userName);
    if (index < 0)
        return false;
    records_.erase(records_.begin() + index);
    return true;
}

// CRC-32 (the polynomial of zlib and PNG), eight bytes a step: the whole account file is
// checked on every read and every commit.
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc)
{
    using Tables = std::array<std::array<uint32_t, 256>, 8>;
    static const Tables tables = [] {
        Tables t = {};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][n] = c;
        }
        for (size_t k = 1; k < t.size(); ++k)
            for (uint32_t n = 0; n < 256; ++n)
                t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
        return t;
    }();
    auto word = [](const uint8_t* p) {
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    };
    crc = ~crc;
    for (; size >= 8; data += 8, size -= 8) {
        uint32_t low = crc ^ word(data);
        uint32_t high = word(data + 4);
        crc = tables[7][low & 0xFF] ^ tables[6][(low >> 8) & 0xFF] ^ tables[5][(low >> 16) & 0xFF] ^
              tables[4][low >> 24] ^ tables[3][high & 0xFF] ^ tables[2][(high >> 8) & 0xFF] ^
              tables[1][(high >> 16) & 0xFF] ^ tables[0][high >> 24];
    }
    for (; size > 0; ++data, --size)
        crc = tables[0][(crc ^ *data) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

bool ParseHeader(const uint8_t* data, size_t size, FileStamp& stamp, uint32_t& count)
{
    if (!data || size < kHeaderSize || memcmp(data, kMagic, sizeof kMagic) != 0)
        return false;
    if (GetU32(data + 8) != kFormatVersion || GetU32(data + 12) != kHeaderSize || GetU32(data + 16) != kRecordSize)
        return false;
    count = GetU32(data + 20);
    stamp.generation = GetU32(data + 24);
    stamp.checksum = GetU32(data + 28);
    return true;
}

bool ParseUserFile(const uint8_t* data, size_t size, UserStore& out)
{
    FileStamp stamp;
    uint32_t count = 0;
    if (!ParseHeader(data, size, stamp, count))
        return false;
    // Division, not multiplication: a huge count must not wrap around.
    if ((size - kHeaderSize) % kRecordSize != 0 || (size - kHeaderSize) / kRecordSize != count)
        return false;
    uint32_t crc = Crc32(data, kHeaderSize - 4);
    crc = Crc32(data + kHeaderSize, size - kHeaderSize, crc);
    if (crc != stamp.checksum)
        return false;

    UserStore parsed;
    std::unordered_set<std::string> names;
    for (uint32_t i = 0; i < count; ++i) {
        UserRecord record;
        memcpy(&record, data + kHeaderSize + i * kRecordSize, kRecordSize);
        if (!StringsTerminated(record) || !record.userName[0])
            return false;
        if (!names.insert(FoldedName(record.userName)).second)
            return false;
        parsed.records_.push_back(record);
    }
    parsed.stamp = stamp;
    out = std::move(parsed);
    return true;
}

std::vector<uint8_t> SerializeUserFile(const UserStore& store)
{
    const std::vector<UserRecord>& records = store.Records();
    std::vector<uint8_t> file(kHeaderSize + records.size() * kRecordSize);
    uint8_t* p = file.data();
    memcpy(p, kMagic, sizeof kMagic);
    PutU32(p + 8, kFormatVersion);
    PutU32(p + 12, static_cast<uint32_t>(kHeaderSize));
    PutU32(p + 16, static_cast<uint32_t>(kRecordSize));
    PutU32(p + 20, static_cast<uint32_t>(records.size()));
    PutU32(p + 24, store.stamp.generation);
    if (!records.empty())
        memcpy(p + kHeaderSize, records.data(), records.size() * kRecordSize);
    uint32_t crc = Crc32(p, kHeaderSize - 4);
    crc = Crc32(p + kHeaderSize, file.size() - kHeaderSize, crc);
    PutU32(p + 28, crc);
    return file;
}

bool ReplaceFileContent(UserFileSystem& files, const std::vector<uint8_t>& content)
{
    bool written = files.CreateTemp() && files.WriteTemp(content.data(), content.size()) && files.FlushTemp() &&
                   files.CloseTemp() && files.ReplaceWithTemp();
    if (!written)
        files.DiscardTemp();
    return written;
}

LoadResult LoadUserFile(UserFileSystem& files, UserStore& out)
{
    std::vector<uint8_t> data;
    switch (files.ReadFile(data)) {
    case UserFileSystem::ReadStatus::kMissing:
        out = UserStore();
        return LoadResult::kMissing;
    case UserFileSystem::ReadStatus::kFailed:
        return LoadResult::kReadFailed;
    case UserFileSystem::ReadStatus::kOk:
        break;
    }
    if (data.size() > files.LargestFile())
        return LoadResult::kCorrupt;
    return ParseUserFile(data.data(), data.size(), out) ? LoadResult::kOk : LoadResult::kCorrupt;
}

CommitResult CommitChange(UserFileSystem& files, Change change, const UserRecord& record, UserStore& out)
{
    UserStore store;
    switch (LoadUserFile(files, store)) {
    case LoadResult::kReadFailed:
        return CommitResult::kReadFailed;
    case LoadResult::kCorrupt:
        return CommitResult::kCorrupt;
    case LoadResult::kOk:
    case LoadResult::kMissing:
        break;
    }

    // The name is looked up terminated, as it would be stored.
    UserRecord terminated = record;
    TerminateStrings(terminated);
    bool applied = change == Change::kAddOrReplace ? store.AddOrReplace(terminated) : store.Remove(terminated.userName);
    if (!applied)
        return CommitResult::kRejected;
    if (kHeaderSize + store.Records().size() * kRecordSize > files.LargestFile())
        return CommitResult::kTooLarge;
    ++store.stamp.generation;

    std::vector<uint8_t> content = SerializeUserFile(store);
    if (!ReplaceFileContent(files, content))
        return CommitResult::kWriteFailed;
    uint32_t count = 0;
    ParseHeader(content.data(), content.size(), store.stamp, count);
    out = std::move(store);
    return CommitResult::kOk;
}

} // namespace userstore
