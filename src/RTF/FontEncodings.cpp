#include "RTF/FontEncodings.h"

#include <cstdint>

namespace rtf {

namespace {

    // The Symbol font, bytes 0x20 to 0xFF, with the pieces of large brackets
    // and the sans-serif marks as their own Unicode characters. Bytes 0x80 to
    // 0x9F, the radical extender (0x60) and the maker's logo (0xF0) have none.
    const uint16_t kSymbol[224] = {
        0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220D, // 20-27
        0x0028, 0x0029, 0x2217, 0x002B, 0x002C, 0x2212, 0x002E, 0x002F, // 28-2F
        0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037, // 30-37
        0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F, // 38-3F
        0x2245, 0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393, // 40-47
        0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C, 0x039D, 0x039F, // 48-4F
        0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5, 0x03C2, 0x03A9, // 50-57
        0x039E, 0x03A8, 0x0396, 0x005B, 0x2234, 0x005D, 0x22A5, 0x005F, // 58-5F
        0x0000, 0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3, // 60-67
        0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x03BC, 0x03BD, 0x03BF, // 68-6F
        0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4, 0x03C5, 0x03D6, 0x03C9, // 70-77
        0x03BE, 0x03C8, 0x03B6, 0x007B, 0x007C, 0x007D, 0x223C, 0x0000, // 78-7F
        0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, // 80-87
        0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, // 88-8F
        0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, // 90-97
        0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, // 98-9F
        0x20AC, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663, // A0-A7
        0x2666, 0x2665, 0x2660, 0x2194, 0x2190, 0x2191, 0x2192, 0x2193, // A8-AF
        0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022, // B0-B7
        0x00F7, 0x2260, 0x2261, 0x2248, 0x2026, 0x23D0, 0x23AF, 0x21B5, // B8-BF
        0x2135, 0x2111, 0x211C, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229, // C0-C7
        0x222A, 0x2283, 0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209, // C8-CF
        0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5, // D0-D7
        0x00AC, 0x2227, 0x2228, 0x21D4, 0x21D0, 0x21D1, 0x21D2, 0x21D3, // D8-DF
        0x22C4, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211, 0x239B, 0x239C, // E0-E7
        0x239D, 0x23A1, 0x23A2, 0x23A3, 0x23A7, 0x23A8, 0x23A9, 0x23AA, // E8-EF
        0x0000, 0x232A, 0x222B, 0x2320, 0x23AE, 0x2321, 0x239E, 0x239F, // F0-F7
        0x23A0, 0x23A4, 0x23A5, 0x23A6, 0x23AB, 0x23AC, 0x23AD, 0x0000, // F8-FF
    };

    // The Wingdings signs that serve as list bullets and marks in word
    // processors; the font's other pictures have no dependable character.
    struct WingdingsSign {
        uint8_t byte;
        char32_t character;
    };
    const WingdingsSign kWingdings[] = {
        { 0x4A, U'\u263A' }, // smiling face
        { 0x4C, U'\u2639' }, // frowning face
        { 0x6C, U'\u25CF' }, // black circle
        { 0x6E, U'\u25A0' }, // black square
        { 0x6F, U'\u25A1' }, // white square
        { 0x71, U'\u2751' }, // shadowed white square
        { 0x75, U'\u25C6' }, // black diamond
        { 0x76, U'\u2756' }, // black diamond minus white X
        { 0x77, U'\u2B25' }, // black medium diamond
        { 0xA7, U'\u25AA' }, // black small square
        { 0xA8, U'\u25FB' }, // white medium square
        { 0xD8, U'\u27A2' }, // arrowhead
        { 0xFC, U'\u2713' }, // check mark
        { 0xFD, U'\u2612' }, // ballot box with X
        { 0xFE, U'\u2611' }, // ballot box with check
    };

    bool startsWithIgnoringCase(std::string_view text, std::string_view prefix)
    {
        if (text.size() < prefix.size())
            return false;
        for (size_t i = 0; i < prefix.size(); ++i) {
            char c = text[i];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c + 32);
            if (c != prefix[i])
                return false;
        }
        return true;
    }

} // namespace

std::string codePageName(unsigned codePage)
{
    static const struct {
        unsigned codePage;
        const char* name;
    } kNames[] = {
        { 10000, "MACINTOSH" },
        { 10005, "MacHebrew" },
        { 10006, "x-mac-greek" },
        { 10007, "MACCYRILLIC" },
        { 10010, "MacRomania" },
        { 10017, "MACUKRAINIAN" },
        { 10021, "MacThai" },
        { 10029, "MAC-CENTRALEUROPE" },
        { 10079, "MAC-IS" },
        { 10081, "x-mac-turkish" },
        { 10082, "MacCroatian" },
        { 65001, "UTF-8" },
    };
    for (const auto& entry : kNames) {
        if (entry.codePage == codePage)
            return entry.name;
    }
    return "CP" + std::to_string(codePage);
}

unsigned codePageOfCharset(int charset)
{
    switch (charset) {
    case 77:
        return 10000; // Mac
    case 128:
        return 932; // Shift-JIS
    case 129:
        return 949; // Hangul
    case 134:
        return 936; // GB2312
    case 136:
        return 950; // Big5
    case 161:
        return 1253; // Greek
    case 162:
        return 1254; // Turkish
    case 163:
        return 1258; // Vietnamese
    case 177:
        return 1255; // Hebrew
    case 178:
        return 1256; // Arabic
    case 186:
        return 1257; // Baltic
    case 204:
        return 1251; // Cyrillic
    case 222:
        return 874; // Thai
    case 238:
        return 1250; // Central European
    default:
        return 0;
    }
}

SymbolEncoding symbolEncodingOfFont(int charset, std::string_view name)
{
    if (startsWithIgnoringCase(name, "wingdings"))
        return SymbolEncoding::Wingdings;
    if (startsWithIgnoringCase(name, "webdings"))
        return SymbolEncoding::Unmapped;
    if (charset == 2 || startsWithIgnoringCase(name, "symbol"))
        return SymbolEncoding::Symbol;
    return SymbolEncoding::None;
}

char32_t symbolCharacter(SymbolEncoding encoding, int byte)
{
    if (byte < 0x20 || byte > 0xFF)
        return 0;
    switch (encoding) {
    case SymbolEncoding::Symbol:
        return kSymbol[byte - 0x20];
    case SymbolEncoding::Wingdings:
        for (const auto& sign : kWingdings) {
            if (sign.byte == byte)
                return sign.character;
        }
        return byte == 0x20 ? U' ' : 0;
    case SymbolEncoding::None:
    case SymbolEncoding::Unmapped:
        break;
    }
    return 0;
}

} // namespace rtf
