#include "spool/viewer_rows.h"

#include <algorithm>
#include <cstdio>

int SortStateAfterColumnClick(int sortState, int column)
{
    return sortState == column + 1 ? -(column + 1) : column + 1;
}

void SortRows(std::vector<ViewerRow>& rows, int sortState, TextCompare compare)
{
    if (sortState == 0)
        return;
    size_t text = static_cast<size_t>(sortState > 0 ? sortState : -sortState); // after the key
    bool descending = sortState < 0;
    std::sort(rows.begin(), rows.end(), [&](const ViewerRow& a, const ViewerRow& b) {
        const char* left = text < a.texts.size() ? a.texts[text].c_str() : "";
        const char* right = text < b.texts.size() ? b.texts[text].c_str() : "";
        int order = compare(left, right);
        return descending ? order > 0 : order < 0;
    });
}

long FindRowByKey(const std::vector<ViewerRow>& rows, const std::string& key, TextCompare compare)
{
    for (size_t i = 0; i < rows.size(); ++i) {
        if (!rows[i].texts.empty() && compare(rows[i].key().c_str(), key.c_str()) == 0)
            return static_cast<long>(i);
    }
    return -1;
}

std::string CountLineText(const std::string& title, unsigned long total, const char* none)
{
    if (total == 0)
        return title + none;
    char count[40];
    snprintf(count, sizeof count, "%lu message%s", total, total == 1 ? "" : "s");
    return title + count;
}

std::string RetryStatusText(long retryCount, const char* lastError)
{
    if (retryCount <= 0)
        return "Queued";
    char text[40];
    snprintf(text, sizeof text, "Retry - %2lu attempt(s)", static_cast<unsigned long>(retryCount));
    std::string status = text;
    if (lastError && lastError[0])
        status += std::string(" - ") + lastError;
    return status;
}

const ViewerRow* RowCache::Find(const std::string& key, const FileStamp& first, const FileStamp& second) const
{
    auto found = last_.find(key);
    if (found == last_.end() || !(found->second.first == first) || !(found->second.second == second))
        return nullptr;
    return &found->second.row;
}

void RowCache::Keep(const std::string& key, const FileStamp& first, const FileStamp& second, const ViewerRow& row)
{
    next_[key] = Entry{first, second, row};
}

void RowCache::EndReading()
{
    last_.swap(next_);
    next_.clear();
}

void RowCache::Clear()
{
    last_.clear();
    next_.clear();
}
