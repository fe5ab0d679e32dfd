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
int hexDigitValue(char c);

} // namespace core::ascii
