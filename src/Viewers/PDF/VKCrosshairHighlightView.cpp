#include "Viewers/PDF/VKCrosshairHighlightView.h"

std::shared_ptr<VKCrosshairHighlightView> VKCrosshairHighlightView::create(const gfx::Rect& frame)
{
    return ui::View::make<VKCrosshairHighlightView>(frame);
}

VKCrosshairHighlightView::VKCrosshairHighlightView()
    : m_horizontalGuide(ui::View::create())
    , m_verticalGuide(ui::View::create())
{
    setOpaque(false);
    addSubview(m_horizontalGuide);
    addSubview(m_verticalGuide);
    setBandColor(gfx::Color(1.0f, 0.5f, 0.0f, 0.2f));
}

gfx::Color VKCrosshairHighlightView::bandColorForTesting() const
{
    return m_horizontalGuide->backgroundColor();
}

void VKCrosshairHighlightView::setBandColor(const gfx::Color& color)
{
    m_horizontalGuide->setBackgroundColor(color);
    m_verticalGuide->setBackgroundColor(color);
}

void VKCrosshairHighlightView::layoutSubviews()
{
    gfx::Rect f = frame();
    gfx::Size outer = superview() ? superview()->bounds().size : gfx::Size {};
    m_horizontalGuide->setFrame(gfx::Rect(0, -f.minY(), f.width(), outer.height));
    m_verticalGuide->setFrame(gfx::Rect(-f.minX(), 0, outer.width, f.height()));
}
