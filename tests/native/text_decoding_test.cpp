#include "spool/text_decoding.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gateway/gwcore/gsm7.h"

namespace {

// Packs septets least significant bit first after fillBits zero bits, as a sender does.
std::string PackSeptets(const std::vector<unsigned>& septets, unsigned fillBits = 0)
{
    size_t bits = fillBits + septets.size() * 7;
    std::vector<unsigned char> octets((bits + 7) / 8, 0);
    for (size_t i = 0; i < septets.size(); ++i) {
        for (unsigned b = 0; b < 7; ++b) {
            if (septets[i] & (1u << b)) {
                size_t at = fillBits + i * 7 + b;
                octets[at / 8] = static_cast<unsigned char>(octets[at / 8] | (1u << (at % 8)));
            }
        }
    }
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char o : octets) {
        hex += kDigits[o >> 4];
        hex += kDigits[o & 15];
    }
    return hex;
}

std::vector<unsigned> Septets(const std::string& ascii)
{
    return std::vector<unsigned>(ascii.begin(), ascii.end());
}

std::string Gsm7(const std::string& udh, const std::string& data)
{
    std::vector<char> out(Gsm7Utf8Bound(data.size()));
    size_t length = Gsm7HexToUtf8(udh.c_str(), data.c_str(), out.data(), out.size());
    EXPECT_EQ(length, strlen(out.data()));
    return out.data();
}

std::string Ucs2(const std::string& hex)
{
    std::vector<char> buffer(hex.begin(), hex.end());
    buffer.push_back('\0');
    Ucs2HexToUtf8(buffer.data());
    return buffer.data();
}

} // namespace

TEST(HexReaders, DigitValuesAndLeadingDigits)
{
    EXPECT_EQ(15, HexDigitValue('F'));
    EXPECT_EQ(15, HexDigitValue('f'));
    EXPECT_EQ(9, HexDigitValue('9'));
    EXPECT_EQ(0, HexDigitValue('g'));
    EXPECT_EQ(0, HexDigitValue('-'));
    EXPECT_EQ(0, HexDigitValue('\xC3'));

    EXPECT_EQ(26u, ParseHexNumber("1A"));
    EXPECT_EQ(0u, ParseHexNumber("0x1A")); // no prefix understood
    EXPECT_EQ(255u, ParseHexNumber("FFx"));
    EXPECT_EQ(0u, ParseHexNumber(""));
    EXPECT_EQ(0u, ParseHexNumber(" 1"));
    EXPECT_EQ(0u, ParseHexNumber(nullptr));
    // Too many digits wrap; the low byte that the spool reader keeps is still the last two.
    EXPECT_EQ(0xF5u, ParseHexNumber("123456789ABCDEF5") & 0xFF);
}

TEST(LineBreakEscapes, RoundTripAndTheBackslashTrap)
{
    char text[32] = "a\r\nb\nc\r";
    EscapeLineBreaks(text, sizeof text);
    EXPECT_STREQ("a\\r\\nb\\nc\\r", text);
    UnescapeLineBreaks(text);
    EXPECT_STREQ("a\r\nb\nc\r", text);

    // No escape for the backslash: a path comes back broken, as the stored form implies.
    char path[] = "C:\\reports\\new";
    UnescapeLineBreaks(path);
    EXPECT_STREQ("C:\reports\new", path);

    char doubled[] = "\\\\r\\x\\"; // backslash, backslash-r, backslash-x, lone backslash
    UnescapeLineBreaks(doubled);
    EXPECT_STREQ("\\\r\\x\\", doubled);
}

TEST(LineBreakEscapes, EscapingNeverOverrunsAndNeverLeavesARawBreak)
{
    // Room for "ab\r" and the terminator only: the break that cannot be escaped and all
    // behind it is dropped.
    char text[5] = "ab\nc";
    EscapeLineBreaks(text, 4);
    EXPECT_STREQ("ab", text);

    char exact[7] = "ab\ncd"; // needs 6 + 1
    EscapeLineBreaks(exact, sizeof exact);
    EXPECT_STREQ("ab\\ncd", exact);

    char unterminated[4] = {'a', 'b', 'c', 'd'};
    EscapeLineBreaks(unterminated, sizeof unterminated);
    EXPECT_STREQ("abc", unterminated);
}

