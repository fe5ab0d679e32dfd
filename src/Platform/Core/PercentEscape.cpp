#include "Platform/Core/PercentEscape.h"

#include "Platform/Core/ASCII.h"

#include "Platform/Core/UTF8.h"

#include <array>
#include <cstdint>

namespace core {

namespace {

// One bit per set that lets the byte through unescaped.
constexpr uint8_t bit(EscapeSet set) { return uint8_t(1u << static_cast<unsigned>(set)); }

constexpr std::array<uint8_t, 256> makeTable()
{
    std::array<uint8_t, 256> table {};
    const uint8_t all = bit(EscapeSet::Component) | bit(EscapeSet::Path) | bit(EscapeSet::Query)
        | bit(EscapeSet::UserInfo) | bit(EscapeSet::Host);
    const auto mark = [&table](std::string_view chars, uint8_t sets) {
        for (char c : chars)
            table[static_cast<unsigned char>(c)] |= sets;
    };
    for (int c = 'a'; c <= 'z'; ++c)
        table[c] = all;
    for (int c = 'A'; c <= 'Z'; ++c)
        table[c] = all;
    for (int c = '0'; c <= '9'; ++c)
        table[c] = all;
    mark("-._~", all);
    mark("!$&'()*+,;=", bit(EscapeSet::Path) | bit(EscapeSet::Query) | bit(EscapeSet::UserInfo) | bit(EscapeSet::Host));
    mark(":", bit(EscapeSet::Path) | bit(EscapeSet::Query) | bit(EscapeSet::UserInfo));
    mark("@/", bit(EscapeSet::Path) | bit(EscapeSet::Query));
    mark("?", bit(EscapeSet::Query));
    return table;
}

} // namespace

const std::array<uint8_t, 256> detail::urlCharacterSets = makeTable();

std::string percentEscape(std::string_view text, EscapeSet allowed)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (isURLCharacter(byte, allowed)) {
            result += c;
        } else {
            result += '%';
            result += digits[byte >> 4];
            result += digits[byte & 0xF];
        }
    }
    return result;
}

std::optional<std::string> percentUnescapeBytes(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            result += text[i];
            continue;
        }
        if (text.size() - i < 3)
            return std::nullopt;
        const int high = core::ascii::hexDigitValue(text[i + 1]);
        const int low = core::ascii::hexDigitValue(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        result += static_cast<char>(high << 4 | low);
        i += 2;
    }
    return result;
}

std::optional<std::string> percentUnescape(std::string_view text)
{
    auto result = percentUnescapeBytes(text);
    if (result && !isValidUTF8(*result))
        return std::nullopt;
    return result;
}

bool isValidUTF8(std::string_view text)
{
    return utf8::isValid(text);
}

} // namespace core
