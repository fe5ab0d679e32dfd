#include "Platform/UI/Label.h"

#include "Platform/UI/LayerInPlaceDrawing.h"

#include "Platform/Core/UTF8.h"
#include "Platform/Graphics/Context.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/StandardColors.h"

#include <cmath>
#include <limits>

namespace ui {

std::shared_ptr<Label> Label::create(const gfx::Rect& frame, std::string_view text)
{
    auto label = View::make<Label>(frame);
    label->setText(text);
    return label;
}

Label::Label()
    : m_font(Fonts::systemFont(Fonts::LabelFontSize))
    , m_textColor(StandardColors::black())
    , m_highlightedTextColor(StandardColors::white())
{
    setBackgroundColor(StandardColors::white());
    setOpaque(true);
    setUserInteractionEnabled(false);
    // A line or two of shaped text (the engine keeps recent lines shaped)
    // costs less drawn again than a picture of the label held per label.
    LayerInPlaceDrawing::mark(&layer());
}

void Label::setText(std::string_view text)
{
    requireMainThread("Label::setText");
    if (m_text.set(core::utf8::sanitized(text)))
        setNeedsDisplay();
}

void Label::setFont(const gfx::Font& font)
{
    m_font = font;
    setNeedsDisplay();
}

void Label::setTextColor(const gfx::Color& color)
{
    m_textColor = color;
    setNeedsDisplay();
}

void Label::setHighlighted(bool highlighted)
{
    if (m_highlighted == highlighted)
        return;
    m_highlighted = highlighted;
    setNeedsDisplay();
}

void Label::setEnabled(bool enabled)
{
    m_enabled = enabled;
    setNeedsDisplay();
}

void Label::setShadowColor(const gfx::Color& color)
{
    m_shadowColor = color;
    setNeedsDisplay();
}

void Label::setShadowOffset(gfx::Size offset)
{
    requireFinite(offset, "Label::setShadowOffset");
    m_shadowOffset = offset;
    setNeedsDisplay();
}

void Label::setTextAlignment(gfx::TextAlignment alignment)
{
    m_alignment = alignment;
    setNeedsDisplay();
}

void Label::setLineBreakMode(gfx::LineBreakMode mode)
{
    m_lineBreakMode = mode;
    setNeedsDisplay();
}

void Label::setNumberOfLines(int lines)
{
    m_numberOfLines = std::max(0, lines);
    setNeedsDisplay();
}

void Label::setAdjustsFontSizeToFitWidth(bool adjusts)
{
    m_adjustsFontSize = adjusts;
    setNeedsDisplay();
}

void Label::setMinimumFontSize(float size)
{
    requireFinite(size, "Label::setMinimumFontSize");
    m_minimumFontSize = std::max(0.0f, size);
    setNeedsDisplay();
}

gfx::Font Label::displayedFont() const
{
    if (!m_adjustsFontSize || m_numberOfLines != 1)
        return m_font;
    float actual = m_font.pointSize();
    Fonts::sizeOfString(text(), m_font, m_minimumFontSize, &actual, bounds().width(), m_lineBreakMode);
    return m_font.fontWithSize(actual);
}

gfx::Rect Label::textRectForBounds(const gfx::Rect& bounds, int lines) const
{
    gfx::Font font = displayedFont();
    float lineHeight = Fonts::lineHeight(font);
    gfx::Size size;
    if (lines == 1) {
        size = Fonts::sizeOfString(text(), font, bounds.width(), m_lineBreakMode);
    } else {
        float height = lines > 0 ? lines * lineHeight : bounds.height();
        size = Fonts::sizeOfString(text(), font, gfx::Size { bounds.width(), std::min(height, bounds.height()) },
            m_lineBreakMode);
    }
    size.width = std::min(size.width, bounds.width());
    size.height = std::min(size.height, bounds.height());
    // Centred vertically, as the device sets labels.
    return { bounds.x(), bounds.y() + std::floor((bounds.height() - size.height) / 2), size.width, size.height };
}

std::vector<std::string> Label::displayedLinesForTesting() const
{
    gfx::Rect b = bounds();
    gfx::Font font = displayedFont();
    float height = m_numberOfLines > 0 ? m_numberOfLines * Fonts::lineHeight(font) : b.height();
    return gfx::textEngine()->linesOfString(text(), font, { b.width(), std::min(height, b.height()) }, m_lineBreakMode);
}

gfx::Size Label::sizeThatFits(gfx::Size size) const
{
    if (m_numberOfLines == 1)
        return Fonts::sizeOfString(text(), m_font);
    float height = m_numberOfLines > 0 ? m_numberOfLines * Fonts::lineHeight(m_font) : 0;
    if (size.height > 0 && (height == 0 || size.height < height))
        height = size.height;
    float width = size.width > 0 ? size.width : std::numeric_limits<float>::max();
    return Fonts::sizeOfString(text(), m_font, gfx::Size { width, height }, gfx::LineBreakMode::WordWrap);
}

void Label::draw(gfx::Context& context, const gfx::Rect&)
{
    drawTextInRect(context, bounds());
}

void Label::drawTextInRect(gfx::Context& context, const gfx::Rect& room)
{
    const gfx::Color& color = m_highlighted ? m_highlightedTextColor : m_textColor;
    context.setFillColor(color);
    // The text rectangle is as wide as the text: alignment acts across the
    // whole width.
    gfx::Rect rect = textRectForBounds(room, m_numberOfLines);
    rect.origin.x = room.x();
    rect.size.width = room.width();
    gfx::textEngine()->drawString(context, text(), rect, displayedFont(), m_lineBreakMode, m_alignment);
}

} // namespace ui
