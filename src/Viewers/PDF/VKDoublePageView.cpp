#include "Viewers/PDF/VKDoublePageView.h"

#include "Kit/VKGeometry.h"

#include <algorithm>
#include <cmath>

namespace {

gfx::Size saneSize(gfx::Size size)
{
    auto one = [](float value) { return std::isfinite(value) && value > 0 ? std::min(value, 1e6f) : 0.0f; };
    return { one(size.width), one(size.height) };
}

// A fitted frame, or the zero rectangle at the part's origin for a size
// with a zero side.
gfx::Rect fit(gfx::Size size, const gfx::Rect& part)
{
    if (VKSizeIsEmpty(size) || part.isEmpty())
        return gfx::Rect(part.minX(), part.minY(), 0, 0);
    return VKSizeFitToRect(size, part, false);
}

} // namespace

std::shared_ptr<VKDoublePageView> VKDoublePageView::create(const gfx::Rect& frame)
{
    return ui::View::make<VKDoublePageView>(frame);
}

void VKDoublePageView::replace(std::shared_ptr<ui::View>& slot, std::shared_ptr<ui::View> view)
{
    if (view == slot)
        return;
    if (slot && slot->superview() == this)
        slot->removeFromSuperview();
    slot = std::move(view);
    if (slot) {
        slot->setTransform(gfx::AffineTransform());
        addSubview(slot);
    }
    setNeedsLayout();
}

void VKDoublePageView::setLeftView(std::shared_ptr<ui::View> view)
{
    replace(m_leftView, std::move(view));
}

void VKDoublePageView::setRightView(std::shared_ptr<ui::View> view)
{
    replace(m_rightView, std::move(view));
}

void VKDoublePageView::setLeftNaturalSize(gfx::Size size)
{
    m_leftNaturalSize = saneSize(size);
    setNeedsLayout();
}

void VKDoublePageView::setRightNaturalSize(gfx::Size size)
{
    m_rightNaturalSize = saneSize(size);
    setNeedsLayout();
}

gfx::Size VKDoublePageView::naturalSize() const
{
    return { m_leftNaturalSize.width + m_rightNaturalSize.width,
        std::max(m_leftNaturalSize.height, m_rightNaturalSize.height) };
}

void VKDoublePageView::layoutSubviews()
{
    ui::View::layoutSubviews();
    float lw = m_leftNaturalSize.width, rw = m_rightNaturalSize.width;
    float share = lw + rw > 0 ? lw / (lw + rw) : 0.5f;
    gfx::Rect r = fit(naturalSize(), bounds());
    float cut = std::round(share * r.width());
    gfx::Rect left(r.minX(), r.minY(), cut, r.height());
    gfx::Rect right(r.minX() + cut, r.minY(), r.width() - cut, r.height());
    if (m_leftView)
        m_leftView->setFrame(fit(m_leftNaturalSize, left));
    if (m_rightView)
        m_rightView->setFrame(fit(m_rightNaturalSize, right));
}
