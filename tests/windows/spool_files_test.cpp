// The platform side of the spool files: reading a request the gateway holds open, the
// GSM 7-bit decoder of the support library, and the store walk over real folders.
#include "spool/spool_files.h"

#include <gtest/gtest.h>

#include <set>

#include "gateway/gwcore/gwcore.h"
#include "spool/text_decoding.h"
#include "tests/windows/test_support.h"

namespace {

TEST(SpoolFiles, ARequestHeldOpenForWritingIsStillRead)
{
    TempFolder folder("spool");
    std::string path = folder / "A.REQ";
    WriteWholeFile(path, "[SMS]\r\nPhoneNumber=+4412345\r\nSubmitUser=admin\r\n"
                         "[ErrorDetail]\r\nRetryCount=3\r\nLastErrorInfo=No answer\r\n");
    // A file the gateway holds without sharing cannot be read now.
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    SpoolRecord record;
    EXPECT_FALSE(ReadSpoolRecord(path.c_str(), record));
    CloseHandle(held);

    held = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(ReadSpoolRecord(path.c_str(), record));
    CloseHandle(held);
    EXPECT_STREQ("+4412345", record.recipient);
    EXPECT_STREQ("admin", record.submitUser);
    EXPECT_EQ(3, record.retryCount);
    EXPECT_STREQ("No answer", record.lastError);
    EXPECT_FALSE(ReadSpoolRecord((folder / "missing.REQ").c_str(), record));
    EXPECT_STREQ("", record.recipient);
}

// Names from outside data reach a regular file or nothing: NUL always opens as a device.
TEST(SpoolFiles, OnlyRegularFilesOfAStoreAreOpened)
{
    TempFolder folder("store");
    WriteWholeFile(folder / "A.HDR", "From: +1\r\n");
    CreateDirectoryA((folder / "D.HDR").c_str(), nullptr);
    const struct {
        std::string path;
        bool opens;
    } rows[] = {
        {folder / "A.HDR", true},    {folder / "D.HDR", false},  {folder / "NUL.HDR", false},
        {folder / "nul", false},     {folder / "COM5.INI", false}, {folder / "missing", false},
    };
    for (const auto& row : rows) {
        HANDLE file = OpenStoreFile(row.path.c_str());
        EXPECT_EQ(row.opens, file != INVALID_HANDLE_VALUE) << row.path;
        EXPECT_EQ(row.opens, IsRegularStoreFile(row.path.c_str())) << row.path;
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    MmsHeader header;
    EXPECT_FALSE(ReadMmsHeader((folder / "NUL.HDR").c_str(), header));
}

// Reads the record of a file grown (sparsely) to 16 GB after its text; gives how far into
// the file the reading went.
LONGLONG ReadHugeRequest(const std::string& path, const char* text, SpoolRecord& record)
{
    WriteWholeFile(path, text);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER position;
    position.QuadPart = 16LL << 30;
    SetFilePointerEx(file, position, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    position.QuadPart = 0;
    SetFilePointerEx(file, position, nullptr, FILE_BEGIN);
    ReadSpoolRecord(file, record);
    SetFilePointerEx(file, position, &position, FILE_CURRENT);
    CloseHandle(file);
    DeleteFileA(path.c_str());
    return position.QuadPart;
}

TEST(SpoolFiles, AHugeRequestIsReadOnlyAsFarAsItsRecordNeeds)
{
    TempFolder folder("spool");
    SpoolRecord record;
    // The zeros after the text end it; so does a section after both of the record's.
    for (const char* text :
         {"[SMS]\r\nPhoneNumber=+1\r\n", "[SMS]\r\nPhoneNumber=+1\r\n[ErrorDetail]\r\nRetryCount=1\r\n[Tail]\r\n"}) {
        EXPECT_LE(ReadHugeRequest(folder / "HUGE.REQ", text, record), 64 * 1024) << text;
        EXPECT_STREQ("+1", record.recipient);
    }
    // Text that never ends is read up to the limit and no further.
    std::string endless = "[SMS]\r\nPhoneNumber=+2\r\n" + std::string(2 * kSpoolRecordReadLimit, 'x');
    EXPECT_EQ(static_cast<LONGLONG>(kSpoolRecordReadLimit),
              ReadHugeRequest(folder / "HUGE.REQ", endless.c_str(), record));
    EXPECT_STREQ("+2", record.recipient);
}

TEST(SpoolFiles, TheSupportLibraryDecodesGsm7InPlace)
{
    char buffer[64] = "E8329BFD06"; // "hello"
    GSM7ToUTF8String("", buffer, buffer);
    EXPECT_STREQ("hello", buffer);

    UseSupportLibraryGsm7Decoder();
    char text[kDisplayTextSize] = "9B32"; // the escape, then 0x65: the euro sign
    DecodeMessageText(true, 0x00, "", text, sizeof text);
    EXPECT_STREQ("\xE2\x82\xAC", text);
}

TEST(SpoolFiles, StoreWalkVisitsTheStoreAndItsSubFoldersOnly)
{
    TempFolder store("store");
    CreateDirectoryA((store / "Q1").c_str(), nullptr);
    CreateDirectoryA((store / "Q1\\deeper").c_str(), nullptr);
    WriteWholeFile(store / "A.IN", "x");
    WriteWholeFile(store / "Q1\\B.IN", "x");
    WriteWholeFile(store / "Q1\\deeper\\C.IN", "x");
    WriteWholeFile(store / "D.TXT", "x");

    std::set<std::string> keys;
    StoreWalker walker(PlatformStoreFileSystem());
    for (bool more = walker.First(store.path(), "*.IN"); more; more = walker.Next())
        keys.insert(walker.Key());
    EXPECT_EQ((std::set<std::string>{"A.IN", "Q1\\B.IN"}), keys);
}

// A control file read from its bytes gives what the profile functions give on the same file:
// files as the gateway writes them, and files built at random from lines of every kind the
// profile functions might read their own way.
TEST(SpoolFiles, AControlFileReadsAsTheProfileFunctionsReadIt)
{
    TempFolder folder("controls");
    std::vector<std::string> texts = {
        "[Routing]\r\nSenderAddress=+441\r\nRetryCount=3\r\nLastErrorInfo=Modem error 5\r\n[Recipients]\r\n"
        "To1=+4411/TYPE=PLMN\r\nTo2=+4422\r\n",
        std::string("\xFF\xFE[\0R\0o\0u\0t\0i\0n\0g\0]\0\r\0\n\0S\0e\0n\0d\0e\0r\0A\0d\0d\0r\0e\0s\0s\0=\0+\0" "1\0", 56),
        "\xEF\xBB\xBF[Routing]\r\nSenderAddress=+2\r\n",
        "[Recipients]\r\nTo=" + std::string(492, 'x') + "\r\n",
        "[Recipients]\r\nTo=" + std::string(493, 'x') + "\r\n",
    };
    // Lines the gateway writes first, then lines the profile functions read their own way.
    const char* lines[] = {
        "[Routing]", "[recipients]", "[Other]", "SenderAddress=+1", "RetryCount=3", "LastErrorInfo=a b", "To1=+44/TYPE=PLMN",
        "To2=", "A=123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890",
        "[ Routing ]", "[Routing]x", "[]", "senderaddress=+2", "SenderAddress = +3", "RetryCount='4'",
        "LastErrorInfo=a \"b\" c", "LastErrorInfo=\"quoted\"", "To3 =x", ";To4=y", "novalue", "=v", "\tTo5=z", "To6=\xE9",
    };
    const unsigned gatewayLines = 9;
    const char* breaks[] = {"\r\n", "\n", "\r\n\r\n", "\r"};
    unsigned seed = 1;
    auto next = [&seed](unsigned range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % range;
    };
    for (int i = 0; i < 400; ++i) {
        // Every other file from the gateway's lines alone, most of them plain.
        bool gateway = i % 2 == 0;
        std::string text;
        for (unsigned n = next(gateway ? 6 : 12); n > 0; --n)
            text += std::string(lines[next(gateway ? gatewayLines : sizeof lines / sizeof *lines)]) +
                    breaks[next(gateway ? 3 : 4)];
        texts.push_back(text);
    }
    int plain = 0;
    for (size_t i = 0; i < texts.size(); ++i) {
        std::string path = folder / ("C" + std::to_string(i) + ".INI");
        WriteWholeFile(path, texts[i]);
        MmsControlFields fields;
        plain += ReadPlainMmsControlFile(texts[i].data(), texts[i].size(), fields) ? 1 : 0;
        MmsControlFields read = ReadMmsControlFile(path), profile = ReadMmsControlFileWithProfileFunctions(path);
        EXPECT_EQ(profile.sender, read.sender) << texts[i];
        EXPECT_EQ(profile.retryCount, read.retryCount) << texts[i];
        EXPECT_EQ(profile.lastError, read.lastError) << texts[i];
        EXPECT_EQ(profile.recipients, read.recipients) << texts[i];
    }
    // The comparison means something only when many files were read from their bytes.
    EXPECT_GT(plain, 80);
    EXPECT_EQ("+441", ReadMmsControlFile(folder / "C0.INI").sender);
    EXPECT_EQ("+1", ReadMmsControlFile(folder / "C1.INI").sender);
}

} // namespace
