#pragma once

// What the web view's own script in the page (a script world the page's
// scripts cannot reach) reports: where the page is scrolled and how large it
// is, in CSS pixels, and the page's uncaught script errors. The page still
// controls the values, so they are read as untrusted: numbers must be
// finite and are clamped, texts are cut at 4 KiB (on a character boundary),
// anything malformed is dropped.

#include "Platform/Core/Value.h"

#include <optional>
#include <string>
#include <variant>

namespace web {

struct PageMetrics {
    double scrollX = 0;
    double scrollY = 0;
    double contentWidth = 0;
    double contentHeight = 0;
    double viewportWidth = 0;
    double viewportHeight = 0;

    bool operator==(const PageMetrics&) const = default;
};

struct PageScriptError {
    std::string message;
    std::string sourceURL;
    int line = 0;

    bool operator==(const PageScriptError&) const = default;
};

// A field that takes typing (a text input, a text area, a list, editable
// content) gained or lost the focus.
struct PageEditingFocus {
    bool editing = false;

    bool operator==(const PageEditingFocus&) const = default;
};

class PageMessage {
public:
    static constexpr size_t MaximumTextLength = 4096;
    // Page sizes and offsets beyond this many CSS pixels are held at it.
    static constexpr double MaximumCoordinate = 10'000'000;

    using Content = std::variant<PageMetrics, PageScriptError, PageEditingFocus>;

    // A message as the view's script posts it: a dictionary with "kind"
    // ("metrics": x, y, width, height, viewportWidth, viewportHeight;
    // "error": message, source, line; "focus": editable, a boolean).
    // Nothing for anything else.
    static std::optional<Content> parse(const core::Value& message);
    // `text` cut to at most MaximumTextLength bytes without splitting a
    // UTF-8 sequence.
    static std::string boundedText(std::string_view text);
};

} // namespace web
