#include "Platform/Core/UTF8.h"

#include <cstdint>

namespace core::utf8 {

namespace {

// Length of the well-formed sequence at `i`, or 0 when the byte there does
// not start one (bounds of the second byte as in RFC 3629's table).
size_t sequenceLength(std::string_view text, size_t i)
{
    auto at = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    uint8_t lead = at(i);
    if (lead < 0x80)
        return 1;
    size_t length;
    uint8_t low = 0x80;
    uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - i < length)
        return 0;
    if (at(i + 1) < low || at(i + 1) > high)
        return 0;
    for (size_t k = 2; k < length; ++k) {
        if (at(i + k) < 0x80 || at(i + k) > 0xBF)
            return 0;
    }
    return length;
}

} // namespace

bool isValid(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        size_t length = sequenceLength(text, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string sanitized(std::string_view text)
{
    if (isValid(text))
        return std::string(text);
    std::string result;
    result.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size();) {
        size_t length = sequenceLength(text, i);
        if (length == 0) {
            result += "\xEF\xBF\xBD";
            ++i;
        } else {
            result.append(text.substr(i, length));
            i += length;
        }
    }
    return result;
}

} // namespace core::utf8

namespace core {

std::u16string toUTF16(std::string_view text)
{
    std::u16string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        size_t length = utf8::sequenceLength(text, i);
        if (length == 0) {
            result += u'\uFFFD';
            ++i;
            continue;
        }
        auto byte = [&](size_t k) { return static_cast<uint32_t>(static_cast<uint8_t>(text[i + k])); };
        uint32_t code;
        switch (length) {
        case 1:
            code = byte(0);
            break;
        case 2:
            code = ((byte(0) & 0x1F) << 6) | (byte(1) & 0x3F);
            break;
        case 3:
            code = ((byte(0) & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
            break;
        default:
            code = ((byte(0) & 0x07) << 18) | ((byte(1) & 0x3F) << 12) | ((byte(2) & 0x3F) << 6) | (byte(3) & 0x3F);
            break;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            result += static_cast<char16_t>(0xD800 + (code >> 10));
            result += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            result += static_cast<char16_t>(code);
        }
        i += length;
    }
    return result;
}

std::string toUTF8(std::u16string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            result += static_cast<char>(code);
        } else if (code < 0x800) {
            result += static_cast<char>(0xC0 | (code >> 6));
            result += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            result += static_cast<char>(0xE0 | (code >> 12));
            result += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            result += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            result += static_cast<char>(0xF0 | (code >> 18));
            result += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            result += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            result += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return result;
}

} // namespace core
