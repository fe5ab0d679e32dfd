#include "Platform/Web/PageMessage.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace web {

namespace {

std::optional<double> number(const core::Value& message, std::string_view key, double low, double high)
{
    const core::Value& value = message[key];
    if (!value.isNumber())
        return std::nullopt;
    double result = value.toReal();
    if (!std::isfinite(result))
        return std::nullopt;
    return std::clamp(result, low, high);
}

std::optional<std::string> text(const core::Value& message, std::string_view key)
{
    const core::Value& value = message[key];
    if (!value.isString())
        return std::nullopt;
    return PageMessage::boundedText(value.string());
}

} // namespace

std::string PageMessage::boundedText(std::string_view text)
{
    if (text.size() <= MaximumTextLength)
        return std::string(text);
    size_t end = MaximumTextLength;
    // Step back over continuation bytes to the start of the cut sequence.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return std::string(text.substr(0, end));
}

std::optional<PageMessage::Content> PageMessage::parse(const core::Value& message)
{
    if (!message.isDictionary() || !message["kind"].isString())
        return std::nullopt;
    const std::string& kind = message["kind"].string();
    if (kind == "metrics") {
        auto x = number(message, "x", 0, MaximumCoordinate);
        auto y = number(message, "y", 0, MaximumCoordinate);
        auto width = number(message, "width", 0, MaximumCoordinate);
        auto height = number(message, "height", 0, MaximumCoordinate);
        auto viewportWidth = number(message, "viewportWidth", 0, MaximumCoordinate);
        auto viewportHeight = number(message, "viewportHeight", 0, MaximumCoordinate);
        if (!x || !y || !width || !height || !viewportWidth || !viewportHeight)
            return std::nullopt;
        return PageMetrics { *x, *y, *width, *height, *viewportWidth, *viewportHeight };
    }
    if (kind == "error") {
        auto errorMessage = text(message, "message");
        auto source = text(message, "source");
        auto line = number(message, "line", 0, std::numeric_limits<int>::max());
        if (!errorMessage || !source || !line)
            return std::nullopt;
        return PageScriptError { *errorMessage, *source, int(*line) };
    }
    if (kind == "focus") {
        const core::Value& editable = message["editable"];
        if (!editable.isBool())
            return std::nullopt;
        return PageEditingFocus { editable.boolean() };
    }
    return std::nullopt;
}

} // namespace web
