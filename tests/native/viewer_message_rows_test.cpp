#include "spool/viewers/message_rows.h"

#include <gtest/gtest.h>

#include <string>

#include "spool/viewer_rows.h"

namespace {

// A [Recipients] section as the private-profile functions give it: lines ended by NUL.
std::string Section(std::initializer_list<const char*> lines)
{
    std::string section;
    for (const char* line : lines)
        section += std::string(line) + '\0';
    return section + '\0';
}

std::string Recipients(const std::string& section)
{
    return MmsRecipientsText(section.data(), section.size());
}

} // namespace

TEST(MmsRecipients, AddressesJoinedUpToFiveThenCounted)
{
    const struct {
        std::string section;
        const char* text;
    } cases[] = {
        {Section({"1=+111/TYPE=PLMN", "2=+222"}), "+111, +222"},
        {Section({"To=+111/type=plmn"}), "+111"},
        {Section({"a=b=c", "x=y/Type=IPv4/TYPE=z"}), "b=c, y"},
        {Section({"1=a", "2=b", "3=c", "4=d", "5=e"}), "a, b, c, d, e"},
        {Section({"1=a", "2=b", "3=c", "4=d", "5=e", "6=f", "7=g"}), "7 recipients"},
        {Section({"1=a", "no equals sign", "3=c"}), "a"}, // the first line without "=" ends it
        {Section({"1="}), ""},
        {Section({"=+1", "=+2"}), "+1, +2"}, // lines with no key
        {Section({}), ""},
        {std::string("1=abc"), "abc"}, // cut short by the buffer: no NUL at all
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, Recipients(c.section)) << c.section;
    EXPECT_EQ("", MmsRecipientsText(nullptr, 0));
}

TEST(MmsRetryCount, LeadingDigitsOnly)
{
    const struct {
        const char* text;
        long count;
    } cases[] = {
        {"2", 2}, {"12abc", 12}, {"-1", 0}, {"", 0}, {" 3", 0}, {"99999999999999", 2147483647L}, {nullptr, 0},
        {"10", 10}, {"2147483638", 2147483638L}, {"2147483648", 2147483647L},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.count, LeadingCount(c.text)) << (c.text ? c.text : "(null)");
    // Read back from a control file: "RetryCount=-1" is queued, not 4294967295 retries.
    EXPECT_EQ("Queued", RetryStatusText(LeadingCount("-1"), "error"));
    EXPECT_EQ("Retry -  2 attempt(s) - Timeout", RetryStatusText(LeadingCount("2"), "Timeout"));
}

