#include "Viewers/PDF/VKScrollTrackView.h"

#include "Kit/VKGeometry.h"

#include <algorithm>

std::shared_ptr<VKScrollTrackView> VKScrollTrackView::create(const gfx::Rect& frame)
{
    return ui::View::make<VKScrollTrackView>(frame);
}

VKScrollTrackView::VKScrollTrackView()
    : m_trackLayer(ui::Layer::create())
    , m_trackHighlightLayer(ui::Layer::create())
{
    setUserInteractionEnabled(false);
    setOpaque(false);
    m_trackLayer->setCornerRadius(CornerRadius);
    m_trackHighlightLayer->setCornerRadius(CornerRadius);
    layer().addSublayer(m_trackHighlightLayer);
    layer().addSublayer(m_trackLayer);
    updateTrackView();
}

void VKScrollTrackView::setEdge(int edge)
{
    m_edge = edge;
    performLayout();
}

void VKScrollTrackView::setActive(bool active)
{
    m_active = active;
    updateTrackView();
}

void VKScrollTrackView::setShowsPlaceholder(bool shows)
{
    m_showsPlaceholder = shows;
    updateTrackView();
}

void VKScrollTrackView::setActiveColor(const gfx::Color& color)
{
    m_activeColor = color;
    updateTrackView();
}

void VKScrollTrackView::setPlaceholderColor(const gfx::Color& color)
{
    m_placeholderColor = color;
    updateTrackView();
}

void VKScrollTrackView::updateTrackView()
{
    if (m_active) {
        m_trackLayer->setBackgroundColor(m_activeColor);
        m_trackLayer->setHidden(false);
        m_trackHighlightLayer->setHidden(true);
    } else if (m_showsPlaceholder) {
        m_trackLayer->setBackgroundColor(m_placeholderColor);
        m_trackHighlightLayer->setBackgroundColor(m_highlightColor);
        m_trackLayer->setHidden(false);
        m_trackHighlightLayer->setHidden(false);
    } else {
        m_trackLayer->setHidden(true);
        m_trackHighlightLayer->setHidden(true);
    }
}

void VKScrollTrackView::performLayout()
{
    float t = (VKHitRegionWidth - 8.0f) * 0.5f;
    gfx::Rect b = bounds();
    gfx::Rect track = (m_edge == Left || m_edge == Right) ? b.insetBy(t, t * 0.5f) : b.insetBy(t, t);
    // Too small for a track: none, in the middle.
    if (track.isNull() || !(track.width() > 0) || !(track.height() > 0))
        track = gfx::Rect(b.midX(), b.midY(), 0, 0);
    m_trackLayer->setFrame(track);
    m_trackHighlightLayer->setFrame(track.isEmpty() ? track : track.insetBy(-1, -1));
}

void VKScrollTrackView::setFrame(const gfx::Rect& frame)
{
    gfx::Rect old = this->frame();
    ui::View::setFrame(frame);
    if (old != frame)
        performLayout();
}

void VKScrollTrackView::layoutSubviews()
{
    performLayout();
}

float VKScrollTrackView::valueForPoint(gfx::Point point) const
{
    gfx::Rect b = bounds();
    if (b.isEmpty())
        return 0;
    float value;
    if (m_edge == Left || m_edge == Right)
        value = (point.y - b.minY() - b.width() * 0.5f) / (b.height() - b.width());
    else
        value = (point.x - b.minX() - b.height() * 0.5f) / (b.width() - b.height());
    if (!(value > 0))
        return 0;
    return std::min(value, 1.0f);
}
