#include "Kit/StringIconvEncoding.h"

#include "Platform/Core/CodePoints.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/PercentEscape.h"
#include "Platform/Core/TextConverter.h"

#include <algorithm>

// glibc passes code points past U+10FFFF through its UTF-8 and UCS-4
// "conversions"; such bytes count as invalid input. The converters write
// every other code point in its proper form, and forms past U+10FFFF and
// surrogates have lead bytes from 0xED up, so text without such bytes (all
// Latin and most CJK output) needs no byte-by-byte check.
bool mayBeIllFormedUTF8(std::string_view text)
{
    unsigned char highest = 0;
    for (char c : text)
        highest = std::max(highest, static_cast<unsigned char>(c));
    return highest >= 0xED && !core::isValidUTF8(text);
}

size_t dropInvalidUTF8(std::string& text)
{
    std::string clean;
    clean.reserve(text.size());
    size_t dropped = 0;
    core::forEachCodePoint(text, [&](const core::CodePoint& point, size_t offset) {
        if (point.valid)
            clean.append(text, offset, point.length);
        else
            ++dropped;
    });
    text = std::move(clean);
    return dropped;
}

std::optional<std::string> stringWithData(const core::Data& data, std::string_view iconvEncoding,
    bool allowLossyConversion)
{
    if (data.empty())
        return std::string();
    core::TextConverter converter = core::TextConverter::toUTF8(iconvEncoding);
    if (!converter)
        return std::nullopt;
    core::TextConverter::Conversion conversion = converter.convertAll(data.view(), allowLossyConversion);
    std::string text;
    size_t dropped = 0;
    if (conversion.status == core::TextConverter::Status::Ok) {
        text = std::move(conversion.text);
        dropped = conversion.dropped;
        if (mayBeIllFormedUTF8(text)) {
            if (allowLossyConversion)
                dropped += dropInvalidUTF8(text);
            else
                text.clear();
        }
    }
    if (text.empty()) {
        core::log("Warning, failed to convert from {}", iconvEncoding);
        return std::nullopt;
    }
    if (dropped)
        core::log("Warning, multi-byte error converting from: {}", iconvEncoding);
    return text;
}

std::optional<std::string> stringWithContentsOfFile(const std::string& path, std::string_view iconvEncoding)
{
    core::Data contents;
    if (!core::fs::readFile(path, contents))
        return std::nullopt;
    return stringWithData(contents, iconvEncoding);
}
