#include "Platform/UI/TextView.h"

#include "Platform/Core/UTF8.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Graphics/Context.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/StandardColors.h"

#include <algorithm>

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
    : m_font(gfx::Font::fontWithName("Helvetica", 12))
    , m_textColor(StandardColors::black())
    , m_documentView(std::make_shared<DocumentView>(*this))
{
    setAlwaysBounceVertical(true);
    setBackgroundColor(StandardColors::white());
    m_documentView->setUserInteractionEnabled(false);
    m_documentView->setBackgroundColor(StandardColors::clear());
    addSubview(m_documentView);
}

TextView::~TextView()
{
    static_cast<DocumentView&>(*m_documentView).m_owner = nullptr;
}

// Paragraphs end at "\n" (a "\r" before it is not drawn); each is wrapped
// on its own, so a frame lays out only the paragraphs it meets.
void TextView::updateParagraphs(float width) const
{
    if (m_paragraphsValid && m_paragraphWidth == width)
        return;
    m_paragraphs.clear();
    m_paragraphWidth = width;
    m_paragraphsValid = true;
    float lineHeight = Fonts::lineHeight(font());
    double top = Inset;
    size_t start = 0;
    while (start <= m_text.size()) {
        size_t end = m_text.find('\n', start);
        bool last = end == std::string::npos;
        if (last)
            end = m_text.size();
        size_t length = end - start;
        if (length > 0 && m_text[end - 1] == '\r')
            --length;
        std::string_view paragraph(m_text.data() + start, length);
        size_t lines = paragraph.empty()
            ? 1
            : std::max<size_t>(1, gfx::textEngine()->linesOfString(paragraph, font(), { width, 0 }, gfx::LineBreakMode::WordWrap).size());
        m_paragraphs.push_back({ start, length, top, lines });
        top += double(lines) * lineHeight;
        if (last)
            break;
        start = end + 1;
    }
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
    auto first = std::partition_point(m_paragraphs.begin(), m_paragraphs.end(), [&](const Paragraph& paragraph) {
        return paragraph.top + double(paragraph.lines) * lineHeight < top;
    });
    context.setFillColor(m_textColor);
    for (auto paragraph = first; paragraph != m_paragraphs.end() && paragraph->top < bottom; ++paragraph) {
        std::string_view text(m_text.data() + paragraph->start, paragraph->length);
        if (text.empty())
            continue;
        double y = paragraph->top;
        for (const std::string& line : gfx::textEngine()->linesOfString(text, font(), { width, 0 }, gfx::LineBreakMode::WordWrap)) {
            if (y + lineHeight >= top && y < bottom)
                gfx::textEngine()->drawString(context, line, gfx::Point { Inset - origin.x, float(y - double(origin.y)) }, font());
            y += lineHeight;
        }
    }
}

void TextView::setDelegate(std::weak_ptr<TextViewDelegate> delegate)
{
    ScrollView::setDelegate(delegate);
    m_textDelegate = std::move(delegate);
}

void TextView::setText(std::string_view text)
{
    requireMainThread("TextView::setText");
    m_text = core::utf8::sanitized(text);
    m_selection = { m_text.size(), 0 };
    updateContentSize();
    setNeedsDisplay();
}

void TextView::setSelectedRange(core::Range range)
{
    size_t start = boundaryBefore(m_text, std::min(range.location, m_text.size()));
    size_t end = boundaryBefore(m_text,
        std::min(range.location == core::kNotFound ? m_text.size() : range.end(), m_text.size()));
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
    m_text.replace(range.location, range.length, replacement);
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
        size_t start = previousCodePoint(m_text, range.location);
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
    if (m_font.set(font)) {
        updateContentSize();
        setNeedsDisplay();
    }
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
    m_editable = editable;
    if (!editable && isFirstResponder())
        resignFirstResponder();
}

// The content is the wrapped text in the width less the insets, with the
// insets around it, and never shorter than the view.
void TextView::updateContentSize()
{
    m_paragraphsValid = false;
    m_documentView->setNeedsDisplay();
    gfx::Size size = bounds().size;
    float width = std::max(0.0f, size.width - 2 * Inset);
    gfx::Size text = Fonts::sizeOfString(m_text, font(), gfx::Size { width, 0 }, gfx::LineBreakMode::WordWrap);
    float height = std::max(text.height, Fonts::lineHeight(font())) + 2 * Inset;
    setContentSize({ size.width, height });
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
    float width = std::max(0.0f, bounds().width() - 2 * Inset);
    std::string before = m_text.substr(0, std::min(offset, m_text.size()));
    float line = Fonts::lineHeight(font());
    float height = before.empty() ? line
                                  : Fonts::sizeOfString(before + "x", font(), gfx::Size { width, 0 },
                                        gfx::LineBreakMode::WordWrap).height;
    return { Inset, Inset + std::max(0.0f, height - line), 2, line };
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

void TextView::touchesEnded(const TouchSet&, const Event&)
{
    if (m_editable && !isDragging())
        becomeFirstResponder();
}

void TextView::layoutSubviews()
{
    ScrollView::layoutSubviews();
    sendSubviewToBack(m_documentView.get());
}

void TextView::post(const char* name)
{
    core::NotificationCenter::defaultCenter().post(name, shared_from_this());
}

} // namespace ui
