#include "Kit/ScrollViewAdditions.h"

#include "Platform/UI/ScrollView.h"

#include <algorithm>

gfx::Point VKCroppedContentOffset(gfx::Point offset, gfx::Size contentSize, gfx::Size visibleSize,
    const gfx::EdgeInsets& inset)
{
    // Content shorter than the visible area has nowhere to go past its
    // start: the smallest offset wins whichever side the offset was on.
    auto crop = [](float value, float least, float most) {
        most = std::max(most, least);
        if (value < least)
            return least;
        if (value > most)
            return most;
        return value;
    };
    return { crop(offset.x, -inset.left, contentSize.width - visibleSize.width + inset.right),
        crop(offset.y, -inset.top, contentSize.height - visibleSize.height + inset.bottom) };
}

gfx::Point vkNormalizedCenterOffset(const ui::ScrollView& view)
{
    gfx::Size content = view.contentSize();
    gfx::Size size = view.bounds().size;
    gfx::Point offset = VKCroppedContentOffset(view.contentOffset(), content, size, view.contentInset());
    return { content.width != 0 ? (offset.x + size.width / 2) / content.width : 0,
        content.height != 0 ? (offset.y + size.height / 2) / content.height : 0 };
}

void vkSetNormalizedCenterOffset(ui::ScrollView& view, gfx::Point fractions)
{
    gfx::Size content = view.contentSize();
    gfx::Size size = view.bounds().size;
    gfx::Point offset { fractions.x * content.width - size.width / 2, fractions.y * content.height - size.height / 2 };
    view.setContentOffset(VKCroppedContentOffset(offset, content, size, view.contentInset()), false);
}

float vkNormalizedZoomScale(const ui::ScrollView& view)
{
    float range = view.maximumZoomScale() - view.minimumZoomScale();
    if (!(range > 0))
        return 0;
    return (view.zoomScale() - view.minimumZoomScale()) / range;
}

void vkSetNormalizedZoomScale(ui::ScrollView& view, float fraction)
{
    view.setZoomScale(view.minimumZoomScale() + fraction * (view.maximumZoomScale() - view.minimumZoomScale()));
}

void vkScrollToEncloseRect(ui::ScrollView& view, const gfx::Rect& rect, float border, bool animated)
{
    gfx::EdgeInsets inset = view.contentInset();
    gfx::Rect bounds = view.bounds();
    gfx::Rect visible = bounds.insetBy(inset).insetBy(border, border);
    if (visible.isNull() || visible.width() <= 0 || visible.height() <= 0)
        visible = gfx::Rect::zero();
    gfx::Point offset = view.contentOffset();
    if (visible.minX() > rect.minX())
        offset.x -= visible.minX() - rect.minX();
    else if (rect.maxX() > visible.maxX())
        offset.x += rect.maxX() - visible.maxX();
    float y = rect.minY() - inset.top - border;
    y = std::min(y, view.contentSize().height + inset.bottom - bounds.height());
    offset.y = std::max(y, -inset.top);
    view.setContentOffset(offset, animated);
}

void vkSetZoomScale(ui::ScrollView& view, float scale, gfx::Point point, bool animated)
{
    float old = view.zoomScale();
    scale = std::clamp(scale, view.minimumZoomScale(), std::max(view.minimumZoomScale(), view.maximumZoomScale()));
    if (!(old > 0) || !(scale > 0))
        return;
    gfx::Size size = view.bounds().size;
    gfx::Point offset = view.contentOffset();
    // The point in the zooming view's own units and where it shows now.
    gfx::Point unscaled { point.x / old, point.y / old };
    gfx::Point shown { point.x - offset.x, point.y - offset.y };
    gfx::Size base { view.contentSize().width / old, view.contentSize().height / old };
    gfx::Size visible { size.width / scale, size.height / scale };
    gfx::Point origin { unscaled.x - shown.x / scale, unscaled.y - shown.y / scale };
    origin.x = std::clamp(origin.x, 0.0f, std::max(0.0f, base.width - visible.width));
    origin.y = std::clamp(origin.y, 0.0f, std::max(0.0f, base.height - visible.height));
    view.zoomToRect({ origin, visible }, animated);
}
