#include "Support/PdfFontPrograms.h"

#include <cstdint>
#include <fmt/format.h>

namespace test {

namespace {

// ---- CFF ----

void appendCard16(std::string& out, unsigned value)
{
    out += char((value >> 8) & 0xFF);
    out += char(value & 0xFF);
}

// An INDEX with 4-byte offsets, whatever its size.
std::string cffIndex(const std::vector<std::string>& items)
{
    std::string out;
    appendCard16(out, unsigned(items.size()));
    if (items.empty())
        return out;
    out += char(4);
    uint32_t offset = 1;
    auto appendOffset = [&](uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8)
            out += char((value >> shift) & 0xFF);
    };
    appendOffset(offset);
    for (const std::string& item : items) {
        offset += uint32_t(item.size());
        appendOffset(offset);
    }
    for (const std::string& item : items)
        out += item;
    return out;
}

// A DICT integer in its five-byte form, so a dictionary's size does not
// depend on the offsets it holds.
std::string cffInteger(int32_t value)
{
    std::string out(1, char(29));
    for (int shift = 24; shift >= 0; shift -= 8)
        out += char((uint32_t(value) >> shift) & 0xFF);
    return out;
}

// ---- Type 1 ----

// eexec and charstring encryption (keys 55665 and 4330).
std::string encrypted(const std::string& plain, uint16_t key)
{
    std::string out;
    uint16_t r = key;
    for (unsigned char p : plain) {
        auto c = static_cast<unsigned char>(p ^ (r >> 8));
        r = uint16_t((c + r) * 52845u + 22719u);
        out += char(c);
    }
    return out;
}

// "0 500 hsbw endchar" behind the four bytes every charstring starts with.
std::string emptyCharstring()
{
    std::string plain("\0\0\0\0", 4);
    plain += char(139);                        // 0
    plain += char(248);                        // 500 = (248 - 247) * 256 + 136 + 108
    plain += char(136);
    plain += char(13);                         // hsbw
    plain += char(14);                         // endchar
    return encrypted(plain, 4330);
}

} // namespace

std::string PdfFontPrograms::cff(const Encoding& encoding, const std::string& fontName)
{
    // Glyph 0 is .notdef; glyph i (from 1) is the i-th name, its string the
    // i-th custom string (SID 391 on).
    std::vector<std::string> strings;
    for (const auto& [code, name] : encoding)
        strings.push_back(name);
    const size_t glyphs = strings.size() + 1;

    std::string header("\x01\x00\x04\x04", 4);
    std::string names = cffIndex({ fontName });
    std::string stringIndex = cffIndex(strings);
    std::string globalSubrs = cffIndex({});
    std::vector<std::string> charstrings(glyphs, std::string(1, char(14))); // endchar
    std::string charstringIndex = cffIndex(charstrings);

    std::string charset(1, char(0)); // format 0: one SID per glyph after .notdef
    for (size_t i = 1; i < glyphs; ++i)
        appendCard16(charset, unsigned(390 + i));
    std::string encodingTable(1, char(0)); // format 0: one code per glyph after .notdef
    encodingTable += char(strings.size());
    for (const auto& [code, name] : encoding)
        encodingTable += char(code);
    std::string privateDict = std::string(1, char(139)) + char(20); // 0 defaultWidthX

    // The top dictionary's size is fixed by its five-byte operands, so the
    // offsets can be laid out before it is written.
    auto topDict = [&](int32_t charsetOffset, int32_t encodingOffset, int32_t charstringsOffset, int32_t privateOffset) {
        std::string dict;
        dict += cffInteger(charsetOffset) + char(15);
        dict += cffInteger(encodingOffset) + char(16);
        dict += cffInteger(charstringsOffset) + char(17);
        dict += cffInteger(int32_t(privateDict.size())) + cffInteger(privateOffset) + char(18);
        return dict;
    };
    size_t topIndexSize = cffIndex({ topDict(0, 0, 0, 0) }).size();
    size_t base = header.size() + names.size() + topIndexSize + stringIndex.size() + globalSubrs.size();
    int32_t charstringsOffset = int32_t(base);
    int32_t charsetOffset = charstringsOffset + int32_t(charstringIndex.size());
    int32_t encodingOffset = charsetOffset + int32_t(charset.size());
    int32_t privateOffset = encodingOffset + int32_t(encodingTable.size());
    std::string top = cffIndex({ topDict(charsetOffset, encodingOffset, charstringsOffset, privateOffset) });
    return header + names + top + stringIndex + globalSubrs + charstringIndex + charset + encodingTable + privateDict;
}

PdfFontPrograms::Type1 PdfFontPrograms::type1(const Encoding& encoding, const std::string& fontName)
{
    std::string clear = fmt::format("%!PS-AdobeFont-1.0: {} 001.000\n"
                                    "11 dict begin\n"
                                    "/FontName /{} def\n"
                                    "/PaintType 0 def\n"
                                    "/FontType 1 def\n"
                                    "/FontMatrix [0.001 0 0 0.001 0 0] readonly def\n"
                                    "/FontBBox {{0 -250 1000 750}} readonly def\n"
                                    "/Encoding 256 array\n"
                                    "0 1 255 {{1 index exch /.notdef put}} for\n",
        fontName, fontName);
    for (const auto& [code, name] : encoding)
        clear += fmt::format("dup {} /{} put\n", code, name);
    clear += "readonly def\ncurrentdict end\ncurrentfile eexec\n";

    const std::string charstring = emptyCharstring();
    std::string priv("\0\0\0\0", 4);
    priv += "dup /Private 8 dict dup begin\n"
            "/RD {string currentfile exch readstring pop} executeonly def\n"
            "/ND {noaccess def} executeonly def\n"
            "/NP {noaccess put} executeonly def\n"
            "/BlueValues [] def\n"
            "/MinFeature {16 16} def\n"
            "/password 5839 def\n";
    priv += fmt::format("2 index /CharStrings {} dict dup begin\n", encoding.size() + 1);
    auto glyph = [&](const std::string& name) {
        priv += fmt::format("/{} {} RD ", name, charstring.size());
        priv += charstring;
        priv += " ND\n";
    };
    glyph(".notdef");
    for (const auto& [code, name] : encoding)
        glyph(name);
    priv += "end\nend\nreadonly put\nnoaccess put\ndup /FontName get exch definefont pop\n"
            "mark currentfile closefile\n";

    std::string trailer;
    for (int line = 0; line < 8; ++line)
        trailer += std::string(64, '0') + "\n";
    trailer += "cleartomark\n";

    Type1 result;
    std::string secret = encrypted(priv, 55665);
    result.bytes = clear + secret + trailer;
    result.length1 = clear.size();
    result.length2 = secret.size();
    result.length3 = trailer.size();
    return result;
}

} // namespace test