TEST(DataCodingScheme, ClassesOverAllValues)
{
    int gsm7 = 0, ucs2 = 0;
    for (unsigned dcs = 0; dcs < 256; ++dcs) {
        bool isGsm7 = IsGsm7Coding(static_cast<uint8_t>(dcs));
        bool isUcs2 = IsUcs2Coding(static_cast<uint8_t>(dcs));
        EXPECT_FALSE(isGsm7 && isUcs2) << dcs;
        gsm7 += isGsm7;
        ucs2 += isUcs2;
    }
    EXPECT_EQ(16 + 32 + 8, gsm7);
    EXPECT_EQ(32 + 16, ucs2);

    struct Case {
        unsigned dcs;
        bool gsm7;
        bool ucs2;
    };
    const Case cases[] = {
        {0x00, true, false},  {0x03, true, false},  {0x33, true, false},  {0x04, false, false}, {0x37, false, false},
        {0x08, false, true},  {0x3F, false, true},  {0x40, false, false}, {0xBF, false, false}, {0xC0, true, false},
        {0xDF, true, false},  {0xE0, false, true},  {0xEF, false, true},  {0xF0, true, false},  {0xF3, true, false},
        {0xF4, false, false}, {0xF5, false, false}, {0xFB, true, false},  {0xFF, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.gsm7, IsGsm7Coding(static_cast<uint8_t>(c.dcs))) << std::hex << c.dcs;
        EXPECT_EQ(c.ucs2, IsUcs2Coding(static_cast<uint8_t>(c.dcs))) << std::hex << c.dcs;
    }
}

