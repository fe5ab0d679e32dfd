#include "Platform/UI/TextField.h"

#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UTF8.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/Touch.h"
#include "Platform/Graphics/TextEngine.h"

#include <algorithm>
#include <cmath>

namespace ui {

std::shared_ptr<TextField> TextField::create(const gfx::Rect& frame)
{
    return View::make<TextField>(frame);
}

TextField::TextField()
    : m_font(Fonts::systemFont(Fonts::SmallSystemFontSize))
    , m_textColor(StandardColors::black())
{
    setOpaque(false);
}

void TextField::post(const char* name)
{
    core::NotificationCenter::defaultCenter().post(name, shared_from_this());
}

void TextField::setText(std::string_view text)
{
    requireMainThread("TextField::setText");
    m_revealed.reset();
    m_text.set(core::utf8::sanitized(text));
    size_t end = m_text.get().size();
    m_selection = { end, 0 };
    setNeedsDisplay();
    setNeedsLayout();
}

void TextField::setSelectedRange(core::Range range)
{
    std::string current = text();
    size_t start = boundaryBefore(current, std::min(range.location, current.size()));
    size_t end = boundaryBefore(current, std::min(range.location == core::kNotFound ? current.size() : range.end(), current.size()));
    m_selection = { start, std::max(start, end) - start };
}

bool TextField::replace(core::Range range, std::string_view replacementText)
{
    std::string replacement = core::utf8::sanitized(replacementText);
    if (auto d = delegate(); d && !d->shouldChangeCharacters(*this, range, replacement))
        return false;
    m_revealed.reset();
    std::string current = text();
    current.replace(range.location, range.length, replacement);
    m_text.set(current);
    m_selection = { range.location + replacement.size(), 0 };
    changed();
    return true;
}

void TextField::changed()
{
    auto self = shared_from_this();
    setNeedsDisplay();
    setNeedsLayout();
    sendActions(EditingChanged);
    post(textDidChangeNotification);
}

void TextField::insertText(std::string_view typed)
{
    requireMainThread("TextField::insertText");
    if (typed.empty())
        return;
    size_t at = m_selection.location;
    if (!replace(m_selection, typed) || !isSecureTextEntry() || !m_editing)
        return;
    // One key's code point shows for a moment; what arrives at once (a
    // whole word) never does.
    std::string current = text();
    size_t end = at + core::utf8::sanitized(typed).size();
    if (end > current.size() || previousCodePoint(current, end) != at)
        return;
    m_revealed = core::Range { at, end - at };
    unsigned count = ++m_revealCount;
    core::RunLoop::main().performAfter(sharedAs<TextField>(), RevealDuration, [count](TextField& self) {
        if (self.m_revealCount == count)
            self.hideRevealed();
    });
}

void TextField::paste(std::string_view pasted)
{
    requireMainThread("TextField::paste");
    if (!pasted.empty())
        replace(m_selection, pasted);
}

void TextField::hideRevealed()
{
    if (!m_revealed)
        return;
    m_revealed.reset();
    setNeedsDisplay();
}

std::string TextField::displayedText() const
{
    return isSecureTextEntry() ? maskedText(m_revealed) : text();
}

std::string TextField::maskedText(std::optional<core::Range> revealed) const
{
    std::string current = text();
    std::string shown;
    size_t offset = 0;
    while (offset < current.size()) {
        size_t next = offset + 1;
        while (next < current.size() && (static_cast<unsigned char>(current[next]) & 0xC0) == 0x80)
            ++next;
        if (revealed && revealed->location == offset && revealed->end() == next)
            shown.append(current, offset, next - offset);
        else
            shown += "\u2022";
        offset = next;
    }
    return shown;
}

bool TextField::copy()
{
    return !isSecureTextEntry() && TextInput::copy();
}

bool TextField::cut()
{
    return !isSecureTextEntry() && TextInput::cut();
}

void TextField::deleteBackward()
{
    requireMainThread("TextField::deleteBackward");
    core::Range range = m_selection;
    if (range.length == 0) {
        if (range.location == 0)
            return;
        size_t start = previousCodePoint(text(), range.location);
        range = { start, range.location - start };
    }
    replace(range, {});
}

void TextField::returnKeyPressed()
{
    requireMainThread("TextField::returnKeyPressed");
    auto self = shared_from_this();
    if (auto d = delegate())
        d->shouldReturn(*this);
    sendActions(EditingDidEndOnExit);
}

void TextField::clearButtonTapped()
{
    requireMainThread("TextField::clearButtonTapped");
    auto self = shared_from_this();
    if (auto d = delegate(); d && !d->shouldClear(*this))
        return;
    if (text().empty())
        return;
    m_revealed.reset();
    m_text.set(std::string());
    m_selection = { 0, 0 };
    changed();
}

void TextField::setPlaceholder(std::string_view placeholder)
{
    m_placeholder = core::utf8::sanitized(placeholder);
    setNeedsDisplay();
}

void TextField::setFont(const gfx::Font& font)
{
    m_font = font;
    setNeedsDisplay();
}

void TextField::setTextColor(const gfx::Color& color)
{
    m_textColor = color;
    setNeedsDisplay();
}

void TextField::setTextAlignment(gfx::TextAlignment alignment)
{
    m_alignment = alignment;
    setNeedsDisplay();
}

void TextField::setBorderStyle(BorderStyle style)
{
    m_borderStyle = style;
    setNeedsDisplay();
    setNeedsLayout();
}

void TextField::setClearButtonMode(ViewMode mode)
{
    m_clearButtonMode = mode;
    setNeedsLayout();
}

void TextField::setLeftView(std::shared_ptr<View> view)
{
    if (m_leftView)
        m_leftView->removeFromSuperview();
    m_leftView = std::move(view);
    if (m_leftView)
        addSubview(m_leftView);
    setNeedsLayout();
}

void TextField::setRightView(std::shared_ptr<View> view)
{
    if (m_rightView)
        m_rightView->removeFromSuperview();
    m_rightView = std::move(view);
    if (m_rightView)
        addSubview(m_rightView);
    setNeedsLayout();
}

void TextField::setRightViewMode(ViewMode mode)
{
    m_rightViewMode = mode;
    setNeedsLayout();
}

void TextField::setBackground(StretchableImage image)
{
    m_background = std::move(image);
    setNeedsDisplay();
}

bool TextField::showsView(ViewMode mode) const
{
    switch (mode) {
    case ViewMode::Always:
        return true;
    case ViewMode::WhileEditing:
        return m_editing;
    case ViewMode::UnlessEditing:
        return !m_editing;
    default:
        return false;
    }
}

bool TextField::isClearButtonVisible() const
{
    return !text().empty() && showsView(m_clearButtonMode);
}

// Rectangles

gfx::Rect TextField::borderRectForBounds(const gfx::Rect& bounds) const
{
    return bounds;
}

gfx::Rect TextField::leftViewRectForBounds(const gfx::Rect& bounds) const
{
    if (!m_leftView)
        return gfx::Rect::zero();
    gfx::Size size = m_leftView->frame().size;
    return { bounds.x(), bounds.y() + std::floor((bounds.height() - size.height) / 2), size.width, size.height };
}

gfx::Rect TextField::rightViewRectForBounds(const gfx::Rect& bounds) const
{
    if (!m_rightView)
        return gfx::Rect::zero();
    gfx::Size size = m_rightView->frame().size;
    return { bounds.maxX() - size.width, bounds.y() + std::floor((bounds.height() - size.height) / 2), size.width,
        size.height };
}

gfx::Rect TextField::clearButtonRectForBounds(const gfx::Rect& bounds) const
{
    float right = bounds.maxX() - 5;
    if (m_rightView && showsView(m_rightViewMode))
        right = rightViewRectForBounds(bounds).x();
    return { right - ClearButtonSize, bounds.y() + std::floor((bounds.height() - ClearButtonSize) / 2), ClearButtonSize,
        ClearButtonSize };
}

gfx::Rect TextField::textRectForBounds(const gfx::Rect& bounds) const
{
    float inset = m_borderStyle == BorderStyle::None ? 0 : (m_borderStyle == BorderStyle::RoundedRect ? 8 : 5);
    float left = bounds.x() + inset, right = bounds.maxX() - inset;
    if (m_leftView && showsView(m_leftViewMode))
        left = std::max(left, leftViewRectForBounds(bounds).maxX());
    if (m_rightView && showsView(m_rightViewMode))
        right = std::min(right, rightViewRectForBounds(bounds).x());
    if (isClearButtonVisible())
        right = std::min(right, clearButtonRectForBounds(bounds).x());
    float lineHeight = std::ceil(Fonts::lineHeight(m_font));
    float height = std::min(bounds.height(), lineHeight);
    return { left, bounds.y() + std::floor((bounds.height() - height) / 2), std::max(0.0f, right - left), height };
}

gfx::Rect TextField::placeholderRectForBounds(const gfx::Rect& bounds) const
{
    return textRectForBounds(bounds);
}

gfx::Rect TextField::editingRectForBounds(const gfx::Rect& bounds) const
{
    return textRectForBounds(bounds);
}

void TextField::layoutSubviews()
{
    gfx::Rect b = bounds();
    if (m_leftView) {
        m_leftView->setHidden(!showsView(m_leftViewMode));
        m_leftView->setFrame(leftViewRectForBounds(b));
    }
    if (m_rightView) {
        m_rightView->setHidden(!showsView(m_rightViewMode));
        m_rightView->setFrame(rightViewRectForBounds(b));
    }
}

// Editing

bool TextField::becomeFirstResponder()
{
    if (isFirstResponder())
        return true;
    if (!canBecomeFirstResponder() || !responderWindow())
        return false;
    auto self = shared_from_this();
    if (auto d = delegate(); d && !d->shouldBeginEditing(*this))
        return false;
    return Responder::becomeFirstResponder();
}

bool TextField::canResignFirstResponder() const
{
    auto d = delegate();
    return !d || d->shouldEndEditing(const_cast<TextField&>(*this));
}

void TextField::didBecomeFirstResponder()
{
    auto self = shared_from_this();
    m_editing = true;
    if (m_clearsOnBeginEditing && !text().empty()) {
        m_text.set(std::string());
        m_selection = { 0, 0 };
    }
    // The views shown while editing, the clear button among them, are drawn.
    setNeedsLayout();
    setNeedsDisplay();
    sendActions(EditingDidBegin);
    if (auto d = delegate())
        d->didBeginEditing(*this);
    post(textDidBeginEditingNotification);
}

void TextField::didResignFirstResponder()
{
    auto self = shared_from_this();
    m_editing = false;
    hideRevealed();
    setNeedsLayout();
    setNeedsDisplay();
    sendActions(EditingDidEnd);
    if (auto d = delegate())
        d->didEndEditing(*this);
    post(textDidEndEditingNotification);
}

void TextField::endTracking(const Touch* touch, const Event*)
{
    if (!touch || !isTouchInside())
        return;
    gfx::Point p = touch->locationInView(this);
    if (m_editing && isClearButtonVisible() && clearButtonRectForBounds(bounds()).insetBy(-5, -5).contains(p)) {
        clearButtonTapped();
        return;
    }
    if (!bounds().contains(p))
        return;
    becomeFirstResponder();
}

std::optional<gfx::Rect> TextField::caretBounds() const
{
    gfx::Rect r = textRectForBounds(bounds());
    std::string current = text();
    size_t caret = std::min(m_selection.end(), current.size());
    std::string shown = current;
    if (isSecureTextEntry()) {
        // One bullet (three bytes) per code point.
        shown = maskedText(std::nullopt);
        caret = 3 * size_t(std::count_if(current.begin(), current.begin() + long(caret),
                        [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
    }
    auto engine = gfx::textEngine();
    float before = engine->widthOfString(std::string_view(shown).substr(0, caret), m_font);
    float start = r.minX();
    if (m_alignment != gfx::TextAlignment::Left) {
        float whole = engine->widthOfString(shown, m_font);
        start = m_alignment == gfx::TextAlignment::Center ? r.midX() - whole / 2 : r.maxX() - whole;
    }
    float x = std::clamp(start + before, r.minX(), std::max(r.minX(), r.maxX() - 2));
    return gfx::Rect { x, r.y(), 2, r.height() };
}

std::string TextField::debugText() const
{
    if (text().empty())
        return m_placeholder.empty() ? std::string() : "(" + m_placeholder + ")";
    // Dumps reach logs: a secure field's typed character never shows here.
    return isSecureTextEntry() ? maskedText(std::nullopt) : text();
}

} // namespace ui
