#include "Platform/UI/Button.h"

#include "Platform/Core/UTF8.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/StandardColors.h"

#include <cmath>

namespace ui {

std::shared_ptr<Button> Button::create(Type type, const gfx::Rect& frame)
{
    return View::make<Button>(frame, type);
}

Button::Button(Type type)
    : m_type(type)
{
    m_imageView = View::make<ImageView>({});
    m_titleLabel = View::make<Label>({});
    m_titleLabel->setBackgroundColor(StandardColors::clear());
    m_titleLabel->setOpaque(false);
    m_titleLabel->setFont(Fonts::boldSystemFont(Fonts::ButtonFontSize));
    m_titleLabel->setLineBreakMode(gfx::LineBreakMode::MiddleTruncation);
    addSubview(m_imageView);
    addSubview(m_titleLabel);
    setOpaque(false);
    if (type == Type::RoundedRect) {
        m_titleColors[Normal] = StandardColors::buttonTitle();
        m_titleColors[Highlighted] = StandardColors::white();
    } else {
        m_titleColors[Normal] = StandardColors::white();
    }
    stateChanged();
}

template<typename T> std::optional<T> Button::lookup(const std::map<unsigned, T>& table, unsigned state)
{
    if (auto it = table.find(state); it != table.end())
        return it->second;
    // Highlighted and selected, or disabled and selected: the selected
    // state's value before the normal one.
    if (state & Selected)
        if (auto it = table.find(Selected); it != table.end())
            return it->second;
    if (auto it = table.find(Normal); it != table.end())
        return it->second;
    return std::nullopt;
}

void Button::setTitle(std::optional<std::string> title, unsigned state)
{
    if (title)
        m_titles[state] = core::utf8::sanitized(*title);
    else
        m_titles.erase(state);
    stateChanged();
}

std::optional<std::string> Button::titleForState(unsigned state) const
{
    return lookup(m_titles, state);
}

void Button::setTitleColor(std::optional<gfx::Color> color, unsigned state)
{
    if (color)
        m_titleColors[state] = *color;
    else
        m_titleColors.erase(state);
    stateChanged();
}

gfx::Color Button::titleColorForState(unsigned state) const
{
    return lookup(m_titleColors, state).value_or(StandardColors::white());
}

void Button::setTitleShadowColor(std::optional<gfx::Color> color, unsigned state)
{
    if (color)
        m_shadowColors[state] = *color;
    else
        m_shadowColors.erase(state);
    stateChanged();
}

std::optional<gfx::Color> Button::titleShadowColorForState(unsigned state) const
{
    return lookup(m_shadowColors, state);
}

void Button::setImage(std::shared_ptr<gfx::Image> image, unsigned state)
{
    if (image)
        m_images[state] = std::move(image);
    else
        m_images.erase(state);
    stateChanged();
}

std::shared_ptr<gfx::Image> Button::imageForState(unsigned state) const
{
    return lookup(m_images, state).value_or(nullptr);
}

void Button::setBackgroundImage(StretchableImage image, unsigned state)
{
    if (image)
        m_backgrounds[state] = std::move(image);
    else
        m_backgrounds.erase(state);
    stateChanged();
}

StretchableImage Button::backgroundImageForState(unsigned state) const
{
    return lookup(m_backgrounds, state).value_or(StretchableImage {});
}

std::string Button::currentTitle() const
{
    return titleForState(state()).value_or("");
}

gfx::Color Button::currentTitleColor() const
{
    return titleColorForState(state());
}

std::shared_ptr<gfx::Image> Button::currentImage() const
{
    return imageForState(state());
}

StretchableImage Button::currentBackgroundImage() const
{
    return backgroundImageForState(state());
}

Label& Button::titleLabel() const
{
    return *m_titleLabel;
}

ImageView& Button::imageView() const
{
    return *m_imageView;
}

void Button::setTitleEdgeInsets(const gfx::EdgeInsets& insets)
{
    m_titleInsets = insets;
    setNeedsLayout();
}

void Button::setEnabled(bool enabled)
{
    Control::setEnabled(enabled);
    stateChanged();
}

void Button::setSelected(bool selected)
{
    Control::setSelected(selected);
    stateChanged();
}

void Button::setHighlighted(bool highlighted)
{
    Control::setHighlighted(highlighted);
    stateChanged();
}

void Button::stateChanged()
{
    m_titleLabel->setText(currentTitle());
    m_titleLabel->setTextColor(currentTitleColor());
    if (auto shadow = titleShadowColorForState(state()))
        m_titleLabel->setShadowColor(*shadow);
    m_imageView->setImage(currentImage());
    // Without an image of its own for the disabled state, a disabled
    // button's image shows faded, as its title does in a bar.
    bool faded = !isEnabled() && m_adjustsImageWhenDisabled && !m_images.count(Disabled);
    m_imageView->setAlpha(faded ? DisabledImageAlpha : 1);
    setNeedsLayout();
    setNeedsDisplay();
}

gfx::Size Button::titleSize() const
{
    std::string title = currentTitle();
    if (title.empty())
        return {};
    return Fonts::sizeOfString(title, m_titleLabel->font());
}

gfx::Rect Button::backgroundRectForBounds(const gfx::Rect& bounds) const
{
    return bounds;
}

gfx::Rect Button::contentRectForBounds(const gfx::Rect& bounds) const
{
    return bounds.insetBy(m_contentInsets);
}

// Places content of `size` in `rect` less `insets`, after `offset` points
// of content before it on the line.
gfx::Rect Button::place(gfx::Size size, const gfx::Rect& rect, const gfx::EdgeInsets& insets, float offset) const
{
    gfx::Rect area = rect.insetBy(insets);
    gfx::Size image = currentImage() ? currentImage()->size() : gfx::Size {};
    float total = image.width + titleSize().width;
    float x;
    switch (contentHorizontalAlignment()) {
    case ContentHorizontalAlignment::Left:
        x = area.x();
        break;
    case ContentHorizontalAlignment::Right:
        x = area.maxX() - total;
        break;
    case ContentHorizontalAlignment::Fill:
        x = area.x();
        size.width = std::max(0.0f, area.width() - offset);
        break;
    default:
        x = area.x() + std::floor((area.width() - total) / 2);
        break;
    }
    float y;
    switch (contentVerticalAlignment()) {
    case ContentVerticalAlignment::Top:
        y = area.y();
        break;
    case ContentVerticalAlignment::Bottom:
        y = area.maxY() - size.height;
        break;
    case ContentVerticalAlignment::Fill:
        y = area.y();
        size.height = area.height();
        break;
    default:
        y = area.y() + std::floor((area.height() - size.height) / 2);
        break;
    }
    size.width = std::min(size.width, std::max(0.0f, area.maxX() - (x + offset)));
    return { x + offset, y, size.width, size.height };
}

gfx::Rect Button::titleRectForContentRect(const gfx::Rect& contentRect) const
{
    gfx::Size image = currentImage() ? currentImage()->size() : gfx::Size {};
    return place(titleSize(), contentRect, m_titleInsets, image.width);
}

gfx::Rect Button::imageRectForContentRect(const gfx::Rect& contentRect) const
{
    gfx::Size image = currentImage() ? currentImage()->size() : gfx::Size {};
    return place(image, contentRect, m_imageInsets, 0);
}

void Button::layoutSubviews()
{
    gfx::Rect content = contentRectForBounds(bounds());
    m_titleLabel->setFrame(titleRectForContentRect(content));
    m_imageView->setFrame(imageRectForContentRect(content));
}

gfx::Size Button::sizeThatFits(gfx::Size) const
{
    gfx::Size title = titleSize();
    gfx::Size image = currentImage() ? currentImage()->size() : gfx::Size {};
    gfx::Size background = currentBackgroundImage().size();
    float width = title.width + image.width + m_contentInsets.left + m_contentInsets.right + m_titleInsets.left
        + m_titleInsets.right + m_imageInsets.left + m_imageInsets.right;
    float height = std::max(title.height + m_titleInsets.top + m_titleInsets.bottom,
                       image.height + m_imageInsets.top + m_imageInsets.bottom)
        + m_contentInsets.top + m_contentInsets.bottom;
    return { std::max(width, background.width), std::max(height, background.height) };
}

} // namespace ui
