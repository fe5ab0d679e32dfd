#pragma once

#include <string>
#include <string_view>

// Byte-wise text helpers for protocol text (header names and values, media
// types, schemes, host names), where only ASCII letters have a case and
// whitespace is spaces and tabs. Never for the user's texts.
namespace core::ascii {

std::string lowercased(std::string_view text);
bool equalIgnoringCase(std::string_view a, std::string_view b);
// Without leading and trailing spaces and tabs.
std::string_view trimmed(std::string_view text);
// The value of a hexadecimal digit (either case), -1 for any other byte.
// Inline: content streams ask it for every digit of their hex strings.
constexpr int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace core::ascii
