#include "Viewers/PDF/VKCenteringScrollView.h"

#include "Kit/ScrollViewAdditions.h"
#include "Kit/VKGeometry.h"
#include "Platform/UI/GestureRecognizer.h"
#include "Viewers/PDF/VKDocumentView.h"

#include <cmath>

namespace {

constexpr float LargestSide = 1e6f;

float sane(float value)
{
    return std::isfinite(value) && value > 0 ? std::min(value, LargestSide) : 0;
}

} // namespace

void VKPlaceZoomedView(ui::View& view, gfx::Size size, float zoom)
{
    view.setTransform(gfx::AffineTransform());
    view.setFrame(gfx::Rect(0, 0, size.width, size.height));
    view.setTransform(gfx::AffineTransform::scale(zoom, zoom));
    view.setCenter({ size.width * zoom / 2, size.height * zoom / 2 });
}

std::shared_ptr<VKCenteringScrollView> VKCenteringScrollView::create(const gfx::Rect& frame)
{
    auto view = ui::View::make<VKCenteringScrollView>(frame);
    view->becomeOwnDelegate();
    view->setAutoresizingMask(FlexibleWidth | FlexibleHeight);
    view->setShowsVerticalScrollIndicator(false);
    view->setShowsHorizontalScrollIndicator(false);
    return view;
}

void VKCenteringScrollView::setNaturalContentSize(gfx::Size size)
{
    size = { sane(size.width), sane(size.height) };
    m_naturalContentSize = size;
    float z = zoomScale();
    if (auto& content = contentView())
        VKPlaceZoomedView(*content, size, z);
    setContentSize({ size.width * z, size.height * z });
    setNeedsLayout();
}

void VKCenteringScrollView::setupZoomBoundaries()
{
    gfx::Size b = bounds().size;
    gfx::Size s = m_naturalContentSize;
    if (!(b.width > 0) || !(b.height > 0) || VKSizeIsEmpty(s))
        return;
    float minimum = std::min(b.width / s.width, b.height / s.height);
    if (!(minimum > 0) || !std::isfinite(minimum) || !std::isfinite(minimum * 1000))
        return;
    setMinimumZoomScale(minimum);
    setMaximumZoomScale(minimum * VKDocumentViewMaximumZoomScale);
}

float VKCenteringScrollView::zoomScaleForZoomRect(const gfx::Rect& rect) const
{
    gfx::Size b = bounds().size;
    return std::min(b.width / rect.width(), b.height / rect.height());
}

void VKCenteringScrollView::zoomToRect(const gfx::Rect& rect, bool animated)
{
    gfx::Point fo = contentView() ? contentView()->frame().origin : gfx::Point {};
    float z = zoomScale();
    float z2 = zoomScaleForZoomRect(rect);
    if (!(z2 > 0) || !std::isfinite(z2))
        z2 = z;
    gfx::Rect r(rect.minX() - (fo.x / z + fo.x / z2), rect.minY() - (fo.y / z + fo.y / z2), rect.width(), rect.height());
    if (!std::isfinite(r.minX()) || !std::isfinite(r.minY()))
        return;
    VKScrollView::zoomToRect(r, animated);
}

void VKCenteringScrollView::doubleTapRecognized(ui::GestureRecognizer& recognizer)
{
    doubleTapAtPoint(recognizer.locationInView(this));
}

void VKCenteringScrollView::doubleTapAtPoint(gfx::Point p)
{
    if (!contentView())
        return;
    gfx::Rect c = contentView()->bounds();
    gfx::Rect b = bounds();
    gfx::Size s = contentSize();
    if (c.isEmpty() || b.isEmpty())
        return;
    gfx::Rect line = c.width() / c.height() <= b.width() / b.height() ? gfx::Rect(0, p.y, s.width, 0)
                                                                     : gfx::Rect(p.x, 0, 0, s.height);
    gfx::Rect target = VKRectScale(VKZoomRectToEncloseRect(b, line), 1 / zoomScale());
    zoomToRect(target, true);
}

void VKCenteringScrollView::performLayout()
{
    auto& content = contentView();
    if (!content)
        return;
    gfx::Rect f = content->frame();
    gfx::Rect b = bounds();
    if (f.isEmpty() || b.isEmpty())
        return;
    gfx::Point o = contentOffset();
    gfx::Rect placed = f;
    if (f.width() < b.width()) {
        placed.origin.x = std::round((b.width() - f.width()) * 0.5f);
        o.x = 0;
    } else {
        placed.origin.x = 0;
    }
    if (f.height() < b.height()) {
        placed.origin.y = std::round((b.height() - f.height()) * 0.5f);
        o.y = 0;
    } else {
        placed.origin.y = 0;
    }
    if (placed.origin != f.origin)
        content->setCenter({ placed.midX(), placed.midY() });
    setContentOffset(o);
}

bool VKCenteringScrollView::performKeyCommand(ui::KeyCommand command)
{
    // The bars' insets widen the scroll range on a centred axis, whose
    // offset the layout keeps at 0: a key there would move the page and
    // the layout put it back, the key spent.
    auto& content = contentView();
    gfx::Rect f = content ? content->frame() : gfx::Rect();
    gfx::Rect b = bounds();
    bool sideways = command == ui::KeyCommand::Left || command == ui::KeyCommand::Right;
    if (sideways ? f.width() <= b.width() + 0.5f : f.height() <= b.height() + 0.5f)
        return false;
    return VKScrollView::performKeyCommand(command);
}

void VKCenteringScrollView::layoutSubviews()
{
    VKScrollView::layoutSubviews();
    performLayout();
}

void VKCenteringScrollView::setFrame(const gfx::Rect& frame)
{
    float zoom = vkNormalizedZoomScale(*this);
    VKScrollView::setFrame(frame);
    setupZoomBoundaries();
    vkSetNormalizedZoomScale(*this, zoom);
    performLayout();
}

void VKCenteringScrollView::setContentInset(const gfx::EdgeInsets& inset)
{
    float z = zoomScale();
    float zoom = vkNormalizedZoomScale(*this);
    VKScrollView::setContentInset(inset);
    setupZoomBoundaries();
    vkSetNormalizedZoomScale(*this, zoom);
    if (zoomScale() == z)
        performLayout();
}
