#include "Viewers/Document/VKPageNumberOverlay.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/TextEngine.h"

#include <cmath>
#include <fmt/format.h>

std::shared_ptr<VKPageNumberOverlay> VKPageNumberOverlay::create(const gfx::Rect& frame)
{
    std::shared_ptr<VKPageNumberOverlay> view(new VKPageNumberOverlay());
    view->setOpaque(false);
    view->setBackgroundColor(gfx::Color());
    view->setUserInteractionEnabled(false);
    view->setFrame(frame);
    return view;
}

VKPageNumberOverlay::~VKPageNumberOverlay()
{
    m_fade.cancel();
}

gfx::Size VKPageNumberOverlay::sizeThatFits(gfx::Size size) const
{
    std::string widest = fmt::format("{}-{} of {}", m_pageCount, m_pageCount, m_pageCount);
    // Measured in whole points, as text sizes are.
    float needed = std::ceil(gfx::textEngine()->widthOfString(widest, font())) + 10;
    return { std::max(size.width, needed), size.height };
}

void VKPageNumberOverlay::setFrame(const gfx::Rect& frame)
{
    gfx::Size fitted = sizeThatFits(frame.size);
    ui::View::setFrame(gfx::Rect(frame.origin, fitted));
}

void VKPageNumberOverlay::refresh()
{
    ++m_redraws;
    setNeedsDisplay();
}

void VKPageNumberOverlay::setPageCount(unsigned count)
{
    if (count == m_pageCount)
        return;
    m_pageCount = count;
    setFrame(frame());
    refresh();
}

void VKPageNumberOverlay::setPageIndexRange(VKPageIndexRange range)
{
    if (range == m_range)
        return;
    m_range = range;
    refresh();
}

void VKPageNumberOverlay::setPageNumber(unsigned number)
{
    unsigned location = number == 0 ? 0 : number - 1;
    if (location == m_range.location)
        return;
    m_range.location = location;
    refresh();
}

void VKPageNumberOverlay::setAlpha(float alpha)
{
    m_fade.cancel();
    ui::View::setAlpha(alpha);
}

void VKPageNumberOverlay::fadeOut(bool fade, bool animated)
{
    m_fade.cancel();
    VKDelayedFade::apply(*this, fade, animated, "VKPageNumberOverlayAnim");
}

void VKPageNumberOverlay::fadeOut(bool fade, bool animated, double delay)
{
    std::weak_ptr<VKPageNumberOverlay> weak = sharedAs<VKPageNumberOverlay>();
    m_fade.schedule(sharedAs<ui::View>(), fade, animated, delay, [weak](bool fade, bool animated) {
        if (auto view = weak.lock())
            view->fadeOut(fade, animated);
    });
}

void VKPageNumberOverlay::draw(gfx::Context& context, const gfx::Rect&)
{
    if (m_pageCount == 0)
        return;
    gfx::Rect b = bounds();
    float radius = b.height() * 0.5f;
    context.setFillColor(gfx::Color::white(0, 0.5f));
    context.beginPath();
    context.addArc(b.minX() + radius, b.midY(), radius, float(M_PI) * 0.5f, float(M_PI) * 1.5f, false);
    context.addArc(b.maxX() - radius, b.midY(), radius, float(M_PI) * 1.5f, float(M_PI) * 0.5f, false);
    context.closePath();
    context.fillPath();
    auto engine = gfx::textEngine();
    std::string text = pageText();
    gfx::Font f = font();
    float lineHeight = engine->sizeOfString(text, f).height;
    gfx::Rect textRect(b.x() + 5, std::floor(b.midY() - lineHeight * 0.5f), b.width() - 10, lineHeight);
    context.setFillColor(gfx::Color::white(1));
    engine->drawString(context, text, textRect, f, gfx::LineBreakMode::TailTruncation, gfx::TextAlignment::Center);
}
