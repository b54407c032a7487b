// The row model the message viewers share: rows of ready-made texts, their sorting, finding
// a row by its key, and the texts of the count line and the retry status. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// One row: its key (the file's path relative to the viewer's directory), then one text per
// column. Made once when the queue is read, never changed afterwards.
struct ViewerRow {
    std::vector<std::string> texts;
    const std::string& key() const { return texts[0]; }
};

// A viewer never makes more rows than this; the total still counts every file.
constexpr size_t kMaxViewerRows = 5000;

struct ViewerRows {
    std::vector<ViewerRow> rows;
    unsigned long total = 0; // matching files found, with or without a row

    bool Full() const { return rows.size() >= kMaxViewerRows; }
};

// Text comparison without regard to case; the program uses the platform's locale-aware
// one, tests CompareNoCase of base/text.h.
using TextCompare = int (*)(const char* a, const char* b);

// The sort state: k sorts by column k - 1 ascending, -k descending.
// A click on column c sorts it ascending, or reverses it when it was already sorted by c.
int SortStateAfterColumnClick(int sortState, int column);

// Sorts by the column the state names (a state naming no column leaves the order).
void SortRows(std::vector<ViewerRow>& rows, int sortState, TextCompare compare);

// The same order from sort keys: makeKey turns a cell text into bytes whose byte order is the
// text order wanted (the platform's locale sort key). Each text is turned once, which is far
// cheaper than comparing texts pair by pair with the locale's comparison.
using SortKeyMaker = std::string (*)(const std::string& text);
void SortRowsByKeys(std::vector<ViewerRow>& rows, int sortState, SortKeyMaker makeKey);

// The index of the first row whose key equals key (without regard to case), or -1.
long FindRowByKey(const std::vector<ViewerRow>& rows, const std::string& key, TextCompare compare);

// "<title><none>" ("Empty" or "None", as the viewer says it), "<title>1 message",
// "<title>N messages".
std::string CountLineText(const std::string& title, unsigned long total, const char* none = "Empty");

// "Queued", or "Retry - %2u attempt(s)" and, when there is one, " - " and the last error.
// A negative count is no count: "Queued".
std::string RetryStatusText(long retryCount, const char* lastError);

// What a row was made from: the size, write and creation time of each file read for it.
// A row is read again only when one of these has changed.
struct FileStamp {
    uint64_t size = 0;
    uint64_t lastWriteTime = 0;
    uint64_t creationTime = 0;
    bool operator==(const FileStamp& other) const
    {
        return size == other.size && lastWriteTime == other.lastWriteTime && creationTime == other.creationTime;
    }
};

// The rows of the last reading by key, so that a refresh opens only the files that changed.
// A reading takes each unchanged row with Reuse and hands every row it made afresh to Keep;
// EndReading then forgets the rows of files that are gone.
class RowCache {
public:
    // The row kept for key by the last reading when it was made from files of the same
    // stamps; null otherwise.
    const ViewerRow* Find(const std::string& key, const FileStamp& first, const FileStamp& second = {}) const;
    // As Find, and keeps the row found for the next reading.
    const ViewerRow* Reuse(const std::string& key, const FileStamp& first, const FileStamp& second = {});
    void Keep(const std::string& key, const FileStamp& first, const FileStamp& second, const ViewerRow& row);
    // Ends a reading; true when every row of it was reused, none made afresh.
    bool EndReading();
    void Clear();
    size_t Size() const { return last_.size(); }

private:
    struct Entry {
        FileStamp first;
        FileStamp second;
        ViewerRow row;
    };
    std::unordered_map<std::string, Entry> last_;
    std::unordered_map<std::string, Entry> next_;
    bool madeRows_ = false;
};

// True when both lists hold rows of the same keys (in any order). Keys are unique.
bool SameKeys(const std::vector<ViewerRow>& a, const std::vector<ViewerRow>& b);
