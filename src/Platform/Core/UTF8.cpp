#include "Platform/Core/UTF8.h"

#include "Platform/Core/CodePoints.h"

#include <cstdint>

namespace core::utf8 {

bool isValid(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        // ASCII runs are the common case: skip them without decoding.
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        CodePoint point = decodeCodePoint(text, i);
        if (!point.valid)
            return false;
        i += point.length;
    }
    return true;
}

std::string sanitized(std::string_view text)
{
    if (isValid(text))
        return std::string(text);
    std::string result;
    result.reserve(text.size() + 8);
    forEachCodePoint(text, [&](CodePoint point, size_t offset) {
        if (point.valid)
            result.append(text.substr(offset, point.length));
        else
            result += "\xEF\xBF\xBD";
    });
    return result;
}

} // namespace core::utf8

namespace core {

std::u16string toUTF16(std::string_view text)
{
    std::u16string result;
    result.reserve(text.size());
    forEachCodePoint(text, [&](CodePoint point, size_t) {
        char32_t code = point.valid ? point.value : 0xFFFD;
        if (code >= 0x10000) {
            code -= 0x10000;
            result += static_cast<char16_t>(0xD800 + (code >> 10));
            result += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            result += static_cast<char16_t>(code);
        }
    });
    return result;
}

std::string toUTF8(std::u16string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        // Lone surrogates come out as U+FFFD.
        appendCodePoint(result, code);
    }
    return result;
}

} // namespace core
