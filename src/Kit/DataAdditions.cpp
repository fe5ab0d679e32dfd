#include "Kit/DataAdditions.h"

#include "Kit/Base64.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/PercentEscape.h"

#include <cstring>

std::string vkStringByEncodingBase64WithLineBreaks(const core::Data& data, bool lineBreaks)
{
    return NewBase64Encode(data.bytes(), data.size(), lineBreaks);
}

std::string vkStringByEncodingBase64(const core::Data& data)
{
    return vkStringByEncodingBase64WithLineBreaks(data, true);
}

std::string vkHexRepresentation(const core::Data& data)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text(data.size() * 2, '\0');
    const uint8_t* bytes = data.bytes();
    for (size_t i = 0; i < data.size(); ++i) {
        text[2 * i] = digits[bytes[i] >> 4];
        text[2 * i + 1] = digits[bytes[i] & 0xF];
    }
    return text;
}

std::optional<std::string> vkUTF8String(const core::Data& data)
{
    if (!core::isValidUTF8(data.view()))
        return std::nullopt;
    return data.toString();
}

core::Range vkRangeOfData(const core::Data& data, const core::Data& pattern, core::Range range)
{
    if (pattern.empty())
        return {};
    if (range.location > data.size() || range.length > data.size() - range.location)
        throw core::Exception(core::Exception::RangeError, "-[NSData rangeOfData:range: passed incorrect searchRange]");
    if (pattern.size() > range.length)
        return {};
    // glibc's memmem is linear in the haystack, and answers the first match
    // as a byte-by-byte scan would.
    const void* found = memmem(data.bytes() + range.location, range.length, pattern.bytes(), pattern.size());
    if (!found)
        return {};
    return { static_cast<size_t>(static_cast<const uint8_t*>(found) - data.bytes()), pattern.size() };
}

core::Range vkRangeOfData(const core::Data& data, const core::Data& pattern)
{
    return vkRangeOfData(data, pattern, { 0, data.size() });
}
