#include "Platform/UI/TextLayout.h"

#include "Platform/Core/CodePoints.h"
#include "Platform/Graphics/TextEngine.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <cstring>
#include <limits>
#include <map>

namespace ui {

namespace {

inline bool isSpace(char c)
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
    // A new engine may sit where a freed one was.
    if (!layout || layout->m_engine.lock() != engine) {
        layout = std::make_shared<const TextLayout>(font);
        slot = layout;
    }
    // The last few fonts stay measured while nobody holds them: a viewer
    // opened again, or a size stepped back, finds its table.
    static std::deque<std::shared_ptr<const TextLayout>> recent;
    if (recent.empty() || recent.front() != layout) {
        recent.erase(std::remove(recent.begin(), recent.end(), layout), recent.end());
        recent.push_front(layout);
        if (recent.size() > 8)
            recent.pop_back();
    }
    return layout;
}

TextLayout::TextLayout(const gfx::Font& font)
    : m_font(font)
    , m_engine(gfx::textEngine())
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

const float* TextLayout::asciiAdvances() const
{
    std::call_once(m_asciiOnce, [this] {
        for (char32_t c = 0; c < 128; ++c) {
            char byte = char(c);
            m_ascii[c] = float(measure(c, true, std::string_view(&byte, 1)));
        }
    });
    return m_ascii;
}

std::pair<double, size_t> TextLayout::advanceAt(std::string_view text, size_t offset) const
{
    unsigned char byte = static_cast<unsigned char>(text[offset]);
    if (byte < 0x80)
        return { asciiAdvances()[byte], 1 };
    core::CodePoint point = core::decodeCodePoint(text, offset);
    return { measure(point.value, point.valid, text.substr(offset, point.length)), point.length };
}

// The engine's word wrap: words (runs without spaces or tabs) are added while
// the line from its start to the word's end fits; a line whose first word
// does not fit breaks within it, at the last code point that fits (at least
// one); spaces after a line's end are skipped.
//
// Advances are never negative, so the width from a line's start only grows:
// the line holds the words ending at or before the first code point that no
// longer fits. So each line is one run of additions to that code point and
// a short walk back to the word end before it, instead of a test at every
// word: counting a large text is this loop.
template<typename Visit> void TextLayout::wrap(std::string_view text, float width, Visit&& visit) const
{
    const double limit = std::isfinite(width) && width > 0 ? double(width) : std::numeric_limits<double>::infinity();
    const float fitting = float(limit);
    auto fits = [&](double w) { return float(w) <= fitting; };
    const size_t n = text.size();
    if (n == 0) {
        visit(0, 0);
        return;
    }
    const float* ascii = asciiAdvances();
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t position = 0; position < n;) {
        // The first code point from `position` that does not fit (n when
        // the rest does), eight or four ASCII bytes at a time while they
        // fit (the sums of such advances are exact in double, so grouping
        // them does not change them).
        double w = 0;
        size_t at = position;
        while (at < n) {
            // Runs of other characters (Cyrillic, Greek, CJK) skip the
            // ASCII words.
            if (bytes[at] < 0x80 && at + 8 <= n) {
                uint64_t eight;
                std::memcpy(&eight, bytes + at, 8);
                if ((eight & 0x8080808080808080ull) == 0) {
                    const unsigned char* b = bytes + at;
                    double sum = w + (((double(ascii[b[0]]) + double(ascii[b[1]])) + (double(ascii[b[2]]) + double(ascii[b[3]])))
                                     + ((double(ascii[b[4]]) + double(ascii[b[5]])) + (double(ascii[b[6]]) + double(ascii[b[7]]))));
                    if (fits(sum)) {
                        w = sum;
                        at += 8;
                        continue;
                    }
                }
            }
            if (bytes[at] < 0x80 && at + 4 <= n) {
                uint32_t four;
                std::memcpy(&four, bytes + at, 4);
                if ((four & 0x80808080u) == 0) {
                    double sum = w + ((double(ascii[bytes[at]]) + double(ascii[bytes[at + 1]]))
                                     + (double(ascii[bytes[at + 2]]) + double(ascii[bytes[at + 3]])));
                    if (fits(sum)) {
                        w = sum;
                        at += 4;
                        continue;
                    }
                }
            }
            double advance;
            size_t length = 1;
            if (bytes[at] < 0x80) {
                advance = ascii[bytes[at]];
            } else if (float known; bytes[at] >= 0xC2 && bytes[at] < 0xE0 && at + 1 < n && (bytes[at + 1] & 0xC0) == 0x80
                       && !std::isnan(known = m_table[char32_t(bytes[at] & 0x1F) << 6 | (bytes[at + 1] & 0x3F)].load(
                                          std::memory_order_relaxed))) {
                // Two-byte characters (Cyrillic, Greek, accented Latin)
                // straight from the table once measured.
                advance = known;
                length = 2;
            } else {
                auto measured = advanceAt(text, at);
                advance = measured.first;
                length = measured.second;
            }
            if (!fits(w + advance))
                break;
            w += advance;
            at += length;
        }
        // The end of the last word ending at or before it.
        size_t lineEnd = at;
        if (at < n && !isSpace(text[at])) {
            while (lineEnd > position && !isSpace(text[lineEnd - 1]))
                --lineEnd;
        }
        while (lineEnd > position && isSpace(text[lineEnd - 1]))
            --lineEnd;
        if (lineEnd == position) {
            // The first word is too wide: the code points that fit, at
            // least one.
            lineEnd = at > position ? at : position + advanceAt(text, position).second;
        }
        if (!visit(position, lineEnd))
            return;
        while (lineEnd < n && isSpace(text[lineEnd]))
            ++lineEnd;
        position = lineEnd;
    }
}

std::vector<TextLayout::Span> TextLayout::lines(std::string_view paragraph, float width) const
{
    std::vector<Span> spans;
    wrap(paragraph, width, [&](size_t start, size_t end) {
        spans.emplace_back(start, end);
        return true;
    });
    return spans;
}

void TextLayout::forEachLine(std::string_view paragraph, float width, const std::function<bool(size_t, size_t)>& visit) const
{
    wrap(paragraph, width, visit);
}

size_t TextLayout::lineCount(std::string_view paragraph, float width) const
{
    size_t count = 0;
    wrap(paragraph, width, [&](size_t, size_t) {
        ++count;
        return true;
    });
    return count;
}

} // namespace ui
