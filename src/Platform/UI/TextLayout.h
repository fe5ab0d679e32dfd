#pragma once

// Word wrapping of a paragraph from a table of the font's code-point
// advances, as the text engine's word wrap breaks it but in one pass: each
// width is added once instead of measuring every growing prefix of the line.
// A large text view counts its lines with it on a worker and draws the
// lines it gives, so drawing and counting always agree.
//
// Advances come from the engine (any thread may fill the table); with the
// deterministic engine the lines equal the engine's linesOfString.

#include "Platform/Graphics/Font.h"

#include <atomic>
#include <functional>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace gfx {
class TextEngine;
}

namespace ui {

class TextLayout {
public:
    // [start, end) in bytes of the paragraph.
    using Span = std::pair<size_t, size_t>;

    // One table per font, shared by every view and worker using that font.
    static std::shared_ptr<const TextLayout> forFont(const gfx::Font& font);
    explicit TextLayout(const gfx::Font& font);

    const gfx::Font& font() const { return m_font; }
    // The lines of `paragraph` (no line end in it) wrapped at `width`; one
    // empty line for an empty paragraph.
    std::vector<Span> lines(std::string_view paragraph, float width) const;
    size_t lineCount(std::string_view paragraph, float width) const;
    // Calls `visit(start, end)` for each line of `paragraph` in turn until
    // it answers false. Wrapping may begin at any line's start: the lines
    // from there are the same.
    void forEachLine(std::string_view paragraph, float width, const std::function<bool(size_t, size_t)>& visit) const;
    // The advance of the code point at `offset` and its length in bytes.
    std::pair<double, size_t> advanceAt(std::string_view text, size_t offset) const;

private:
    template<typename Visit> void wrap(std::string_view text, float width, Visit&& visit) const;
    double measure(char32_t value, bool valid, std::string_view bytes) const;
    // The advances of the 128 ASCII code points, measured all at once the
    // first time any is needed.
    const float* asciiAdvances() const;

    static constexpr size_t TableSize = 0x3000;
    gfx::Font m_font;
    std::weak_ptr<gfx::TextEngine> m_engine; // that measured the table
    // NaN until measured.
    mutable std::unique_ptr<std::atomic<float>[]> m_table;
    mutable std::unique_ptr<std::atomic<float>[]> m_invalid; // lone bytes
    mutable std::mutex m_mutex;
    mutable std::unordered_map<char32_t, float> m_others;
    mutable std::once_flag m_asciiOnce;
    mutable float m_ascii[128] = {};
};

} // namespace ui
