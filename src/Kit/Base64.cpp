#include "Kit/Base64.h"

#include <array>
#include <cstdint>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two output characters for each 12 bits of input, so a group of three bytes
// costs two lookups.
struct PairTable {
    std::array<uint16_t, 4096> pairs {};
    constexpr PairTable()
    {
        for (unsigned i = 0; i < 4096; ++i) {
            auto first = static_cast<uint8_t>(kAlphabet[i >> 6]);
            auto second = static_cast<uint8_t>(kAlphabet[i & 63]);
            // Stored in memory order: first character at the lower address.
            pairs[i] = static_cast<uint16_t>(first | second << 8);
        }
    }
};
constexpr PairTable kPairs;

constexpr uint8_t kSkip = 0xFF;

constexpr std::array<uint8_t, 256> makeDecodeTable()
{
    std::array<uint8_t, 256> table {};
    for (auto& entry : table)
        entry = kSkip;
    for (uint8_t i = 0; i < 64; ++i)
        table[static_cast<uint8_t>(kAlphabet[i])] = i;
    return table;
}
constexpr std::array<uint8_t, 256> kDecode = makeDecodeTable();

inline void putPair(char* out, unsigned index)
{
    uint16_t pair = kPairs.pairs[index];
    out[0] = static_cast<char>(pair & 0xFF);
    out[1] = static_cast<char>(pair >> 8);
}

// Encodes whole groups of three bytes; returns the characters written.
size_t encodeGroups(const uint8_t* in, size_t groups, char* out)
{
    for (size_t g = 0; g < groups; ++g, in += 3, out += 4) {
        uint32_t bits = static_cast<uint32_t>(in[0]) << 16 | static_cast<uint32_t>(in[1]) << 8 | in[2];
        putPair(out, bits >> 12);
        putPair(out + 2, bits & 0xFFF);
    }
    return groups * 4;
}

} // namespace

std::string NewBase64Encode(const void* bytes, size_t length, bool separateLines)
{
    constexpr size_t kLineBytes = 48;
    const auto* in = static_cast<const uint8_t*>(bytes);
    size_t characters = (length / 3 + (length % 3 ? 1 : 0)) * 4;
    size_t lines = length / kLineBytes + (length % kLineBytes ? 1 : 0);
    size_t breaks = separateLines && lines > 1 ? (lines - 1) * 2 : 0;
    std::string text(characters + breaks, '\0');
    char* out = text.data();

    size_t whole = length - length % 3;
    size_t done = 0;
    if (separateLines) {
        while (whole - done > kLineBytes) {
            out += encodeGroups(in + done, kLineBytes / 3, out);
            done += kLineBytes;
            *out++ = '\r';
            *out++ = '\n';
        }
        // The last whole groups of a full final line, when the input ends
        // exactly at a line end, get no break after them.
    }
    out += encodeGroups(in + done, (whole - done) / 3, out);
    done = whole;

    size_t rest = length - done;
    if (rest) {
        uint32_t bits = static_cast<uint32_t>(in[done]) << 16;
        if (rest == 2)
            bits |= static_cast<uint32_t>(in[done + 1]) << 8;
        if (separateLines && done % kLineBytes == 0 && done > 0) {
            *out++ = '\r';
            *out++ = '\n';
        }
        *out++ = kAlphabet[bits >> 18];
        *out++ = kAlphabet[(bits >> 12) & 63];
        *out++ = rest == 2 ? kAlphabet[(bits >> 6) & 63] : '=';
        *out++ = '=';
    }
    text.resize(static_cast<size_t>(out - text.data()));
    return text;
}

std::string NewBase64Decode(std::string_view text)
{
    std::string bytes((text.size() / 4 + (text.size() % 4 ? 1 : 0)) * 3, '\0');
    auto* out = reinterpret_cast<uint8_t*>(bytes.data());
    const auto* in = reinterpret_cast<const uint8_t*>(text.data());
    const size_t size = text.size();
    uint32_t bits = 0;
    int count = 0;
    size_t i = 0;
    // Whole groups of four alphabet characters in a row take the quick path.
    while (i < size) {
        if (count == 0 && size - i >= 4) {
            uint8_t a = kDecode[in[i]], b = kDecode[in[i + 1]], c = kDecode[in[i + 2]], d = kDecode[in[i + 3]];
            if (((a | b | c | d) & 0xC0) == 0) {
                uint32_t group = static_cast<uint32_t>(a) << 18 | static_cast<uint32_t>(b) << 12
                    | static_cast<uint32_t>(c) << 6 | d;
                out[0] = static_cast<uint8_t>(group >> 16);
                out[1] = static_cast<uint8_t>(group >> 8);
                out[2] = static_cast<uint8_t>(group);
                out += 3;
                i += 4;
                continue;
            }
        }
        uint8_t value = kDecode[in[i++]];
        if (value == kSkip)
            continue;
        bits = bits << 6 | value;
        if (++count == 4) {
            out[0] = static_cast<uint8_t>(bits >> 16);
            out[1] = static_cast<uint8_t>(bits >> 8);
            out[2] = static_cast<uint8_t>(bits);
            out += 3;
            bits = 0;
            count = 0;
        }
    }
    if (count == 2) {
        *out++ = static_cast<uint8_t>(bits >> 4);
    } else if (count == 3) {
        *out++ = static_cast<uint8_t>(bits >> 10);
        *out++ = static_cast<uint8_t>(bits >> 2);
    }
    bytes.resize(static_cast<size_t>(out - reinterpret_cast<uint8_t*>(bytes.data())));
    return bytes;
}
