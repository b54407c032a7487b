#include "spool/viewer_rows.h"

#include "base/text.h"

#include <gtest/gtest.h>

namespace {

ViewerRow Row(std::string key, std::string id, std::string user, std::string recipient, std::string time)
{
    ViewerRow row;
    row.texts = {std::move(key), std::move(id), std::move(user), std::move(recipient), std::move(time), "Queued"};
    return row;
}

std::vector<std::string> Keys(const std::vector<ViewerRow>& rows)
{
    std::vector<std::string> keys;
    for (const ViewerRow& row : rows)
        keys.push_back(row.key());
    return keys;
}

std::vector<ViewerRow> Sample()
{
    return {Row("B.REQ", "B.REQ", "bob", "+300", "2026-12-07 10:00:00"),
            Row("M1\\A.REQ", "A.REQ", "Alice", "+100", "2026-12-07 09:00:00"),
            Row("C.REQ", "C.REQ", "carol", "+200", "2026-12-06 23:59:59")};
}

TEST(ViewerRows, ColumnClicksSortAscendingThenReverse)
{
    // Opened in submit time order (state 4): a click on it reverses, another column
    // starts ascending, a second click on that column reverses it.
    EXPECT_EQ(-4, SortStateAfterColumnClick(4, 3));
    EXPECT_EQ(4, SortStateAfterColumnClick(-4, 3));
    EXPECT_EQ(3, SortStateAfterColumnClick(-4, 2));
    EXPECT_EQ(-3, SortStateAfterColumnClick(3, 2));
    EXPECT_EQ(1, SortStateAfterColumnClick(-1, 0));

    std::vector<ViewerRow> rows = Sample();
    SortRows(rows, 4, CompareNoCase);
    EXPECT_EQ((std::vector<std::string>{"C.REQ", "M1\\A.REQ", "B.REQ"}), Keys(rows));
    SortRows(rows, -4, CompareNoCase);
    EXPECT_EQ((std::vector<std::string>{"B.REQ", "M1\\A.REQ", "C.REQ"}), Keys(rows));
    SortRows(rows, 2, CompareNoCase); // user, without regard to case
    EXPECT_EQ((std::vector<std::string>{"M1\\A.REQ", "B.REQ", "C.REQ"}), Keys(rows));
    SortRows(rows, -3, CompareNoCase); // recipient descending
    EXPECT_EQ((std::vector<std::string>{"B.REQ", "C.REQ", "M1\\A.REQ"}), Keys(rows));
}

TEST(ViewerRows, NumbersSortAsTextAndShortRowsDoNotCrash)
{
    std::vector<ViewerRow> rows = {Row("a", "10", "", "", ""), Row("b", "9", "", "", ""), Row("c", "100", "", "", "")};
    rows.push_back(ViewerRow{{"short"}});
    SortRows(rows, 1, CompareNoCase);
    EXPECT_EQ((std::vector<std::string>{"short", "a", "c", "b"}), Keys(rows));
    SortRows(rows, 7, CompareNoCase); // beyond every row's texts: all compare equal
    EXPECT_EQ(4u, rows.size());
}

TEST(ViewerRows, SelectionIsFoundAgainByKeyWithoutRegardToCase)
{
    std::vector<ViewerRow> rows = Sample();
    EXPECT_EQ(1, FindRowByKey(rows, "m1\\a.req", CompareNoCase));
    EXPECT_EQ(-1, FindRowByKey(rows, "A.REQ", CompareNoCase)); // the sub-queue is part of the key
    EXPECT_EQ(-1, FindRowByKey(rows, "", CompareNoCase));
    EXPECT_EQ(-1, FindRowByKey({}, "B.REQ", CompareNoCase));
}

TEST(ViewerRows, CountLine)
{
    const std::string title = "Outbound SMS Message Queue:  ";
    EXPECT_EQ("Outbound SMS Message Queue:  Empty", CountLineText(title, 0));
    EXPECT_EQ("Outbound SMS Message Queue:  1 message", CountLineText(title, 1));
    EXPECT_EQ("Outbound SMS Message Queue:  2 messages", CountLineText(title, 2));
    EXPECT_EQ("Outbound SMS Message Queue:  6000 messages", CountLineText(title, 6000));
    EXPECT_EQ("Received SMS Messages:  None", CountLineText("Received SMS Messages:  ", 0, "None"));
    EXPECT_EQ("Received SMS Messages:  1 message", CountLineText("Received SMS Messages:  ", 1, "None"));
}

TEST(ViewerRows, RetryStatus)
{
    EXPECT_EQ("Queued", RetryStatusText(0, "ignored when not retried"));
    EXPECT_EQ("Retry -  3 attempt(s) - No answer", RetryStatusText(3, "No answer"));
    EXPECT_EQ("Retry - 12 attempt(s)", RetryStatusText(12, ""));
    EXPECT_EQ("Retry - 12 attempt(s)", RetryStatusText(12, nullptr));
    // A negative count ("RetryCount=-1") is no count, never a huge unsigned one.
    EXPECT_EQ("Queued", RetryStatusText(-1, "x"));
    EXPECT_EQ("Queued", RetryStatusText(-2147483647L - 1, ""));
}

TEST(ViewerRows, CompareNoCaseOrdersWithoutRegardToCase)
{
    EXPECT_EQ(0, CompareNoCase("Modem", "mODEM"));
    EXPECT_LT(CompareNoCase("abc", "ABD"), 0);
    EXPECT_GT(CompareNoCase("abcd", "ABC"), 0);
    EXPECT_LT(CompareNoCase("", "a"), 0);
}

} // namespace

namespace {

ViewerRow Row(const std::string& key, const std::string& text)
{
    ViewerRow row;
    row.texts = {key, text};
    return row;
}

} // namespace

TEST(RowCache, ARowIsReusedOnlyWhileEveryFileItWasMadeFromIsUnchanged)
{
    RowCache cache;
    FileStamp message{100, 5, 1};
    FileStamp control{40, 6, 2};
    cache.Keep("A.MMS", message, control, Row("A.MMS", "old"));
    cache.Keep("B.MMS", message, control, Row("B.MMS", "b"));
    EXPECT_EQ(nullptr, cache.Find("A.MMS", message, control)) << "rows kept count from the next reading on";
    cache.EndReading();
    ASSERT_NE(nullptr, cache.Find("A.MMS", message, control));
    EXPECT_EQ("old", cache.Find("A.MMS", message, control)->texts[1]);

    const struct {
        FileStamp first, second;
    } changed[] = {
        {{101, 5, 1}, control}, {{100, 7, 1}, control}, {{100, 5, 3}, control},
        {message, {41, 6, 2}},  {message, {40, 9, 2}},  {message, {}},
    };
    for (const auto& c : changed)
        EXPECT_EQ(nullptr, cache.Find("A.MMS", c.first, c.second));
    EXPECT_EQ(nullptr, cache.Find("a.mms", message, control)) << "keys are the file system's, as given";

    // A reading that kept only A forgets B.
    cache.Keep("A.MMS", message, control, *cache.Find("A.MMS", message, control));
    cache.EndReading();
    EXPECT_NE(nullptr, cache.Find("A.MMS", message, control));
    EXPECT_EQ(nullptr, cache.Find("B.MMS", message, control));
    EXPECT_EQ(1u, cache.Size());
    cache.Clear();
    EXPECT_EQ(0u, cache.Size());
}
