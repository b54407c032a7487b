#include "spool/mms_header.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

MmsHeader Parse(const std::string& file)
{
    MmsHeader header;
    ParseMmsHeader(file.data(), file.size(), header);
    return header;
}

} // namespace

TEST(MmsHeader, AddressesSubjectAndContents)
{
    MmsHeader h = Parse("Message-ID: 42\r\n"
                        "from:   +447700900123/TYPE=PLMN\r\n"
                        "To:\t+447700900999/type=plmn, x\r\n"
                        "Subject:  Holiday  \r\n"
                        "X-QelMMS-Content-Location: 0001\\image.jpg;image/jpeg;Name=beach.jpg\r\n"
                        "X-QelMMS-Content-Location: 0001\\text.txt;text/plain\r\n"
                        "X-QelMMS-Content-Location:0001\\smil.smil\r\n");
    EXPECT_STREQ("+447700900123", h.from);
    EXPECT_STREQ("+447700900999", h.to);
    EXPECT_STREQ("Holiday  ", h.subject);
    ASSERT_EQ(3u, h.contents.size());
    EXPECT_EQ("0001\\image.jpg", h.contents[0].path);
    EXPECT_EQ("image/jpeg", h.contents[0].contentType);
    EXPECT_EQ("text/plain", h.contents[1].contentType);
    EXPECT_EQ("0001\\smil.smil", h.contents[2].path);
    EXPECT_EQ("", h.contents[2].contentType);
}

TEST(MmsHeader, LinesSplitAsInTheSpoolFilesAndTheLastOfANameCounts)
{
    // Indentation and blank lines vanish; "X-From:" and "Subject-X:" are other names.
    MmsHeader h = Parse("\r\n\t From: a\nX-From: b\nSubject-X: c\n\n  To: x\r\rFrom: later/TYPE=PLMN\nto: last\n");
    EXPECT_STREQ("later", h.from);
    EXPECT_STREQ("last", h.to);
    EXPECT_STREQ("", h.subject);
}

TEST(MmsHeader, ValuesAreCut)
{
    MmsHeader h = Parse("To: " + std::string(300, 't') + "\nSubject: " + std::string(600, 's') + "\n");
    EXPECT_EQ(149u, strlen(h.to));
    EXPECT_EQ(499u, strlen(h.subject));

    // The "/TYPE=" cut comes first, so a long address still loses its suffix.
    h = Parse("From: " + std::string(147, 'a') + "/TYPE=PLMN\n");
    EXPECT_EQ(std::string(147, 'a'), h.from);
}

TEST(MmsHeader, OnlyTheFirstBytesAreRead)
{
    std::string file = std::string(8180, 'x') + "\nFrom: abcdefghijklmnop\nTo: late\n";
    MmsHeader h = Parse(file);
    EXPECT_STREQ("abcd", h.from); // cut at byte 8191
    EXPECT_STREQ("", h.to);

    h = Parse(std::string("Subject: a\0b\nFrom: c\n", 21));
    EXPECT_STREQ("a", h.subject);
    EXPECT_STREQ("", h.from);

    h = Parse("");
    EXPECT_TRUE(h.contents.empty());
    h = Parse("X-QelMMS-Content-Location:");
    ASSERT_EQ(1u, h.contents.size());
    EXPECT_EQ("", h.contents[0].path);

    h = Parse("X-QelMMS-Content-Location: a.bin;" + std::string(200, 'y') + ";x\n");
    ASSERT_EQ(1u, h.contents.size());
    EXPECT_EQ(std::string(149, 'y'), h.contents[0].contentType);
}

TEST(MmsHeader, ContentPathsMustStayInTheStore)
{
    for (const char* path : {"0001\\a.jpg", "a.jpg", "0001/a", "x..y\\z", ".\\a", "a\\.\\b", "CONSOLE.txt", "com10",
                             "lpt", "nully\\a", "0001\\icon.jpg", "a\\xcon"})
        EXPECT_TRUE(IsContainedContentPath(path)) << path;
    for (const char* path : {"",        "..\\a",         "0001\\..\\..\\win.ini",
                             "C:\\a",   "\\\\server\\s", "/etc",
                             "a\\..",   "a/../../b",     "...\\a",
                             ".. \\a",  "a:stream",      "CON",
                             "nul.txt", "0001\\AUX.jpg", "prn\\a",
                             "com1",    "COM9.x.y",      "lpt3.txt",
                             "conin$",  "CONOUT$.log",   "0001\\con .jpg",
                             "LPT\xb9", "a\\b/Nul"})
        EXPECT_FALSE(IsContainedContentPath(path)) << path;
}
