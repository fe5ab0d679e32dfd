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
