#include "spool/viewer_rows.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

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

void SortRowsByKeys(std::vector<ViewerRow>& rows, int sortState, SortKeyMaker makeKey)
{
    if (sortState == 0)
        return;
    size_t text = static_cast<size_t>(sortState > 0 ? sortState : -sortState);
    bool descending = sortState < 0;
    std::vector<std::pair<std::string, size_t>> keys;
    keys.reserve(rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        keys.emplace_back(makeKey(text < rows[i].texts.size() ? rows[i].texts[text] : std::string()), i);
    std::sort(keys.begin(), keys.end(), [descending](const auto& a, const auto& b) {
        return descending ? a.first > b.first : a.first < b.first;
    });
    std::vector<ViewerRow> sorted;
    sorted.reserve(rows.size());
    for (const auto& key : keys)
        sorted.push_back(std::move(rows[key.second]));
    rows.swap(sorted);
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

const ViewerRow* RowCache::Reuse(const std::string& key, const FileStamp& first, const FileStamp& second)
{
    auto found = last_.find(key);
    if (found == last_.end() || !(found->second.first == first) || !(found->second.second == second))
        return nullptr;
    Entry& kept = next_[key];
    kept = std::move(found->second);
    last_.erase(found);
    return &kept.row;
}

void RowCache::Keep(const std::string& key, const FileStamp& first, const FileStamp& second, const ViewerRow& row)
{
    next_[key] = Entry{first, second, row};
    madeRows_ = true;
}

bool RowCache::EndReading()
{
    last_.swap(next_);
    next_.clear();
    bool allReused = !madeRows_;
    madeRows_ = false;
    return allReused;
}

void RowCache::Clear()
{
    last_.clear();
    next_.clear();
    madeRows_ = false;
}

bool SameKeys(const std::vector<ViewerRow>& a, const std::vector<ViewerRow>& b)
{
    if (a.size() != b.size())
        return false;
    std::unordered_set<std::string> keys;
    keys.reserve(a.size());
    for (const ViewerRow& row : a)
        keys.insert(row.key());
    for (const ViewerRow& row : b) {
        if (!keys.count(row.key()))
            return false;
    }
    return true;
}