TEST(MmsContentItem, NameTypeTabLocation)
{
    const struct {
        MmsContentLocation content;
        const char* item;
    } cases[] = {
        {{"0001\\image.jpg", "image/jpeg"}, "image.jpg (image/jpeg)\t0001\\image.jpg"},
        {{"0001\\sub\\note", ""}, "note\t0001\\sub\\note"},
        {{"plain.txt", "text/plain"}, "plain.txt (text/plain)\tplain.txt"},
        {{"0001\\", ""}, "\t0001\\"},
        {{"a\tb", "x\t..\\..\\evil.exe"}, "a b (x ..\\..\\evil.exe)\ta\tb"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.item, ContentItemText(c.content));
}

TEST(MmsContentOpening, NotepadShellForMediaOnlyOrRefusedWithAReason)
{
    using O = ContentOpening;
    const struct {
        const char* item;
        ContentOpening opening;
        const char* reason;
    } cases[] = {
        {"image.jpg (image/jpeg)\t0001\\image.jpg", O::Shell, ""},
        {"note (text/plain)\t0001\\note", O::Notepad, ""},
        {"note.txt (text/plain)\t0001\\note.txt", O::Shell, ""},            // a text with a name: its own program
        {"note (TEXT/plain)\t0001\\note", O::Refused, kContentNotViewable}, // "text/" as written
        {"pres.smil (Application/SMIL)\t0001\\pres.smil", O::Notepad, ""},
        {"run.exe (application/smil)\t0001\\run.exe", O::Notepad, ""}, // Notepad runs nothing
        {"image.jpg\t0001\\image.jpg", O::Shell, ""},
        {"no tab", O::Nothing, ""},
        {"", O::Nothing, ""},
        // Locations that leave the store.
        {"win.ini\t..\\..\\windows\\win.ini", O::Refused, kContentOutsideStore},
        {"x (text/plain)\t..\\x", O::Refused, kContentOutsideStore},
        {"a.jpg\tC:\\a.jpg", O::Refused, kContentOutsideStore},
        {"a.jpg\t\\a.jpg", O::Refused, kContentOutsideStore},
        {"a.jpg\t/a.jpg", O::Refused, kContentOutsideStore},
        {"CON.jpg (image/jpeg)\t0001\\CON.jpg", O::Refused, kContentOutsideStore},
        {"x.jpg\tCOM1\\x.jpg", O::Refused, kContentOutsideStore},
        {"\t0001\\", O::Refused, kContentOutsideStore},
        {". \t0001\\. ", O::Refused, kContentOutsideStore},
        {"\t", O::Refused, kContentOutsideStore},
        // Only pictures, sound, video and plain text reach the shell, by name and by type.
        {"clip.3gp (video/3gpp)\t0001\\clip.3gp", O::Shell, ""},
        {"tune.AMR. (Audio/AMR)\t0001\\tune.AMR.", O::Shell, ""}, // trailing dot dropped
        {"run.exe (image/jpeg)\t0001\\run.exe", O::Refused, kContentNotViewable},
        {"run.exe \t0001\\run.exe ", O::Refused, kContentNotViewable},
        {"a.jpg.vbs\t0001\\a.jpg.vbs", O::Refused, kContentNotViewable},
        {"x.js (text/plain)\t0001\\x.js", O::Refused, kContentNotViewable},
        {"x.rdp\t0001\\x.rdp", O::Refused, kContentNotViewable},
        {"x.pyz (audio/mpeg)\t0001\\x.pyz", O::Refused, kContentNotViewable},
        {"x.jpg (text/html)\t0001\\x.jpg", O::Refused, kContentNotViewable},
        {"x.jpg (application/x-msdownload)\t0001\\x.jpg", O::Refused, kContentNotViewable},
        {"x.{3050f4d8-98b5-11cf-bb82-00aa00bdce0b}\t0001\\x.{3050f4d8-98b5-11cf-bb82-00aa00bdce0b}", O::Refused,
         kContentNotViewable},
        {"blob (image/jpeg)\t0001\\blob", O::Refused, kContentNotViewable}, // no name: no handler
        {"blob (text/vbscript)\t0001\\blob", O::Notepad, ""},               // text without a name: Notepad
    };
    for (const auto& c : cases) {
        ContentDecision decision = DecideContentOpening(c.item);
        EXPECT_EQ(static_cast<int>(c.opening), static_cast<int>(decision.opening)) << c.item;
        EXPECT_STREQ(c.reason, decision.reason) << c.item;
    }
    EXPECT_EQ("0001\\image.jpg", DecideContentOpening("image.jpg (image/jpeg)\t0001\\image.jpg").location);
    // A tab in the type or the location cannot make the item point elsewhere.
    MmsContentLocation tricky{"0001\\a\tb.jpg", "image/jpeg\t..\\..\\x.exe"};
    EXPECT_EQ(tricky.path, DecideContentOpening(ContentItemText(tricky)).location);
}

TEST(ReceivedMmsFolder, OnlyANamedFolderStrictlyInsideTheStore)
{
    const struct {
        const char* headerKey;
        const char* folderKey; // nullptr: nothing is deleted
    } cases[] = {
        {"X.HDR", "X"},          {"0001.HDR", "0001"}, {"Sub\\M1.HDR", "Sub\\M1"},
        {"a.b.HDR", "a.b"},      {".HDR", nullptr}, // would be the store itself
        {"Sub\\.HDR", nullptr},                     // would be the sub-directory
        {"...HDR", nullptr},                        // "..": the store's parent
        {". .HDR", nullptr},                        // ". " is "." to Windows
        {"NOEXT", nullptr},                         // no "." at all
        {"a.b\\NOEXT", nullptr},                    // the "." is in the folder name, not the file name
        {"NUL.HDR", nullptr},    {"", nullptr},
        {"A..HDR", nullptr},     // "A." would reach the folder "A" of A.HDR
        {"B .HDR", nullptr},     // "B " would reach "B"
        {"Sub \\M.HDR", nullptr}, {"COM5.x.HDR", nullptr}, {"Sub\\a\tb.HDR", nullptr},
    };
    std::string folder = "left from before";
    for (const auto& c : cases) {
        EXPECT_EQ(c.folderKey != nullptr, ReceivedMmsFolderKey(c.headerKey, folder)) << c.headerKey;
        EXPECT_EQ(c.folderKey ? c.folderKey : "", folder) << c.headerKey;
    }
}