TEST(Ucs2HexToUtf8, UnitsLengthsAndEnds)
{
    struct Case {
        const char* hex;
        const char* utf8;
    };
    const Case cases[] = {
        {"004100E920AC", "A\xC3\xA9\xE2\x82\xAC"},
        {"004100000042", "A"},                    // a zero unit ends the text
        {"00410", "A"},                           // the last group "0" is a zero unit
        {"0041 0042", "A"},                       // reading stops at the blank
        {"D83DDE00", "\xED\xA0\xBD\xED\xB8\x80"}, // surrogates one by one
        {"41", "A"},                              // a short last group as it stands
        {"7FF", "\xDF\xBF"},
        {"0800", "\xE0\xA0\x80"},
        {"004G", "\x04"}, // a unit ends early at a non-digit
        {"", ""},
        {"zz", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(std::string(c.utf8), Ucs2(c.hex)) << c.hex;
}

TEST(Gsm7, KnownPackedTexts)
{
    EXPECT_EQ("hello", Gsm7("", "E8329BFD06"));
    EXPECT_EQ("hellohello", Gsm7("", "E8329BFD4697D9EC37"));
    EXPECT_EQ("hellohello", Gsm7("", "e8329bfd4697d9ec37"));
    // A six-octet concatenation header: one fill bit before the first septet.
    EXPECT_EQ("Hi", Gsm7("050003CC0201", "9069"));
    EXPECT_EQ("hello", Gsm7("050003CC0201", PackSeptets(Septets("hello"), 1)));
    // Seven-octet header (16-bit reference): 56 bits, no fill.
    EXPECT_EQ("hello", Gsm7("06080400010201", "E8329BFD06"));
    // A header of one octet needs six fill bits.
    EXPECT_EQ("abc", Gsm7("00", PackSeptets(Septets("abc"), 6)));
}

TEST(Gsm7, AlphabetAndExtensionTable)
{
    struct Case {
        std::vector<unsigned> septets;
        const char* utf8;
    };
    const Case cases[] = {
        {{0x00, 0x41}, "@A"},
        {{0x01}, "\xC2\xA3"},
        {{0x02}, "$"},
        {{0x03}, "\xC2\xA5"},
        {{0x09}, "\xC3\x87"},
        {{0x0A}, "\n"},
        {{0x0D, 0x41}, "\rA"},
        {{0x10}, "\xCE\x94"},
        {{0x11}, "_"},
        {{0x15}, "\xCE\xA9"},
        {{0x1E}, "\xC3\x9F"},
        {{0x1F}, "\xC3\x89"},
        {{0x24}, "\xC2\xA4"},
        {{0x40}, "\xC2\xA1"},
        {{0x5B}, "\xC3\x84"},
        {{0x5F}, "\xC2\xA7"},
        {{0x60}, "\xC2\xBF"},
        {{0x7F}, "\xC3\xA0"},
        {{0x7E}, "\xC3\xBC"},
        {{0x1B, 0x65}, "\xE2\x82\xAC"},
        {{0x1B, 0x14}, "^"},
        {{0x1B, 0x28}, "{"},
        {{0x1B, 0x29}, "}"},
        {{0x1B, 0x2F}, "\\"},
        {{0x1B, 0x3C}, "["},
        {{0x1B, 0x3D}, "~"},
        {{0x1B, 0x3E}, "]"},
        {{0x1B, 0x40}, "|"},
        {{0x1B, 0x0A}, "\f"},
        {{0x1B, 0x41}, "A"},        // undefined in the extension: the default character
        {{0x1B, 0x1B, 0x41}, " A"}, // escape to a further table: a space
        {{0x41, 0x1B}, "A "},       // a lone escape at the end
        {{0x1B, 0x1B, 0x1B, 0x65}, " \xE2\x82\xAC"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(std::string(c.utf8), Gsm7("", PackSeptets(c.septets))) << PackSeptets(c.septets);
}

TEST(Gsm7, SevenSpareBitsAreNotACharacter)
{
    // 7 characters in 7 octets leave 7 bits: zero (an '@') or a CR by the standard's advice.
    EXPECT_EQ("Testing", Gsm7("", PackSeptets(Septets("Testing"))));
    EXPECT_EQ("Testing", Gsm7("", PackSeptets(Septets("Testing\r"))));
    EXPECT_EQ("Testing!", Gsm7("", PackSeptets(Septets("Testing!"))));
    // An '@' that is not in the padding position stays.
    EXPECT_EQ("Test@", Gsm7("", PackSeptets({'T', 'e', 's', 't', 0x00})));
    // With a header the padding position moves with the fill bits.
    EXPECT_EQ("Hello!", Gsm7("050003CC0201", PackSeptets(Septets("Hello!"), 1)));
}

TEST(Gsm7, FullMessageOf160Septets)
{
    std::string text;
    for (int i = 0; i < 160; ++i)
        text += static_cast<char>('a' + i % 26);
    std::string hex = PackSeptets(Septets(text));
    ASSERT_EQ(280u, hex.size());
    EXPECT_EQ(text, Gsm7("", hex));
}

TEST(Gsm7, TheBoundIsTightAndNeverPassed)
{
    // 160 two-byte characters from 140 octets: 321 bytes with the terminator.
    std::string hex = PackSeptets(std::vector<unsigned>(160, 0x10));
    EXPECT_EQ(321u, Gsm7Utf8Bound(hex.size()));
    EXPECT_EQ(hex.size() + hex.size() / 7 + 1, Gsm7Utf8Bound(hex.size()));
    std::vector<char> out(Gsm7Utf8Bound(hex.size()) + 16, '#');
    EXPECT_EQ(320u, Gsm7HexToUtf8("", hex.c_str(), out.data(), Gsm7Utf8Bound(hex.size())));
    EXPECT_EQ('#', out[321]);

    for (size_t length = 0; length < 64; ++length)
        EXPECT_LE(Gsm7Utf8Bound(length), length + length / 7 + 1) << length;
}

TEST(Gsm7, SmallRoomStopsBetweenCharacters)
{
    std::string hex = PackSeptets({0x41, 0x10, 0x42}); // A, Δ (2 bytes), B
    char out[8];
    memset(out, '#', sizeof out);
    EXPECT_EQ(1u, Gsm7HexToUtf8("", hex.c_str(), out, 3)); // Δ does not fit in 3 - 1 - 1
    EXPECT_STREQ("A", out);
    EXPECT_EQ('#', out[3]);
    EXPECT_EQ(0u, Gsm7HexToUtf8("", hex.c_str(), out, 1));
    EXPECT_STREQ("", out);
    out[0] = '#';
    EXPECT_EQ(0u, Gsm7HexToUtf8("", hex.c_str(), out, 0));
    EXPECT_EQ('#', out[0]);
}

TEST(Gsm7, MalformedHexAndSharedBuffer)
{
    EXPECT_EQ("hello", Gsm7("", "E8329BFD067")); // odd length: last digit dropped
    EXPECT_EQ("hel", Gsm7("", "E8329BZZFD06"));  // stops at the first non-digit
    EXPECT_EQ("", Gsm7("", "E"));
    EXPECT_EQ("", Gsm7("", ""));
    EXPECT_EQ("", Gsm7("", "xyz"));
    EXPECT_EQ("hello", Gsm7("0", "E8329BFD06")); // a lone header digit is no octet: no fill
    char empty[4] = "abc";
    Gsm7HexToUtf8(nullptr, nullptr, empty, sizeof empty);
    EXPECT_STREQ("", empty);

    // The output goes over its own input, which is longer than the text at first.
    std::string hex = PackSeptets({0x1B, 0x65, 0x10, 0x41, 0x1B, 0x28});
    std::vector<char> buffer(hex.begin(), hex.end());
    buffer.resize(Gsm7Utf8Bound(hex.size()));
    Gsm7HexToUtf8("", buffer.data(), buffer.data(), buffer.size());
    EXPECT_STREQ("\xE2\x82\xAC\xCE\x94"
                 "A{",
                 buffer.data());
}

namespace {

struct Gsm7Call {
    std::string udh;
    std::string data;
    bool sameBuffer = false;
    int count = 0;
};
Gsm7Call lastCall;

void RecordingDecoder(const char* udh, const char* data, char* buffer)
{
    lastCall.udh = udh;
    lastCall.data = data;
    lastCall.sameBuffer = data == buffer;
    ++lastCall.count;
    strcpy(buffer, "decoded");
}

class DecodeMessageTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        lastCall = Gsm7Call();
        SetGsm7Decoder(RecordingDecoder);
    }
    void TearDown() override { SetGsm7Decoder(nullptr); }

    std::string Decode(bool binary, uint8_t dcs, const char* udh, const char* stored)
    {
        std::vector<char> buffer(kRoom, '\0');
        strncpy(buffer.data(), stored, kRoom - 1);
        DecodeMessageText(binary, dcs, udh, buffer.data(), buffer.size());
        return buffer.data();
    }
    static constexpr size_t kRoom = 64;
};

} // namespace

TEST_F(DecodeMessageTextTest, DispatchByBinaryFlagAndCodingScheme)
{
    EXPECT_EQ("A\xC3\xA9", Decode(true, 0x08, "0500", "004100E9"));
    EXPECT_EQ("004100E9", Decode(true, 0x04, "0500", "004100E9"));
    EXPECT_EQ("004100E9", Decode(true, 0x40, "", "004100E9")); // default alphabet bits, other group
    EXPECT_EQ(0, lastCall.count);

    EXPECT_EQ("decoded", Decode(true, 0x00, "050003CC0201", "9069"));
    EXPECT_EQ(1, lastCall.count);
    EXPECT_EQ("050003CC0201", lastCall.udh);
    EXPECT_EQ("9069", lastCall.data);
    EXPECT_TRUE(lastCall.sameBuffer);

    // A text message is shown as stored, whatever its coding scheme says.
    EXPECT_EQ("004100E9", Decode(false, 0x08, "", "004100E9"));
    EXPECT_EQ("Hi there", Decode(false, 0x00, "", "Hi there"));
    EXPECT_EQ(1, lastCall.count);

    EXPECT_EQ("", Decode(true, 0x08, "", "not hex"));
    Decode(true, 0xF0, nullptr, "E8");
    EXPECT_EQ("", lastCall.udh);
}

TEST_F(DecodeMessageTextTest, DataIsShortenedUntilItsDecodingFits)
{
    std::string data(kRoom - 1, 'A');
    Decode(true, 0x00, "", data.c_str());
    EXPECT_LE(Gsm7Utf8Bound(lastCall.data.size()), kRoom);
    EXPECT_GT(Gsm7Utf8Bound(lastCall.data.size() + 2), kRoom);
}

TEST(DecodeMessageText, PortableDecoderByDefault)
{
    char buffer[32] = "E8329BFD06";
    DecodeMessageText(true, 0x00, "", buffer, sizeof buffer);
    EXPECT_STREQ("hello", buffer);
}
