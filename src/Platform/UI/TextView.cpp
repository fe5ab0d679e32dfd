#include "Platform/UI/TextView.h"

#include "Platform/UI/LayerInPlaceDrawing.h"
#include "Platform/Core/UTF8.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/ThreadPriority.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Core/URL.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/TextLayout.h"
#include "Platform/UI/TextLineCounter.h"
#include "Platform/UI/TextPrintFormatter.h"
#include "Platform/UI/Touch.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/StandardColors.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>

namespace ui {

// The view the text is drawn in, as large as the content: it asks its text
// view to draw the part it is asked for.
class TextView::DocumentView : public View {
public:
    explicit DocumentView(TextView& owner) : m_owner(&owner) { }
    void draw(gfx::Context& context, const gfx::Rect& rect) override
    {
        if (m_owner)
            m_owner->drawText(context, rect);
    }
    TextView* m_owner;
};

std::shared_ptr<TextView> TextView::create(const gfx::Rect& frame)
{
    return make<TextView>(frame);
}

TextView::TextView()
    : m_storage(TextStorage::withText({}))
    , m_text(m_storage->snapshot())
    , m_font(gfx::Font::fontWithName("Helvetica", 12))
    , m_textColor(StandardColors::black())
    , m_documentView(std::make_shared<DocumentView>(*this))
{
    setAlwaysBounceVertical(true);
    setBackgroundColor(StandardColors::white());
    m_documentView->setUserInteractionEnabled(false);
    // Redrawn for every move anyway: a picture of the screenful would only
    // add its size to the heap and a copy to each frame.
    LayerInPlaceDrawing::mark(&m_documentView->layer());
    m_documentView->setBackgroundColor(StandardColors::clear());
    addSubview(m_documentView);
}

TextView::~TextView()
{
    static_cast<DocumentView&>(*m_documentView).m_owner = nullptr;
    if (m_wantedLayout)
        *m_wantedLayout = 0; // a worker still counting stops
}

// Paragraphs end at "\n" (a "\r" before it is not drawn); each is wrapped
// on its own, so a frame lays out only the paragraphs it meets.
void TextView::layOutParagraphs(const TextStorage::Snapshot& text, size_t start, double top, double bottom,
    const gfx::Font& font, float width, std::vector<Paragraph>& out, bool estimate)
{
    float lineHeight = Fonts::lineHeight(font);
    auto layout = TextLayout::forFont(font);
    std::string scratch;
    while (start <= text.size() && top <= bottom) {
        auto [length, next] = text.paragraphAt(start);
        size_t lines;
        if (estimate && length > BackgroundLayoutBytes) {
            // A paragraph of many mebibytes while the worker counts: its
            // start wrapped, the rest in proportion.
            size_t part = BackgroundLayoutBytes;
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

void TextView::updateParagraphs(float width) const
{
    if (m_paragraphsValid && m_paragraphWidth == width)
        return;
    m_paragraphs.clear();
    m_caret.reset();
    m_paragraphWidth = width;
    m_paragraphsValid = true;
    m_layoutLineHeight = Fonts::lineHeight(font());
    if (!m_layoutComplete) {
        // Until the worker's count comes: from the anchor down to what
        // shows, and a screen more.
        extendParagraphs(double(contentOffset().y) + 2.0 * bounds().height());
        return;
    }
    // A counted text lays out only the window that shows (ensureWindow).
    if (!m_lineTable)
        layOutParagraphs(m_text, 0, Inset, INFINITY, font(), width, m_paragraphs);
}

void TextView::extendParagraphs(double bottom) const
{
    if (m_layoutComplete)
        return;
    float lineHeight = Fonts::lineHeight(font());
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
    layOutParagraphs(m_text, start, top, bottom, font(), m_paragraphWidth, m_paragraphs, true);
}

void TextView::ensureWindow(double top, double bottom) const
{
    if (!m_lineTable || !m_layoutComplete || m_lineTable->paragraphCount() == 0)
        return;
    const TextLineTable& table = *m_lineTable;
    double lineHeight = m_layoutLineHeight;
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
    double span = std::max(bottom - top, double(bounds().height()));
    double from = std::max(0.0, top - span - Inset);
    double to = bottom + span;
    size_t index = table.paragraphAtLine(uint64_t(from / lineHeight));
    m_paragraphs.clear();
    m_caret.reset();
    m_windowFirst = index;
    size_t start = m_text.paragraphStart(index);
    for (; index < count && start != std::string::npos; ++index) {
        double paragraphTop = Inset + double(table.linesBefore(index)) * lineHeight;
        if (paragraphTop > to)
            break;
        auto [length, next] = m_text.paragraphAt(start);
        m_paragraphs.push_back({ start, length, paragraphTop, table.linesOf(index), index });
        start = next;
    }
}

void TextView::forEachLineOf(const Paragraph& paragraph, size_t first,
    const std::function<bool(std::string_view, size_t, TextLayout::Span, size_t)>& visit) const
{
    static const std::vector<uint64_t> none;
    const std::vector<uint64_t>& checkpoints = m_lineTable ? m_lineTable->checkpoints(paragraph.index) : none;
    auto layout = TextLayout::forFont(font());
    std::string scratch;
    size_t segment = std::min(first / TextLineTable::CheckpointLines, checkpoints.size());
    size_t line = segment * TextLineTable::CheckpointLines;
    for (;; ++segment) {
        size_t from = segment == 0 ? 0 : size_t(checkpoints[segment - 1]);
        size_t to = segment < checkpoints.size() ? size_t(checkpoints[segment]) : paragraph.length;
        if (!m_lineTable && to - from > BackgroundLayoutBytes && !m_layoutComplete) {
            // Not counted yet: only its start is drawn.
            to = from + BackgroundLayoutBytes;
            while (to > from && (static_cast<unsigned char>(m_text.at(paragraph.start + to)) & 0xC0) == 0x80)
                --to;
        }
        std::string_view text = m_text.view(paragraph.start + from, to - from, scratch);
        bool going = true;
        layout->forEachLine(text, m_paragraphWidth, [&](size_t start, size_t end) {
            if (line >= first)
                going = visit(text, from, { start, end }, line);
            ++line;
            return going;
        });
        if (!going || segment >= checkpoints.size())
            return;
    }
}

void TextView::startBackgroundLayout(float width)
{
    uint64_t generation = ++m_layoutGeneration;
    if (!m_wantedLayout)
        m_wantedLayout = std::make_shared<std::atomic<uint64_t>>(0);
    *m_wantedLayout = generation;
    m_layoutComplete = false;
    std::weak_ptr<core::Object> weakSelf = weak_from_this();
    // The worker follows the storage as it grows, so the count ends just
    // after the text does.
    core::Thread::detach("ui.textLayout", [weakSelf, generation, width, wanted = m_wantedLayout, storage = m_storage,
                                              layout = TextLayout::forFont(font())] {
        auto stop = [&] { return wanted->load() != generation; };
        // The screen meanwhile shows an estimate: drawing it comes first.
        core::lowerCurrentThreadPriority();
        TextLineCounter counter(layout, width);
        for (;;) {
            TextStorage::Snapshot text = storage->snapshot();
            if (!counter.advance(text, stop) || stop())
                return;
            if (counter.isComplete())
                break;
            storage->waitForGrowth(text.size(), 0.05);
        }
        auto table = std::make_shared<const TextLineTable>(counter.takeTable());
        core::performOnMainThread([weakSelf, generation, width, table = std::move(table)]() mutable {
            if (auto self = std::static_pointer_cast<TextView>(weakSelf.lock()))
                self->installLayout(generation, width, std::move(table));
        });
    });
}

// The count is in: the content takes its exact height, and the line at the
// top of the view stays at the top.
void TextView::installLayout(uint64_t generation, float width, std::shared_ptr<const TextLineTable> table)
{
    if (generation != m_layoutGeneration || !table || table->paragraphCount() == 0)
        return;
    float lineHeight = Fonts::lineHeight(font());
    gfx::Point offset = contentOffset();
    double y = offset.y;
    // The paragraph shown at the top (or the anchor, when the view was
    // scrolled above it) takes its counted place.
    std::optional<double> anchored;
    if (m_paragraphsValid && m_paragraphWidth == width && !m_paragraphs.empty()) {
        auto shown = std::partition_point(m_paragraphs.begin(), m_paragraphs.end(),
            [&](const Paragraph& paragraph) { return paragraph.top + double(paragraph.lines) * lineHeight <= y; });
        if (shown == m_paragraphs.end())
            --shown;
        size_t index = m_anchorIndex + size_t(shown - m_paragraphs.begin());
        if (index < table->paragraphCount())
            anchored = Inset + double(table->linesBefore(index)) * lineHeight + (y - shown->top);
    }
    // The count is of the whole text, whose last publication may not have
    // reached this view yet.
    m_text = m_storage->snapshot();
    m_editingText.reset();
    m_lineTable = std::move(table);
    m_paragraphs.clear();
    m_caret.reset();
    m_windowFirst = 0;
    m_paragraphWidth = width;
    m_paragraphsValid = true;
    m_layoutLineHeight = lineHeight;
    m_layoutComplete = true;
    double height = std::max(Inset + double(m_lineTable->lineCount()) * lineHeight, double(Inset + lineHeight)) + Inset;
    setContentSize({ bounds().width(), float(height) });
    if (anchored) {
        double most = std::max(0.0, height - double(bounds().height()));
        ScrollView::setContentOffset({ offset.x, float(std::clamp(*anchored, 0.0, most)) });
    }
    placeDocumentView();
    for (auto& block : std::exchange(m_layoutCompletions, {}))
        block();
}

void TextView::whenLayoutComplete(std::function<void()> block)
{
    if (m_layoutComplete)
        block();
    else
        m_layoutCompletions.push_back(std::move(block));
}

void TextView::drawText(gfx::Context& context, const gfx::Rect& rect) const
{
    if (m_text.empty())
        return;
    float width = std::max(0.0f, bounds().width() - 2 * Inset);
    updateParagraphs(width);
    float lineHeight = Fonts::lineHeight(font());
    // The document view covers what shows: its rectangle moved to where it
    // sits in the content.
    gfx::Point origin = m_documentView->frame().origin;
    double top = double(origin.y) + rect.minY();
    double bottom = double(origin.y) + rect.maxY();
    extendParagraphs(bottom);
    ensureWindow(top, bottom);
    auto first = std::partition_point(m_paragraphs.begin(), m_paragraphs.end(), [&](const Paragraph& paragraph) {
        return paragraph.top + double(paragraph.lines) * lineHeight < top;
    });
    bool detectsLinks = m_dataDetectors & Link;
    for (auto paragraph = first; paragraph != m_paragraphs.end() && paragraph->top < bottom; ++paragraph) {
        if (paragraph->length == 0)
            continue;
        // Links are looked for only in the paragraphs (or the segments of a
        // long one) that show.
        std::vector<core::Range> links;
        size_t linksOf = std::string::npos;
        size_t firstLine = size_t(std::max(0.0, std::floor((top - paragraph->top) / lineHeight)));
        forEachLineOf(*paragraph, firstLine, [&](std::string_view text, size_t segmentStart, TextLayout::Span line, size_t index) {
            double y = paragraph->top + double(index) * lineHeight;
            if (y >= bottom)
                return false;
            if (detectsLinks && linksOf != segmentStart) {
                links = linkRanges(text);
                linksOf = segmentStart;
            }
            if (y + lineHeight >= top)
                drawLine(context, text.substr(line.first, line.second - line.first), line.first, links,
                    gfx::Point { Inset - origin.x, float(y - double(origin.y)) });
            return true;
        });
    }
}

void TextView::drawLine(gfx::Context& context, std::string_view line, size_t lineStart,
    const std::vector<core::Range>& links, gfx::Point at) const
{
    auto engine = gfx::textEngine();
    gfx::Font f = font();
    size_t done = 0;
    auto draw = [&](size_t end, bool link) {
        if (end <= done)
            return;
        std::string_view piece = line.substr(done, end - done);
        float x = at.x + engine->widthOfString(line.substr(0, done), f);
        context.setFillColor(link ? linkColor() : m_textColor);
        engine->drawString(context, piece, gfx::Point { x, at.y }, f);
        if (link) {
            float underline = at.y + Fonts::lineHeight(f) - 1.5f;
            context.fillRect({ x, underline, engine->widthOfString(piece, f), 1 });
        }
        done = end;
    };
    for (const core::Range& link : links) {
        if (link.end() <= lineStart || link.location >= lineStart + line.size())
            continue;
        size_t from = std::max(link.location, lineStart) - lineStart;
        size_t to = std::min(link.end(), lineStart + line.size()) - lineStart;
        draw(from, false);
        draw(to, true);
    }
    draw(line.size(), false);
}

std::vector<core::Range> TextView::linkRanges(std::string_view text)
{
    static const std::string_view starts[] = { "http://", "https://", "ftp://", "mailto:", "www." };
    std::vector<core::Range> ranges;
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    size_t at = 0;
    while (at < text.size()) {
        bool wordStart = at == 0 || isSpace(text[at - 1]) || std::string_view("(<[\"'").find(text[at - 1]) != std::string_view::npos;
        size_t prefix = 0;
        if (wordStart) {
            for (std::string_view start : starts) {
                if (text.size() - at >= start.size() + 1 && std::equal(start.begin(), start.end(), text.begin() + long(at),
                        [](char a, char b) { return std::tolower((unsigned char)a) == std::tolower((unsigned char)b); })) {
                    prefix = start.size();
                    break;
                }
            }
        }
        if (prefix == 0) {
            ++at;
            continue;
        }
        size_t end = at;
        while (end < text.size() && !isSpace(text[end]) && std::string_view("<>\"").find(text[end]) == std::string_view::npos)
            ++end;
        // Closing punctuation belongs to the sentence.
        while (end > at + prefix && std::string_view(".,;:!?)]}'").find(text[end - 1]) != std::string_view::npos)
            --end;
        if (end > at + prefix)
            ranges.push_back({ at, end - at });
        at = std::max(end, at + 1);
    }
    return ranges;
}

std::string TextView::linkAddress(std::string_view run)
{
    if (run.size() >= 4 && std::tolower((unsigned char)run[0]) == 'w' && std::tolower((unsigned char)run[1]) == 'w'
        && std::tolower((unsigned char)run[2]) == 'w' && run[3] == '.')
        return "http://" + std::string(run);
    return std::string(run);
}

gfx::Color TextView::linkColor()
{
    return gfx::Color::rgb255(0, 84, 210);
}

std::optional<std::string> TextView::linkAtPoint(gfx::Point point) const
{
    if (!(m_dataDetectors & Link) || !m_paragraphsValid)
        return std::nullopt;
    float lineHeight = Fonts::lineHeight(font());
    double y = point.y;
    ensureWindow(y, y);
    if (m_paragraphs.empty())
        return std::nullopt;
    auto paragraph = std::partition_point(m_paragraphs.begin(), m_paragraphs.end(),
        [&](const Paragraph& p) { return p.top + double(p.lines) * lineHeight <= y; });
    if (paragraph == m_paragraphs.end() || y < paragraph->top)
        return std::nullopt;
    std::optional<std::string> found;
    float x = point.x - Inset;
    forEachLineOf(*paragraph, size_t((y - paragraph->top) / lineHeight),
        [&](std::string_view text, size_t, TextLayout::Span line, size_t) {
            std::string_view shown = text.substr(line.first, line.second - line.first);
            for (const core::Range& link : linkRanges(text)) {
                if (link.end() <= line.first || link.location >= line.second)
                    continue;
                size_t from = std::max(link.location, line.first) - line.first;
                size_t to = std::min(link.end(), line.second) - line.first;
                float left = gfx::textEngine()->widthOfString(shown.substr(0, from), font());
                float right = gfx::textEngine()->widthOfString(shown.substr(0, to), font());
                if (x >= left && x <= right) {
                    found = linkAddress(text.substr(link.location, link.length));
                    break;
                }
            }
            return false;
        });
    return found;
}

void TextView::setDelegate(std::weak_ptr<TextViewDelegate> delegate)
{
    ScrollView::setDelegate(delegate);
    m_textDelegate = std::move(delegate);
}

std::string TextView::text() const
{
    if (m_text.size() > LargestStringBytes) {
        core::log("Warning, TextView::text: {} bytes are too many for one string, answering \"\"", m_text.size());
        return {};
    }
    return editingText();
}

const std::string& TextView::editingText() const
{
    if (!m_editingText)
        m_editingText = m_text.string();
    return *m_editingText;
}

void TextView::setText(std::string_view text)
{
    requireMainThread("TextView::setText");
    showStorage(TextStorage::withText(text));
}

void TextView::setTextStorage(std::shared_ptr<TextStorage> storage)
{
    requireMainThread("TextView::setTextStorage");
    if (!storage)
        storage = TextStorage::withText({});
    if (storage == m_storage) {
        storageDidGrow();
        return;
    }
    showStorage(std::move(storage));
}

void TextView::showStorage(std::shared_ptr<TextStorage> storage)
{
    if (m_storage)
        m_storage->setPublishHandler({});
    m_storage = std::move(storage);
    std::weak_ptr<core::Object> weakSelf = weak_from_this();
    std::weak_ptr<TextStorage> weakStorage = m_storage;
    m_storage->setPublishHandler([weakSelf, weakStorage] {
        auto self = std::static_pointer_cast<TextView>(weakSelf.lock());
        auto storage = weakStorage.lock();
        if (self && storage && self->m_storage == storage)
            self->storageDidGrow();
    });
    m_text = m_storage->snapshot();
    m_editingText.reset();
    if (m_editable && m_text.size() > LargestStringBytes) {
        core::log("Warning, TextView: {} bytes are too many to edit, the text is read-only", m_text.size());
        m_editable = false;
        if (isFirstResponder())
            resignFirstResponder();
    }
    m_selection = { m_text.size(), 0 };
    m_paragraphs.clear();
    m_caret.reset();
    m_lineTable.reset();
    m_paragraphsValid = false;
    m_layoutComplete = true; // a new text starts at its top
    m_anchorIndex = 0;
    updateContentSize();
    setNeedsDisplay();
}

void TextView::storageDidGrow()
{
    TextStorage::Snapshot grown = m_storage->snapshot();
    if (grown.size() == m_text.size() && grown.isComplete() == m_text.isComplete())
        return;
    bool wasComplete = m_text.isComplete();
    m_text = std::move(grown);
    m_editingText.reset();
    m_caret.reset();
    if (m_lineTable)
        return; // counted whole already
    if (m_text.isComplete() && !wasComplete && !measuresInBackground()) {
        // The whole text is in and small: measured now.
        updateContentSize();
        return;
    }
    // The last paragraph shown may have grown: lay out again from the anchor.
    m_paragraphsValid = false;
    estimateContentSize();
}

void TextView::setSelectedRange(core::Range range)
{
    // Only the bytes around each end are looked at: the text may be large.
    size_t size = m_text.size();
    auto boundary = [&](size_t offset) {
        if (offset >= size)
            return size;
        while (offset > 0 && (static_cast<unsigned char>(m_text.at(offset)) & 0xC0) == 0x80)
            --offset;
        return offset;
    };
    size_t start = boundary(std::min(range.location, size));
    size_t end = boundary(std::min(range.location == core::kNotFound ? size : range.end(), size));
    m_selection = { start, std::max(start, end) - start };
    if (auto d = textDelegate())
        d->didChangeSelection(*this);
}

bool TextView::replace(core::Range range, std::string_view replacementText)
{
    if (!m_editable)
        return false;
    std::string replacement = core::utf8::sanitized(replacementText);
    auto self = shared_from_this();
    if (auto d = textDelegate(); d && !d->shouldChangeText(*this, range, replacement))
        return false;
    std::string edited = editingText();
    edited.replace(range.location, range.length, replacement);
    if (m_storage)
        m_storage->setPublishHandler({});
    m_storage = TextStorage::withText(edited);
    m_text = m_storage->snapshot();
    m_editingText = std::move(edited);
    m_selection = { range.location + replacement.size(), 0 };
    updateContentSize();
    setNeedsDisplay();
    if (m_scrollsSelectionToVisible)
        scrollRangeToVisible(m_selection);
    if (auto d = textDelegate())
        d->didChange(*this);
    post(textDidChangeNotification);
    return true;
}

void TextView::insertText(std::string_view typed)
{
    requireMainThread("TextView::insertText");
    if (!typed.empty())
        replace(m_selection, typed);
}

void TextView::deleteBackward()
{
    requireMainThread("TextView::deleteBackward");
    core::Range range = m_selection;
    if (range.length == 0) {
        if (range.location == 0)
            return;
        size_t start = previousCodePoint(editingText(), range.location);
        range = { start, range.location - start };
    }
    replace(range, {});
}

void TextView::returnKeyPressed()
{
    insertText("\n");
}

void TextView::setFont(const gfx::Font& font)
{
    // A text measured here keeps the paragraph at the top of the view where
    // it was, as much of it above the top as before in lines of the new
    // font (one measured on the worker keeps it by its anchor).
    std::optional<std::pair<size_t, double>> top;
    double y = contentOffset().y;
    if (!measuresInBackground() && m_paragraphsValid && !m_paragraphs.empty() && m_layoutLineHeight > 0) {
        auto shown = std::partition_point(m_paragraphs.begin(), m_paragraphs.end(),
            [&](const Paragraph& paragraph) { return paragraph.top + double(paragraph.lines) * m_layoutLineHeight <= y; });
        if (shown == m_paragraphs.end())
            --shown;
        top = { size_t(shown - m_paragraphs.begin()), (y - shown->top) / m_layoutLineHeight };
    }
    if (!m_font.set(font))
        return;
    updateContentSize();
    if (top && top->first < m_paragraphs.size() && y > 0) {
        double kept = m_paragraphs[top->first].top + top->second * double(Fonts::lineHeight(this->font()));
        float highest = std::max(0.0f, contentSize().height - bounds().height());
        setContentOffset({ contentOffset().x, std::clamp(float(kept), 0.0f, highest) });
    }
    setNeedsDisplay();
}

void TextView::setTextColor(const gfx::Color& color)
{
    m_textColor = color;
    setNeedsDisplay();
}

void TextView::setTextAlignment(gfx::TextAlignment alignment)
{
    m_alignment = alignment;
    setNeedsDisplay();
}

void TextView::setEditable(bool editable)
{
    if (editable && m_text.size() > LargestStringBytes) {
        core::log("Warning, TextView::setEditable: {} bytes are too many to edit", m_text.size());
        return;
    }
    bool background = measuresInBackground();
    m_editable = editable;
    if (!editable && isFirstResponder())
        resignFirstResponder();
    if (background != measuresInBackground())
        updateContentSize();
}

// The content is the wrapped text in the width less the insets, with the
// insets around it, and never shorter than the view.
void TextView::updateContentSize()
{
    gfx::Size size = bounds().size;
    float width = std::max(0.0f, size.width - 2 * Inset);
    if (measuresInBackground()) {
        // The paragraph at the top of the view keeps its place on screen
        // while the worker counts; a new text starts at its beginning.
        double y = contentOffset().y;
        ensureWindow(y, y + double(size.height));
        size_t base = m_lineTable ? m_windowFirst : m_layoutComplete ? 0 : m_anchorIndex;
        m_lineTable.reset();
        m_anchorIndex = 0, m_anchorStart = 0, m_anchorTop = Inset;
        if (m_paragraphsValid && !m_paragraphs.empty()) {
            float oldLineHeight = m_layoutLineHeight;
            auto shown = std::partition_point(m_paragraphs.begin(), m_paragraphs.end(),
                [&](const Paragraph& paragraph) { return paragraph.top + double(paragraph.lines) * oldLineHeight <= y; });
            if (shown == m_paragraphs.end())
                --shown;
            m_anchorIndex = base + size_t(shown - m_paragraphs.begin());
            m_anchorStart = shown->start;
            // As much of it stays above the top as before, in lines of the
            // new font.
            float newLineHeight = Fonts::lineHeight(font());
            double ratio = oldLineHeight > 0 ? double(newLineHeight) / oldLineHeight : 1.0;
            m_anchorTop = y - (y - shown->top) * ratio;
        }
        m_paragraphsValid = false;
        m_layoutComplete = false;
        // Counted on the worker as the text grows; estimated until then.
        startBackgroundLayout(width);
        estimateContentSize();
        return;
    }
    m_lineTable.reset();
    m_paragraphsValid = false;
    m_documentView->setNeedsDisplay();
    m_layoutComplete = true;
    if (m_wantedLayout)
        *m_wantedLayout = 0;
    for (auto& block : std::exchange(m_layoutCompletions, {}))
        block();
    // Measured as drawn: by the paragraphs' lines.
    updateParagraphs(width);
    float lineHeight = Fonts::lineHeight(font());
    double text = m_paragraphs.empty() ? 0 : m_paragraphs.back().top + double(m_paragraphs.back().lines) * lineHeight - Inset;
    float height = float(std::max(text, double(lineHeight))) + 2 * Inset;
    setContentSize({ size.width, height });
    placeDocumentView();
}

// While the worker counts (or the text grows): the paragraphs from the
// anchor down to what shows laid out here, the rest estimated by bytes.
void TextView::estimateContentSize()
{
    gfx::Size size = bounds().size;
    float width = std::max(0.0f, size.width - 2 * Inset);
    m_documentView->setNeedsDisplay();
    updateParagraphs(width);
    float lineHeight = Fonts::lineHeight(font());
    double height = m_anchorTop + lineHeight;
    if (!m_paragraphs.empty()) {
        const Paragraph& last = m_paragraphs.back();
        double laid = last.top + double(last.lines) * lineHeight - m_anchorTop;
        size_t bytes = std::max<size_t>(1, last.start + last.length - m_anchorStart);
        height = m_anchorTop + std::max(laid, laid * double(m_text.size() - m_anchorStart) / double(bytes));
    }
    setContentSize({ size.width, float(height + Inset) });
    placeDocumentView();
}

// The document view covers only what shows (a long text would make a
// picture too large to hold), so every move places and redraws it.
void TextView::placeDocumentView()
{
    gfx::Rect shown = bounds();
    m_documentView->setFrame(shown);
    m_documentView->setNeedsDisplay();
}

void TextView::setContentOffset(gfx::Point offset)
{
    bool moved = offset != contentOffset();
    ScrollView::setContentOffset(offset);
    if (moved)
        placeDocumentView();
}

void TextView::setBounds(const gfx::Rect& bounds)
{
    bool resized = bounds.size != this->bounds().size;
    ScrollView::setBounds(bounds);
    if (resized)
        updateContentSize();
}

// Only the paragraph holding the caret is wrapped again, and the answer is
// kept until the paragraphs change: asking once a pass, or once a key,
// costs nothing more as the text grows.
gfx::Rect TextView::caretRect(size_t offset) const
{
    offset = std::min(offset, m_text.size());
    float width = std::max(0.0f, bounds().width() - 2 * Inset);
    updateParagraphs(width);
    if (m_caret && m_caret->first == offset)
        return m_caret->second;
    float lineHeight = Fonts::lineHeight(font());
    gfx::Rect caret { Inset, Inset, 2, lineHeight };
    extendParagraphs(double(contentOffset().y) + double(bounds().height()));
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
            caret.origin.x = Inset + gfx::textEngine()->widthOfString(text.substr(line.first, end - line.first), font());
            return true;
        });
    }
    m_caret = { offset, caret };
    return caret;
}

std::optional<gfx::Rect> TextView::caretBounds() const
{
    return caretRect(m_selection.end());
}

void TextView::scrollRangeToVisible(core::Range range)
{
    gfx::Rect caret = caretRect(range.end());
    scrollRectToVisible(caret.insetBy(0, -Inset), false);
}

bool TextView::becomeFirstResponder()
{
    if (isFirstResponder())
        return true;
    if (!canBecomeFirstResponder() || !responderWindow())
        return false;
    auto self = shared_from_this();
    if (auto d = textDelegate(); d && !d->shouldBeginEditing(*this))
        return false;
    return Responder::becomeFirstResponder();
}

bool TextView::canResignFirstResponder() const
{
    auto d = textDelegate();
    return !d || !m_editing || d->shouldEndEditing(const_cast<TextView&>(*this));
}

void TextView::didBecomeFirstResponder()
{
    m_editing = true;
    if (auto d = textDelegate())
        d->didBeginEditing(*this);
    post(textDidBeginEditingNotification);
}

void TextView::didResignFirstResponder()
{
    m_editing = false;
    if (auto d = textDelegate())
        d->didEndEditing(*this);
    post(textDidEndEditingNotification);
}

void TextView::touchesEnded(const TouchSet& touches, const Event&)
{
    if (isDragging())
        return;
    if (m_editable) {
        becomeFirstResponder();
        return;
    }
    // A tap on a link of read-only text opens it.
    if (touches.empty())
        return;
    if (auto address = linkAtPoint(touches.front()->locationInView(this)))
        if (auto url = core::URL::parse(*address))
            if (auto* application = Application::shared())
                application->openURL(*url);
}

void TextView::layoutSubviews()
{
    ScrollView::layoutSubviews();
    sendSubviewToBack(m_documentView.get());
}

std::shared_ptr<PrintFormatter> TextView::printFormatter()
{
    return TextPrintFormatter::create(std::static_pointer_cast<TextView>(shared_from_this()));
}

void TextView::post(const char* name)
{
    core::NotificationCenter::defaultCenter().post(name, shared_from_this());
}

} // namespace ui
