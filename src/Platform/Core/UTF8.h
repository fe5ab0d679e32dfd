#pragma once

#include <string>
#include <string_view>

namespace core::utf8 {

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or
// code points past U+10FFFF).
bool isValid(std::string_view text);

// The text with every byte that does not belong to a well-formed sequence
// replaced by U+FFFD; valid text comes back unchanged.
std::string sanitized(std::string_view text);

} // namespace core::utf8
