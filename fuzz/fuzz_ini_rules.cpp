// INI values and queue names are text anyone with access to the data directory can edit.
// The first byte picks a buffer capacity, the second where the rest is split in two; the
// rules are checked against references written independently of them.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/ini_rules.h"
#include "base/text.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

int Sign(int value)
{
    return (value > 0) - (value < 0);
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = AsciiLower(c);
    return text;
}

// The leading digits' value, held wide enough never to wrap, then saturated.
void CheckNumber(const char* value)
{
    const unsigned __int128 beyond = static_cast<unsigned __int128>(ULONG_MAX) + 1;
    unsigned __int128 exact = 0;
    for (const char* p = value; *p >= '0' && *p <= '9'; ++p) {
        exact = exact * 10 + static_cast<unsigned>(*p - '0');
        if (exact > beyond)
            exact = beyond;
    }
    Check(IniNumber(value) == (exact >= beyond ? ULONG_MAX : static_cast<unsigned long>(exact)));
}

void CheckBool(const char* value)
{
    bool expected = value[0] == 'Y' || value[0] == 'y' || value[0] == '1' || AsciiUpper(value) == "TRUE";
    Check(IniBool(value) == expected);
    Check(!IniBool(nullptr));
}

// The name stays one folder inside the queue: same length, no separator, never dots alone;
// every other character is kept in place.
void CheckFolderName(const std::string& subQueue)
{
    std::string name = SubQueueFolderName(subQueue);
    Check(name.size() == subQueue.size());
    Check(name.find_first_of(":/\\") == std::string::npos);
    Check(name.empty() || name.find_first_not_of('.') != std::string::npos);
    for (size_t i = 0; i < name.size(); ++i) {
        if (strchr(":/\\.", subQueue[i]) == nullptr || subQueue[i] == '\0')
            Check(name[i] == subQueue[i]);
    }
}

void CheckBackslash(const std::string& text)
{
    std::string path = WithTrailingBackslash(text);
    Check(path.compare(0, text.size(), text) == 0 && path.size() <= text.size() + 1);
    Check(text.empty() ? path.empty() : path.back() == '\\');
    Check(WithTrailingBackslash(path) == path);
}

// dest holds initial, cut to capacity and unterminated when it does not fit; past capacity
// lie guard bytes.
void CheckAppend(size_t capacity, const std::string& initial, const char* text)
{
    const size_t kGuard = 8;
    std::vector<char> dest(capacity + kGuard, '#');
    memcpy(dest.data(), initial.data(), initial.size() < capacity ? initial.size() : capacity);
    if (initial.size() < capacity)
        dest[initial.size()] = '\0';
    const std::vector<char> before = dest;

    AppendBounded(dest.data(), text, capacity);

    size_t length = strnlen(before.data(), capacity);
    if (length == capacity) {
        Check(dest == before); // nothing to append to
        return;
    }
    size_t add = strlen(text);
    if (add > capacity - length - 1)
        add = capacity - length - 1;
    Check(memcmp(dest.data(), before.data(), length) == 0);
    Check(memcmp(dest.data() + length, text, add) == 0 && dest[length + add] == '\0');
    Check(std::equal(dest.begin() + length + add + 1, dest.end(), before.begin() + length + add + 1));
}

void CheckCompare(const char* a, const char* b)
{
    std::string lowerA = Lower(a), lowerB = Lower(b);
    int order = CompareNoCase(a, b);
    Check(Sign(order) == Sign(strcmp(lowerA.c_str(), lowerB.c_str())));
    Check((order == 0) == EqualsNoCase(a, b));
    Check(CompareNoCase(a, AsciiUpper(a).c_str()) == 0 && EqualsNoCase(a, AsciiUpper(a)));

    size_t at = lowerA.find(lowerB);
    Check(FindNoCase(a, lowerA.size(), b) == (at == std::string::npos ? lowerA.size() : at));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
    const char* value = text.c_str(); // an INI value ends at its first NUL

    CheckNumber(value);
    CheckBool(value);
    CheckFolderName(text);
    CheckBackslash(text);

    size_t split = data[1] % (text.size() + 1);
    std::string first = text.substr(0, split), second = text.substr(split);
    CheckAppend(data[0] % 48, first, second.c_str());
    CheckCompare(first.c_str(), second.c_str());
    return 0;
}
