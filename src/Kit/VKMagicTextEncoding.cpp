#include "Kit/VKMagicTextEncoding.h"

#include "Kit/StringIconvEncoding.h"
#include "Platform/Core/CodePoints.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace {

// Bytes that occur in plain text: BEL to LF, FF, CR, ESC, the printable
// ASCII range and NEL (0x85). All other bytes count as non-text.
constexpr std::array<bool, 256> makeTextChars()
{
    std::array<bool, 256> table {};
    for (int c = 0x07; c <= 0x0A; ++c)
        table[c] = true;
    table[0x0C] = table[0x0D] = table[0x1B] = true;
    for (int c = 0x20; c <= 0x7E; ++c)
        table[c] = true;
    table[0x85] = true;
    return table;
}
constexpr std::array<bool, 256> kTextChars = makeTextChars();

// The first byte from `i` on that is not printable ASCII, eight bytes at a
// time through the runs of plain text that make up most of a file; every
// byte it passes is a text byte.
size_t skipPrintable(const uint8_t* bytes, size_t n, size_t i)
{
    constexpr uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    while (i + 8 <= n) {
        uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        uint64_t del = word ^ (ones * 0x7F);
        // A byte under 0x20, a DEL or one with its high bit set.
        if (((word - ones * 0x20) & ~word & highs) | ((del - ones) & ~del & highs) | (word & highs))
            return i;
        i += 8;
    }
    return i;
}

bool isAscii(const uint8_t* bytes, size_t n)
{
    for (size_t i = skipPrintable(bytes, n, 0); i < n; i = skipPrintable(bytes, n, i + 1)) {
        if (!kTextChars[bytes[i]])
            return false;
    }
    return true;
}

// Lead bytes up to the old six-byte forms count; the scan stops quietly where
// the data ends inside a sequence. At least one whole multi-byte sequence
// must have been seen.
bool looksUtf8(const uint8_t* bytes, size_t n)
{
    bool sawSequence = false;
    for (size_t i = 0; (i = skipPrintable(bytes, n, i)) < n;) {
        uint8_t c = bytes[i++];
        if (c < 0x80) {
            if (!kTextChars[c])
                return false;
            continue;
        }
        size_t following;
        if ((c & 0xE0) == 0xC0)
            following = 1;
        else if ((c & 0xF0) == 0xE0)
            following = 2;
        else if ((c & 0xF8) == 0xF0)
            following = 3;
        else if ((c & 0xFC) == 0xF8)
            following = 4;
        else if ((c & 0xFE) == 0xFC)
            following = 5;
        else
            return false;
        for (size_t k = 0; k < following; ++k) {
            if (i >= n)
                return sawSequence;
            if ((bytes[i++] & 0xC0) != 0x80)
                return false;
        }
        sawSequence = true;
    }
    return sawSequence;
}

// Units are read from the trimmed length on, taking a unit's second byte
// from the data itself, so a unit whose high byte is zero is still checked;
// an odd last byte of the data is ignored.
const char* utf16Name(const uint8_t* bytes, size_t n, size_t size)
{
    if (n < 2)
        return nullptr;
    bool bigEndian;
    if (bytes[0] == 0xFE && bytes[1] == 0xFF)
        bigEndian = true;
    else if (bytes[0] == 0xFF && bytes[1] == 0xFE)
        bigEndian = false;
    else
        return nullptr;
    for (size_t i = 2; i < n && i + 1 < size; i += 2) {
        unsigned unit = bigEndian ? (bytes[i] << 8 | bytes[i + 1]) : (bytes[i + 1] << 8 | bytes[i]);
        if (unit == 0xFFFE || (unit < 0x80 && !kTextChars[unit]))
            return nullptr;
    }
    return bigEndian ? "UTF-16BE" : "UTF-16LE";
}

} // namespace

std::optional<std::string> VKMagicTextEncoding::magicEncodingForFileData(const core::Data& data,
    std::optional<std::string>* text)
{
    if (data.empty())
        return std::nullopt;
    const uint8_t* bytes = data.bytes();
    size_t n = data.size();
    while (n >= 2 && bytes[n - 1] == 0)
        --n;

    const char* name = nullptr;
    if (isAscii(bytes, n))
        name = "ASCII";
    else if (looksUtf8(bytes, n))
        name = "UTF-8";
    else
        name = utf16Name(bytes, n, data.size());
    if (!name)
        return std::nullopt;

    if (text) {
        // Only ASCII can pass with a single byte left; the byte is its own
        // code point (0x85 is NEL).
        if (n <= 1) {
            std::string single;
            core::appendCodePoint(single, bytes[0]);
            *text = std::move(single);
        }
        else
            *text = stringWithData(data, name);
    }
    return std::string(name);
}
