#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Base64 with the standard alphabet and "=" padding (RFC 4648), as the HTTP
// server's authentication, the cloud client and the string and data
// additions use it.

// The Base64 text of the bytes. With line breaks, a CR LF follows every full
// line of 64 characters (48 bytes) except the last line.
std::string NewBase64Encode(const void* bytes, size_t length, bool separateLines);
inline std::string NewBase64Encode(std::string_view bytes, bool separateLines)
{
    return NewBase64Encode(bytes.data(), bytes.size(), separateLines);
}

// The bytes of Base64 text. Every character outside the alphabet (padding,
// white space, line ends, anything else) is skipped wherever it stands; four
// alphabet characters give three bytes, a final two or three give one or
// two, a final single one gives nothing.
std::string NewBase64Decode(std::string_view text);
