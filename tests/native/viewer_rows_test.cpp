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
}

TEST(ViewerRows, RetryStatus)
{
    EXPECT_EQ("Queued", RetryStatusText(0, "ignored when not retried"));
    EXPECT_EQ("Retry -  3 attempt(s) - No answer", RetryStatusText(3, "No answer"));
    EXPECT_EQ("Retry - 12 attempt(s)", RetryStatusText(12, ""));
    EXPECT_EQ("Retry - 12 attempt(s)", RetryStatusText(12, nullptr));
}

TEST(ViewerRows, CompareNoCaseOrdersWithoutRegardToCase)
{
    EXPECT_EQ(0, CompareNoCase("Modem", "mODEM"));
    EXPECT_LT(CompareNoCase("abc", "ABD"), 0);
    EXPECT_GT(CompareNoCase("abcd", "ABC"), 0);
    EXPECT_LT(CompareNoCase("", "a"), 0);
}

} // namespace
