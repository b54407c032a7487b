#include "base/ini_rules.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(IniBool, TrueOnlyForYesOneAndTrue)
{
    for (const char* value : {"yes", "Yes", "Y", "y", "1", "10", "TRUE", "true", "True"})
        EXPECT_TRUE(IniBool(value)) << value;
    for (const char* value : {"No", "", "0", "t", "T", "On", "TRUEX", " yes", "truE "})
        EXPECT_FALSE(IniBool(value)) << value;
    EXPECT_FALSE(IniBool(nullptr));
}

TEST(AppendBounded, AppendsWithinCapacityAndAlwaysTerminates)
{
    char buffer[8] = "abc";
    AppendBounded(buffer, "de", sizeof buffer);
    EXPECT_STREQ(buffer, "abcde");
    AppendBounded(buffer, "fghij", sizeof buffer);
    EXPECT_STREQ(buffer, "abcdefg"); // cut to capacity - 1
    AppendBounded(buffer, "x", sizeof buffer);
    EXPECT_STREQ(buffer, "abcdefg"); // full: nothing more

    // A destination that is not terminated within its capacity is left alone.
    char full[4] = {'a', 'b', 'c', 'd'};
    AppendBounded(full, "x", sizeof full);
    EXPECT_EQ(0, memcmp(full, "abcd", 4));
}

TEST(IniNumber, TakesLeadingDigits)
{
    EXPECT_EQ(8800u, IniNumber("8800"));
    EXPECT_EQ(25u, IniNumber("25abc"));
    EXPECT_EQ(0u, IniNumber("abc"));
    EXPECT_EQ(0u, IniNumber(""));
    EXPECT_EQ(0u, IniNumber("-5"));
    EXPECT_EQ(~0UL, IniNumber("999999999999999999999999999"));
}

TEST(SubQueueFolderName, SeparatorsAndDotNamesCannotLeaveTheQueue)
{
    EXPECT_EQ("Modem- COM1", SubQueueFolderName("Modem: COM1"));
    EXPECT_EQ("a-b-c-d", SubQueueFolderName("a:b/c\\d"));
    EXPECT_EQ("--", SubQueueFolderName(".."));
    EXPECT_EQ("-", SubQueueFolderName("."));
    EXPECT_EQ("-- ", SubQueueFolderName(".. ")); // Windows would drop the space
    EXPECT_EQ(" - ", SubQueueFolderName(" . "));
    EXPECT_EQ("..-..-x", SubQueueFolderName("..\\../x"));
    EXPECT_EQ("v1.2", SubQueueFolderName("v1.2"));
}

TEST(WithTrailingBackslash, AppendsOnlyWhenMissing)
{
    EXPECT_EQ("C:\\Q\\", WithTrailingBackslash("C:\\Q"));
    EXPECT_EQ("C:\\Q\\", WithTrailingBackslash("C:\\Q\\"));
    EXPECT_EQ("", WithTrailingBackslash(""));
}

TEST(IniRules, LineBreaksSurviveOneIniLine)
{
    const std::string text = "Connection Failed\r\nRAS Error 633\r\nC:\\new\\";
    EXPECT_EQ(EncodeLineBreaks(text), "Connection Failed\\r\\nRAS Error 633\\r\\nC:\\\\new\\\\");
    EXPECT_EQ(EncodeLineBreaks(text).find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(DecodeLineBreaks(EncodeLineBreaks(text)), text);
    EXPECT_EQ(DecodeLineBreaks("a\\tb\\"), "a\\tb\\");
}
