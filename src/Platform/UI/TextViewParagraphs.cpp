#include "Platform/UI/TextViewParagraphs.h"

#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/TextView.h"

#include <algorithm>
#include <cmath>

namespace ui {

TextViewParagraphs::TextViewParagraphs(const TextView& view, const TextStorage::Snapshot& text)
    : m_view(view)
    , m_text(text)
    , m_anchorTop(TextView::Inset)
{
}

size_t TextViewParagraphs::firstEndingBelow(double y, double lineHeight) const
{
    auto shown = std::partition_point(m_paragraphs.begin(), m_paragraphs.end(),
        [&](const Paragraph& paragraph) { return paragraph.top + double(paragraph.lines) * lineHeight <= y; });
    return size_t(shown - m_paragraphs.begin());
}

void TextViewParagraphs::reset()
{
    m_paragraphs.clear();
    m_caret.reset();
    m_lineTable.reset();
    m_valid = false;
    m_complete = true; // a new text starts at its top
    m_anchorIndex = 0;
}

void TextViewParagraphs::measureHere()
{
    m_lineTable.reset();
    m_valid = false;
    m_complete = true;
}

void TextViewParagraphs::anchorAt(double y, double height, float newLineHeight)
{
    constexpr float Inset = TextView::Inset;
    ensureWindow(y, y + height);
    size_t base = m_lineTable ? m_windowFirst : m_complete ? 0 : m_anchorIndex;
    m_lineTable.reset();
    m_anchorIndex = 0, m_anchorStart = 0, m_anchorTop = Inset;
    if (m_valid && !m_paragraphs.empty()) {
        float oldLineHeight = m_lineHeight;
        size_t shown = std::min(firstEndingBelow(y, oldLineHeight), m_paragraphs.size() - 1);
        m_anchorIndex = base + shown;
        m_anchorStart = m_paragraphs[shown].start;
        // As much of it stays above the top as before, in lines of the
        // new font.
        double ratio = oldLineHeight > 0 ? double(newLineHeight) / oldLineHeight : 1.0;
        m_anchorTop = y - (y - m_paragraphs[shown].top) * ratio;
    }
    m_valid = false;
    m_complete = false;
}

std::optional<double> TextViewParagraphs::countedPlaceOf(double y, float width, const TextLineTable& table) const
{
    // The paragraph shown at the top (or the anchor, when the view was
    // scrolled above it) takes its counted place.
    if (!m_valid || m_width != width || m_paragraphs.empty())
        return std::nullopt;
    float lineHeight = Fonts::lineHeight(m_view.font());
    size_t shown = std::min(firstEndingBelow(y, lineHeight), m_paragraphs.size() - 1);
    size_t index = m_anchorIndex + shown;
    if (index >= table.paragraphCount())
        return std::nullopt;
    return TextView::Inset + double(table.linesBefore(index)) * lineHeight + (y - m_paragraphs[shown].top);
}

void TextViewParagraphs::install(std::shared_ptr<const TextLineTable> table, float width, float lineHeight)
{
    m_lineTable = std::move(table);
    m_paragraphs.clear();
    m_caret.reset();
    m_windowFirst = 0;
    m_width = width;
    m_valid = true;
    m_lineHeight = lineHeight;
    m_complete = true;
}

void TextViewParagraphs::layOut(const TextStorage::Snapshot& text, size_t start, double top, double bottom,
    const gfx::Font& font, float width, std::vector<Paragraph>& out, bool estimate)
{
    float lineHeight = Fonts::lineHeight(font);
    auto layout = TextLayout::forFont(font);
    std::string scratch;
    while (start <= text.size() && top <= bottom) {
        auto [length, next] = text.paragraphAt(start);
        size_t lines;
        if (estimate && length > TextView::BackgroundLayoutBytes) {
            // A paragraph of many mebibytes while the worker counts: its
            // start wrapped, the rest in proportion.
            size_t part = TextView::BackgroundLayoutBytes;
            while (part > 0 && (static_cast<unsigned char>(text.at(start + part)) & 0xC0) == 0x80)
                --part;
            size_t counted = layout->lineCount(text.view(start, part, scratch), width);
            lines = std::max(counted, size_t(double(counted) * double(length) / double(std::max<size_t>(part, 1))));
        } else {
            lines = layout->lineCount(text.view(start, length, scratch), width);
        }
        out.push_back({ start, length, top, lines, 0 });
        top += double(lines) * lineHeight;
        if (next == std::string::npos)
            return;
        start = next;
    }
}

void TextViewParagraphs::update(float width)
{
    if (m_valid && m_width == width)
        return;
    m_paragraphs.clear();
    m_caret.reset();
    m_width = width;
    m_valid = true;
    m_lineHeight = Fonts::lineHeight(m_view.font());
    if (!m_complete) {
        // Until the worker's count comes: from the anchor down to what
        // shows, and a screen more.
        extend(double(m_view.contentOffset().y) + 2.0 * m_view.bounds().height());
        return;
    }
    // A counted text lays out only the window that shows (ensureWindow).
    if (!m_lineTable)
        layOut(m_text, 0, TextView::Inset, INFINITY, m_view.font(), width, m_paragraphs);
}

void TextViewParagraphs::extend(double bottom)
{
    if (m_complete)
        return;
    float lineHeight = Fonts::lineHeight(m_view.font());
    size_t start = m_anchorStart;
    double top = m_anchorTop;
    if (!m_paragraphs.empty()) {
        const Paragraph& last = m_paragraphs.back();
        if (last.top > bottom)
            return;
        start = last.start + last.length;
        if (start >= m_text.size())
            return;
        start = m_text.findLineEnd(start);
        if (start == std::string::npos)
            return;
        start += 1;
        top = last.top + double(last.lines) * lineHeight;
    }
    m_caret.reset();
    layOut(m_text, start, top, bottom, m_view.font(), m_width, m_paragraphs, true);
}

void TextViewParagraphs::ensureWindow(double top, double bottom)
{
    if (!m_lineTable || !m_complete || m_lineTable->paragraphCount() == 0)
        return;
    const TextLineTable& table = *m_lineTable;
    double lineHeight = m_lineHeight;
    size_t count = table.paragraphCount();
    if (!m_paragraphs.empty()) {
        const Paragraph& first = m_paragraphs.front();
        const Paragraph& last = m_paragraphs.back();
        bool coversTop = first.top <= top || first.index == 0;
        bool coversBottom = last.top + double(last.lines) * lineHeight >= bottom || last.index + 1 == count;
        if (coversTop && coversBottom)
            return;
    }
    // A screen above and below what is asked, so a scroll rebuilds it
    // seldom.
    double span = std::max(bottom - top, double(m_view.bounds().height()));
    double from = std::max(0.0, top - span - TextView::Inset);
    double to = bottom + span;
    size_t index = table.paragraphAtLine(uint64_t(from / lineHeight));
    m_paragraphs.clear();
    m_caret.reset();
    m_windowFirst = index;
    size_t start = table.paragraphStart(index);
    for (; index < count && start != std::string::npos; ++index) {
        double paragraphTop = TextView::Inset + double(table.linesBefore(index)) * lineHeight;
        if (paragraphTop > to)
            break;
        auto [length, next] = m_text.paragraphAt(start);
        m_paragraphs.push_back({ start, length, paragraphTop, table.linesOf(index), index });
        start = next;
    }
}

void TextViewParagraphs::forEachLineOf(const Paragraph& paragraph, size_t first,
    const std::function<bool(std::string_view, size_t, TextLayout::Span, size_t)>& visit) const
{
    static const std::vector<uint64_t> none;
    const std::vector<uint64_t>& checkpoints = m_lineTable ? m_lineTable->checkpoints(paragraph.index) : none;
    auto layout = TextLayout::forFont(m_view.font());
    std::string scratch;
    size_t segment = std::min(first / TextLineTable::CheckpointLines, checkpoints.size());
    size_t line = segment * TextLineTable::CheckpointLines;
    for (;; ++segment) {
        size_t from = segment == 0 ? 0 : size_t(checkpoints[segment - 1]);
        size_t to = segment < checkpoints.size() ? size_t(checkpoints[segment]) : paragraph.length;
        if (!m_lineTable && to - from > TextView::BackgroundLayoutBytes && !m_complete) {
            // Not counted yet: only its start is drawn.
            to = from + TextView::BackgroundLayoutBytes;
            while (to > from && (static_cast<unsigned char>(m_text.at(paragraph.start + to)) & 0xC0) == 0x80)
                --to;
        }
        std::string_view text = m_text.view(paragraph.start + from, to - from, scratch);
        bool going = true;
        layout->forEachLine(text, m_width, [&](size_t start, size_t end) {
            if (line >= first)
                going = visit(text, from, { start, end }, line);
            ++line;
            return going;
        });
        if (!going || segment >= checkpoints.size())
            return;
    }
}

// Only the paragraph holding the caret is wrapped again, and the answer is
// kept until the paragraphs change: asking once a pass, or once a key,
// costs nothing more as the text grows.
gfx::Rect TextViewParagraphs::caretRect(size_t offset)
{
    constexpr float Inset = TextView::Inset;
    offset = std::min(offset, m_text.size());
    float width = std::max(0.0f, m_view.bounds().width() - 2 * Inset);
    update(width);
    if (m_caret && m_caret->first == offset)
        return m_caret->second;
    gfx::Font font = m_view.font();
    float lineHeight = Fonts::lineHeight(font);
    gfx::Rect caret { Inset, Inset, 2, lineHeight };
    extend(double(m_view.contentOffset().y) + double(m_view.bounds().height()));
    if (!m_paragraphs.empty()) {
        // The paragraph holding the offset; one laid out nearest when the
        // text is counted on a worker and only a window of it is at hand.
        auto after = std::partition_point(m_paragraphs.begin(), m_paragraphs.end(),
            [&](const Paragraph& paragraph) { return paragraph.start <= offset; });
        const Paragraph& paragraph = after == m_paragraphs.begin() ? m_paragraphs.front() : *std::prev(after);
        size_t local = std::clamp(offset, paragraph.start, paragraph.start + paragraph.length) - paragraph.start;
        caret.origin.y = float(paragraph.top);
        // The last line starting at or before it holds it.
        forEachLineOf(paragraph, 0, [&](std::string_view text, size_t segmentStart, TextLayout::Span line, size_t index) {
            size_t start = segmentStart + line.first;
            if (start > local && index > 0)
                return false;
            size_t end = std::clamp(local - std::min(local, segmentStart), line.first, line.second);
            caret.origin.y = float(paragraph.top + double(index) * lineHeight);
            caret.origin.x = Inset + gfx::textEngine()->widthOfString(text.substr(line.first, end - line.first), font);
            return true;
        });
    }
    m_caret = { offset, caret };
    return caret;
}

double TextViewParagraphs::estimatedBottom() const
{
    float lineHeight = Fonts::lineHeight(m_view.font());
    double height = m_anchorTop + lineHeight;
    if (!m_paragraphs.empty()) {
        const Paragraph& last = m_paragraphs.back();
        double laid = last.top + double(last.lines) * lineHeight - m_anchorTop;
        size_t bytes = std::max<size_t>(1, last.start + last.length - m_anchorStart);
        height = m_anchorTop + std::max(laid, laid * double(m_text.size() - m_anchorStart) / double(bytes));
    }
    return height;
}

} // namespace ui
