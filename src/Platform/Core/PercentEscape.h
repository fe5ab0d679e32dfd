#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace core {

// The characters a URL component may hold as they are (RFC 3986). The same
// sets decide what percentEscape() leaves alone and what URL::parse() accepts.
enum class EscapeSet {
    // Only the unreserved characters (letters, digits, "-._~"): one value
    // inside a query, a single path segment, an OAuth parameter.
    Component,
    // Unreserved, sub-delimiters "!$&'()*+,;=", ":", "@" and "/": a path.
    Path,
    // Path plus "?": a query or fragment; also the device's plain escaping of
    // text for a URL, which leaves "&", "=", "+" and the like alone.
    Query,
    // Unreserved, sub-delimiters and ":": the user and password.
    UserInfo,
    // Unreserved and sub-delimiters: a host name.
    Host,
};

namespace detail {
// For each byte, one bit per EscapeSet that lets it through unescaped.
extern const std::array<uint8_t, 256> urlCharacterSets;
}

// Whether the byte may stand unescaped in a component of that kind. Inline:
// URL parsing asks it of every byte of every request target.
inline bool isURLCharacter(unsigned char c, EscapeSet set)
{
    return detail::urlCharacterSets[c] & (1u << static_cast<unsigned>(set));
}

// The UTF-8 text with every byte outside the set written as "%XX" (upper-case
// hex): percentEscape("a b/é%#") is "a%20b/%C3%A9%25%23".
std::string percentEscape(std::string_view text, EscapeSet allowed = EscapeSet::Path);

// The text with each "%XX" replaced by its byte; nothing when a "%" is not
// followed by two hex digits or the result is not valid UTF-8.
std::optional<std::string> percentUnescape(std::string_view text);

// As percentUnescape(), but the bytes need not be UTF-8: file names may hold
// any bytes, and a path must come back exactly as it was escaped.
std::optional<std::string> percentUnescapeBytes(std::string_view text);

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or
// code points above U+10FFFF).
bool isValidUTF8(std::string_view text);

} // namespace core
