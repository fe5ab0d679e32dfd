#include "Platform/UI/ActivityIndicator.h"

namespace ui {

std::shared_ptr<ActivityIndicator> ActivityIndicator::create(Style style)
{
    float side = sideForStyle(style);
    auto view = View::make<ActivityIndicator>({ 0, 0, side, side });
    view->m_style = style;
    view->setUserInteractionEnabled(false);
    view->setHidden(true);
    return view;
}

void ActivityIndicator::setActivityIndicatorViewStyle(Style style)
{
    m_style = style;
    gfx::Rect f = frame();
    f.size = sizeThatFits({});
    setFrame(f);
}

void ActivityIndicator::startAnimating()
{
    m_animating = true;
    setHidden(false);
    setNeedsDisplay();
}

void ActivityIndicator::stopAnimating()
{
    m_animating = false;
    if (m_hidesWhenStopped)
        setHidden(true);
    setNeedsDisplay();
}

void ActivityIndicator::setHidesWhenStopped(bool hides)
{
    m_hidesWhenStopped = hides;
    if (hides && !m_animating)
        setHidden(true);
}

gfx::Size ActivityIndicator::sizeThatFits(gfx::Size) const
{
    float side = sideForStyle(m_style);
    return { side, side };
}

} // namespace ui
