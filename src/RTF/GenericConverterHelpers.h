#pragma once

// Small text helpers that rtf::GenericConverter and its parts share; only
// their files include this header.

#include "Platform/Core/CodePoints.h"
#include "RTF/FontEncodings.h"
#include "RTF/OutputTags.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace rtf::detail {

inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The decimal value at the start of text, as atoi reads it, but saturated at
// the limits of int instead of overflowing.
inline int saturatingAtoi(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > int64_t(INT_MAX) + 1)
            value = int64_t(INT_MAX) + 1;
    }
    if (negative)
        return static_cast<int>(-value);
    return static_cast<int>(std::min<int64_t>(value, INT_MAX));
}

// Attribute kinds.
enum Kind : int {
    Bold = 1,
    Italic = 2,
    Underline = 3,
    DottedUnderline = 4,
    WordUnderline = 5,
    ThickUnderline = 6,
    WaveUnderline = 7,
    DoubleUnderline = 8,
    DashUnderline = 9,
    DashDotUnderline = 10,
    DashDotDotUnderline = 11,
    FontSize = 12,
    FontFace = 14,
    Foreground = 15,
    Background = 16,
    AllCaps = 17,
    SmallCaps = 18,
    Shadow = 19,
    Outline = 20,
    Emboss = 21,
    Engrave = 22,
    Superscript = 23,
    Subscript = 24,
    Strike = 25,
    DoubleStrike = 26,
    LetterSpacing = 27,
};

inline bool isLower(unsigned char c)
{
    return c >= 'a' && c <= 'z';
}

inline unsigned char toUpper(unsigned char c)
{
    return isLower(c) ? static_cast<unsigned char>(c - 32) : c;
}

inline bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

// A tag with one integer filled in.
inline std::string formatted(const char* format, int value)
{
    if (!format)
        return {};
    char buffer[256];
    int length = std::snprintf(buffer, sizeof buffer, format, value);
    if (length <= 0)
        return {};
    return std::string(buffer, std::min<size_t>(static_cast<size_t>(length), sizeof buffer - 1));
}

inline bool isHexDigit(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The value of a hexadecimal digit.
inline int hexValue(char c)
{
    int lower = (c >= 'A' && c <= 'Z') ? c + 32 : static_cast<unsigned char>(c);
    return lower <= '9' ? lower - 48 : lower - 87;
}

// Adds to a character count without overflowing on absurd runs.
inline int counted(int count, size_t more)
{
    return static_cast<int>(std::min<int64_t>(int64_t(count) + int64_t(std::min<size_t>(more, INT_MAX)), INT_MAX / 2));
}

inline bool isBlank(std::string_view text)
{
    return text.find_first_not_of(' ') == std::string_view::npos;
}

// Appends text that comes from the document: & < > " escaped, control
// characters dropped, and bytes beyond ASCII kept only when they are
// known to be UTF-8.
inline void appendEscaped(std::string& out, std::string_view text, bool utf8)
{
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"')
            out += "&quot;";
        else if ((c >= 32 && c <= 126) || (utf8 && c >= 128))
            out += ch;
    }
}

// The HTML of a byte under a symbol font: its character, escaped, or
// nothing.
inline std::string symbolHTML(SymbolEncoding encoding, int byte)
{
    std::string html;
    if (char32_t character = symbolCharacter(encoding, byte)) {
        std::string utf8;
        core::appendCodePoint(utf8, character);
        appendEscaped(html, utf8, true);
    }
    return html;
}

} // namespace rtf::detail
