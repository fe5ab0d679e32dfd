#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace core {

// One step through UTF-8 text that may not be well-formed: text from files,
// the network and file names. A byte that does not start a well-formed
// sequence (stray continuation, overlong form, surrogate, beyond U+10FFFF,
// cut short) is one step of length 1 marked invalid, so that widths, cuts
// and escapes always move by whole code points and never split one.
struct CodePoint {
    char32_t value = 0; // the code point, or the lone byte when invalid
    uint8_t length = 1; // bytes it takes
    bool valid = true;
};

inline CodePoint decodeCodePoint(std::string_view text, size_t offset)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data()) + offset;
    const size_t left = text.size() - offset;
    const unsigned char lead = bytes[0];
    if (lead < 0x80)
        return { lead, 1, true };
    size_t length;
    char32_t value;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        return { lead, 1, false };
    }
    if (left < length)
        return { lead, 1, false };
    for (size_t k = 1; k < length; ++k) {
        if ((bytes[k] & 0xC0) != 0x80)
            return { lead, 1, false };
        value = value << 6 | (bytes[k] & 0x3F);
    }
    if ((length == 3 && value < 0x800) || (length == 4 && value < 0x10000) || (value >= 0xD800 && value <= 0xDFFF)
        || value > 0x10FFFF)
        return { lead, 1, false };
    return { value, static_cast<uint8_t>(length), true };
}

// Calls `visit(CodePoint, offset)` for each step through the text.
template<typename Visit>
void forEachCodePoint(std::string_view text, Visit&& visit)
{
    for (size_t offset = 0; offset < text.size();) {
        CodePoint point = decodeCodePoint(text, offset);
        visit(point, offset);
        offset += point.length;
    }
}

// Appends the UTF-8 form of a code point (surrogates and values beyond
// U+10FFFF become U+FFFD).
inline void appendCodePoint(std::string& out, char32_t c)
{
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
        c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace core
