// The row model the message viewers share: rows of ready-made texts, their sorting, finding
// a row by its key, and the texts of the count line and the retry status. Portable.
#pragma once

#include <cstddef>
#include <string>
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

// The index of the first row whose key equals key (without regard to case), or -1.
long FindRowByKey(const std::vector<ViewerRow>& rows, const std::string& key, TextCompare compare);

// "<title>Empty", "<title>1 message", "<title>N messages".
std::string CountLineText(const std::string& title, unsigned long total);

// "Queued", or "Retry - %2u attempt(s)" and, when there is one, " - " and the last error.
std::string RetryStatusText(long retryCount, const char* lastError);
