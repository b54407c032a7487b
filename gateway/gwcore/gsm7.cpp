#include "gateway/gwcore/gsm7.h"

#include <cstdint>
#include <vector>

#include "base/text.h"

namespace {

const unsigned char kEscape = 0x1B;

// The default alphabet, one Unicode code point per septet. 0x1B (the escape) is never
// looked up here.
const uint16_t kDefaultAlphabet[128] = {
    0x0040, 0x00A3, 0x0024, 0x00A5, 0x00E8, 0x00E9, 0x00F9, 0x00EC, // @ £ $ ¥ è é ù ì
    0x00F2, 0x00C7, 0x000A, 0x00D8, 0x00F8, 0x000D, 0x00C5, 0x00E5, // ò Ç LF Ø ø CR Å å
    0x0394, 0x005F, 0x03A6, 0x0393, 0x039B, 0x03A9, 0x03A0, 0x03A8, // Δ _ Φ Γ Λ Ω Π Ψ
    0x03A3, 0x0398, 0x039E, 0x0020, 0x00C6, 0x00E6, 0x00DF, 0x00C9, // Σ Θ Ξ (esc) Æ æ ß É
    0x0020, 0x0021, 0x0022, 0x0023, 0x00A4, 0x0025, 0x0026, 0x0027, //   ! " # ¤ % & '
    0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F, // ( ) * + , - . /
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037, // 0-7
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F, // 8 9 : ; < = > ?
    0x00A1, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047, // ¡ A-G
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F, // H-O
    0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057, // P-W
    0x0058, 0x0059, 0x005A, 0x00C4, 0x00D6, 0x00D1, 0x00DC, 0x00A7, // X Y Z Ä Ö Ñ Ü §
    0x00BF, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067, // ¿ a-g
    0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F, // h-o
    0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077, // p-w
    0x0078, 0x0079, 0x007A, 0x00E4, 0x00F6, 0x00F1, 0x00FC, 0x00E0, // x y z ä ö ñ ü à
};

// The extension table: the character that an escape followed by the septet stands for,
// 0 where the table defines none.
uint16_t ExtensionCharacter(unsigned septet)
{
    switch (septet) {
    case 0x0A:
        return 0x000C; // page break
    case 0x14:
        return 0x005E; // ^
    case 0x1B:
        return 0x0020; // escape to a further table, shown as a space
    case 0x28:
        return 0x007B; // {
    case 0x29:
        return 0x007D; // }
    case 0x2F:
        return 0x005C; // backslash
    case 0x3C:
        return 0x005B; // [
    case 0x3D:
        return 0x007E; // ~
    case 0x3E:
        return 0x005D; // ]
    case 0x40:
        return 0x007C; // |
    case 0x65:
        return 0x20AC; // euro sign
    default:
        return 0;
    }
}

// Leading hexadecimal digits taken as octets; a last lone digit is dropped.
std::vector<unsigned char> HexOctets(const char* hex)
{
    std::vector<unsigned char> octets;
    if (!hex)
        return octets;
    for (size_t i = 0;; i += 2) {
        if (!IsHexDigit(hex[i]) || !IsHexDigit(hex[i + 1]))
            break;
        octets.push_back(static_cast<unsigned char>(HexDigitValue(hex[i]) * 16 + HexDigitValue(hex[i + 1])));
    }
    return octets;
}

size_t HexOctetCount(const char* hex)
{
    size_t digits = 0;
    while (hex && IsHexDigit(hex[digits]))
        ++digits;
    return digits / 2;
}

// Septets packed least significant bit first, starting fillBits into the first octet.
std::vector<unsigned char> UnpackSeptets(const std::vector<unsigned char>& octets, unsigned fillBits)
{
    std::vector<unsigned char> septets;
    size_t totalBits = octets.size() * 8;
    if (totalBits <= fillBits)
        return septets;
    size_t count = (totalBits - fillBits) / 7;
    septets.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        size_t bit = fillBits + i * 7;
        size_t index = bit / 8;
        unsigned shift = static_cast<unsigned>(bit % 8);
        unsigned value = octets[index] >> shift;
        if (shift > 1)
            value |= static_cast<unsigned>(octets[index + 1]) << (8 - shift);
        septets.push_back(static_cast<unsigned char>(value & 0x7F));
    }
    // Seven spare bits at the end look like one more septet: a sender pads them with a
    // carriage return (as the standard asks) or leaves them zero.
    if (count > 0 && (totalBits - fillBits) % 7 == 0 && (septets.back() == 0x0D || septets.back() == 0x00))
        septets.pop_back();
    return septets;
}

// Appends one character when it fits before the terminator; false when it does not.
bool PutBounded(uint16_t codePoint, char* out, size_t capacity, size_t& length)
{
    size_t need = Utf8Length(codePoint);
    if (length + need + 1 > capacity)
        return false;
    length += ::PutUtf8(codePoint, out + length);
    return true;
}

} // namespace

size_t Gsm7HexToUtf8(const char* udhHex, const char* dataHex, char* out, size_t capacity)
{
    if (!out || capacity == 0)
        return 0;
    size_t headerOctets = HexOctetCount(udhHex);
    unsigned fillBits = static_cast<unsigned>((7 - (headerOctets * 8) % 7) % 7);
    // Taken in full before out (possibly the same buffer) is touched.
    std::vector<unsigned char> septets = UnpackSeptets(HexOctets(dataHex), fillBits);

    size_t length = 0;
    for (size_t i = 0; i < septets.size(); ++i) {
        uint16_t codePoint;
        if (septets[i] != kEscape) {
            codePoint = kDefaultAlphabet[septets[i]];
        } else if (i + 1 == septets.size()) {
            codePoint = 0x0020;
        } else {
            unsigned next = septets[++i];
            codePoint = ExtensionCharacter(next);
            if (codePoint == 0)
                codePoint = kDefaultAlphabet[next];
        }
        if (!PutBounded(codePoint, out, capacity, length))
            break;
    }
    out[length] = '\0';
    return length;
}
