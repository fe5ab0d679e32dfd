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

namespace core {

// UTF-8 to UTF-16 and back, for the modules that count in UTF-16 units
// (regular expressions, PDF page text). Ill-formed input never fails: each
// byte outside a well-formed sequence, and each lone surrogate, becomes U+FFFD.
std::u16string toUTF16(std::string_view text);
std::string toUTF8(std::u16string_view text);

} // namespace core
