#include "Platform/UI/TextLayout.h"

#include "Platform/Core/CodePoints.h"
#include "Platform/Graphics/TextEngine.h"

#include <cmath>
#include <limits>
#include <map>

namespace ui {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

std::shared_ptr<const TextLayout> TextLayout::forFont(const gfx::Font& font)
{
    // Keyed by the engine too: a new engine measures differently.
    static std::mutex mutex;
    static std::map<std::tuple<const gfx::TextEngine*, std::string, float, bool>, std::weak_ptr<const TextLayout>> layouts;
    auto engine = gfx::textEngine();
    std::lock_guard lock(mutex);
    auto& slot = layouts[{ engine.get(), font.familyName(), font.pointSize(), font.isBold() }];
    auto layout = slot.lock();
    if (!layout) {
        layout = std::make_shared<const TextLayout>(font);
        slot = layout;
    }
    return layout;
}

TextLayout::TextLayout(const gfx::Font& font)
    : m_font(font)
    , m_table(new std::atomic<float>[TableSize])
    , m_invalid(new std::atomic<float>[256])
{
    for (size_t i = 0; i < TableSize; ++i)
        m_table[i].store(NAN, std::memory_order_relaxed);
    for (size_t i = 0; i < 256; ++i)
        m_invalid[i].store(NAN, std::memory_order_relaxed);
}

double TextLayout::measure(char32_t value, bool valid, std::string_view bytes) const
{
    std::atomic<float>* slot = !valid ? &m_invalid[value & 0xFF] : value < TableSize ? &m_table[value] : nullptr;
    if (slot) {
        float known = slot->load(std::memory_order_relaxed);
        if (!std::isnan(known))
            return known;
        float width = gfx::textEngine()->widthOfString(bytes, m_font);
        slot->store(width, std::memory_order_relaxed);
        return width;
    }
    {
        std::lock_guard lock(m_mutex);
        if (auto found = m_others.find(value); found != m_others.end())
            return found->second;
    }
    float width = gfx::textEngine()->widthOfString(bytes, m_font);
    std::lock_guard lock(m_mutex);
    m_others.emplace(value, width);
    return width;
}

std::pair<double, size_t> TextLayout::advanceAt(std::string_view text, size_t offset) const
{
    unsigned char byte = static_cast<unsigned char>(text[offset]);
    if (byte < 0x80) {
        float known = m_table[byte].load(std::memory_order_relaxed);
        return { std::isnan(known) ? measure(byte, true, text.substr(offset, 1)) : double(known), 1 };
    }
    core::CodePoint point = core::decodeCodePoint(text, offset);
    return { measure(point.value, point.valid, text.substr(offset, point.length)), point.length };
}

// The engine's word wrap: words (runs without spaces or tabs) are added while
// the line from its start to the word's end fits; a line whose first word
// does not fit breaks within it, at the last code point that fits (at least
// one); spaces after a line's end are skipped.
template<typename Visit> void TextLayout::wrap(std::string_view text, float width, Visit&& visit) const
{
    const double limit = std::isfinite(width) && width > 0 ? double(width) : std::numeric_limits<double>::infinity();
    auto fits = [&](double w) { return float(w) <= float(limit); };
    const size_t n = text.size();
    if (n == 0) {
        visit(0, 0);
        return;
    }
    auto skipSpaces = [&](size_t at) {
        while (at < n && isSpace(text[at]))
            ++at;
        return at;
    };
    for (size_t position = 0; position < n;) {
        size_t lineEnd = position;
        double accumulated = 0; // the width from the line's start to the cursor
        for (size_t cursor = position; cursor < n;) {
            size_t wordEnd = cursor;
            double w = accumulated;
            while (wordEnd < n && !isSpace(text[wordEnd])) {
                auto [advance, length] = advanceAt(text, wordEnd);
                w += advance;
                wordEnd += length;
            }
            if (!fits(w))
                break;
            lineEnd = wordEnd;
            while (wordEnd < n && isSpace(text[wordEnd])) {
                w += advanceAt(text, wordEnd).first;
                ++wordEnd;
            }
            accumulated = w;
            cursor = wordEnd;
        }
        if (lineEnd == position) {
            // The first word is too wide: as many code points as fit.
            double w = 0;
            size_t end = position;
            while (end < n) {
                auto [advance, length] = advanceAt(text, end);
                if (end > position && !fits(w + advance))
                    break;
                w += advance;
                end += length;
            }
            lineEnd = end;
        }
        visit(position, lineEnd);
        position = skipSpaces(lineEnd);
    }
}

std::vector<TextLayout::Span> TextLayout::lines(std::string_view paragraph, float width) const
{
    std::vector<Span> spans;
    wrap(paragraph, width, [&](size_t start, size_t end) { spans.emplace_back(start, end); });
    return spans;
}

size_t TextLayout::lineCount(std::string_view paragraph, float width) const
{
    size_t count = 0;
    wrap(paragraph, width, [&](size_t, size_t) { ++count; });
    return count;
}

} // namespace ui
