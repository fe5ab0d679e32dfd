#include "Platform/UI/TextView.h"

#include "Platform/UI/LayerInPlaceDrawing.h"
#include "Platform/Core/UTF8.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Core/URL.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/TextPrintFormatter.h"
#include "Platform/UI/TextViewLinks.h"
#include "Platform/UI/Touch.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/StandardColors.h"

#include <algorithm>
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
    , m_layout(*this, m_text)
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
}

// The count is in: the content takes its exact height, and the line at the
// top of the view stays at the top.
void TextView::installLayout(uint64_t generation, float width, std::shared_ptr<const TextLineTable> table)
{
    if (!m_worker.isCurrent(generation) || !table || table->paragraphCount() == 0)
        return;
    float lineHeight = Fonts::lineHeight(font());
    gfx::Point offset = contentOffset();
    std::optional<double> anchored = m_layout.countedPlaceOf(offset.y, width, *table);
    // The count is of the whole text, whose last publication may not have
    // reached this view yet.
    m_text = m_storage->snapshot();
    m_editingText.reset();
    uint64_t lines = table->lineCount();
    m_layout.install(std::move(table), width, lineHeight);
    double height = std::max(Inset + double(lines) * lineHeight, double(Inset + lineHeight)) + Inset;
    setContentSize({ bounds().width(), float(height) });
    if (anchored) {
        double most = std::max(0.0, height - double(bounds().height()));
        ScrollView::setContentOffset({ offset.x, float(std::clamp(*anchored, 0.0, most)) });
    }
    placeDocumentView();
    m_worker.runCompletions();
}

void TextView::whenLayoutComplete(std::function<void()> block)
{
    if (m_layout.isComplete())
        block();
    else
        m_worker.addCompletion(std::move(block));
}

void TextView::drawText(gfx::Context& context, const gfx::Rect& rect) const
{
    if (m_text.empty())
        return;
    float width = std::max(0.0f, bounds().width() - 2 * Inset);
    m_layout.update(width);
    float lineHeight = Fonts::lineHeight(font());
    // The document view covers what shows: its rectangle moved to where it
    // sits in the content.
    gfx::Point origin = m_documentView->frame().origin;
    double top = double(origin.y) + rect.minY();
    double bottom = double(origin.y) + rect.maxY();
    m_layout.extend(bottom);
    m_layout.ensureWindow(top, bottom);
    const auto& paragraphs = m_layout.paragraphs();
    auto first = std::partition_point(paragraphs.begin(), paragraphs.end(), [&](const auto& paragraph) {
        return paragraph.top + double(paragraph.lines) * lineHeight < top;
    });
    bool detectsLinks = m_dataDetectors & Link;
    gfx::Font shownFont = font();
    for (auto paragraph = first; paragraph != paragraphs.end() && paragraph->top < bottom; ++paragraph) {
        if (paragraph->length == 0)
            continue;
        // Links are looked for only in the paragraphs (or the segments of a
        // long one) that show.
        std::vector<core::Range> links;
        size_t linksOf = std::string::npos;
        size_t firstLine = size_t(std::max(0.0, std::floor((top - paragraph->top) / lineHeight)));
        m_layout.forEachLineOf(*paragraph, firstLine, [&](std::string_view text, size_t segmentStart, TextLayout::Span line, size_t index) {
            double y = paragraph->top + double(index) * lineHeight;
            if (y >= bottom)
                return false;
            if (detectsLinks && linksOf != segmentStart) {
                links = TextViewLinks::ranges(text);
                linksOf = segmentStart;
            }
            if (y + lineHeight >= top)
                TextViewLinks::drawLine(context, text.substr(line.first, line.second - line.first), line.first, links,
                    gfx::Point { Inset - origin.x, float(y - double(origin.y)) }, shownFont, m_textColor);
            return true;
        });
    }
}

std::optional<std::string> TextView::linkAtPoint(gfx::Point point) const
{
    if (!(m_dataDetectors & Link) || !m_layout.isValid())
        return std::nullopt;
    float lineHeight = Fonts::lineHeight(font());
    double y = point.y;
    m_layout.ensureWindow(y, y);
    const auto& paragraphs = m_layout.paragraphs();
    size_t index = m_layout.firstEndingBelow(y, lineHeight);
    if (index == paragraphs.size() || y < paragraphs[index].top)
        return std::nullopt;
    const auto& paragraph = paragraphs[index];
    std::optional<std::string> found;
    m_layout.forEachLineOf(paragraph, size_t((y - paragraph.top) / lineHeight),
        [&](std::string_view text, size_t, TextLayout::Span line, size_t) {
            found = TextViewLinks::addressAt(text, line, point.x - Inset, font());
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
    m_layout.reset();
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
    m_layout.forgetCaret();
    if (m_layout.lineTable())
        return; // counted whole already
    if (m_text.isComplete() && !wasComplete && !measuresInBackground()) {
        // The whole text is in and small: measured now.
        updateContentSize();
        return;
    }
    // The last paragraph shown may have grown: lay out again from the anchor.
    m_layout.invalidate();
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
    const auto& paragraphs = m_layout.paragraphs();
    float oldLineHeight = m_layout.lineHeight();
    if (!measuresInBackground() && m_layout.isValid() && !paragraphs.empty() && oldLineHeight > 0) {
        size_t shown = std::min(m_layout.firstEndingBelow(y, oldLineHeight), paragraphs.size() - 1);
        top = { shown, (y - paragraphs[shown].top) / oldLineHeight };
    }
    if (!m_font.set(font))
        return;
    updateContentSize();
    if (top && top->first < paragraphs.size() && y > 0) {
        double kept = paragraphs[top->first].top + top->second * double(Fonts::lineHeight(this->font()));
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
        m_layout.anchorAt(contentOffset().y, double(size.height), Fonts::lineHeight(font()));
        // Counted on the worker as the text grows; estimated until then.
        std::weak_ptr<core::Object> weakSelf = weak_from_this();
        m_worker.start(m_storage, TextLayout::forFont(font()), width,
            [weakSelf](uint64_t generation, float width, std::shared_ptr<const TextLineTable> table) {
                if (auto self = std::static_pointer_cast<TextView>(weakSelf.lock()))
                    self->installLayout(generation, width, std::move(table));
            });
        estimateContentSize();
        return;
    }
    m_layout.measureHere();
    m_documentView->setNeedsDisplay();
    m_worker.stop();
    m_worker.runCompletions();
    // Measured as drawn: by the paragraphs' lines.
    m_layout.update(width);
    float lineHeight = Fonts::lineHeight(font());
    const auto& paragraphs = m_layout.paragraphs();
    double text = paragraphs.empty() ? 0 : paragraphs.back().top + double(paragraphs.back().lines) * lineHeight - Inset;
    float height = float(std::max(text, double(lineHeight))) + 2 * Inset;
    setContentSize({ size.width, height });
    placeDocumentView();
}

// While the worker counts (or the text grows): the paragraphs from the
// anchor down to what shows laid out here, the rest estimated by bytes.
void TextView::estimateContentSize()
{
    gfx::Size size = bounds().size;
    m_documentView->setNeedsDisplay();
    m_layout.update(std::max(0.0f, size.width - 2 * Inset));
    setContentSize({ size.width, float(m_layout.estimatedBottom() + Inset) });
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

gfx::Rect TextView::caretRect(size_t offset) const
{
    return m_layout.caretRect(offset);
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
