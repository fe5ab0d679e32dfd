#pragma once

// A reader's place in a scroll view as fractions that hold across screen
// sizes and zooms: the visible centre as a fraction of the content and the
// zoom as a fraction of the allowed range. The viewers store these as their
// "offset" and "zoom" state.

#include "Platform/Graphics/Geometry.h"

namespace ui {
class ScrollView;
}

// The offset limited, axis by axis, to the scrollable range: from minus the
// leading inset to content − visible + trailing inset (the smallest wins for
// content shorter than the visible area).
gfx::Point VKCroppedContentOffset(gfx::Point offset, gfx::Size contentSize, gfx::Size visibleSize,
    const gfx::EdgeInsets& inset);

// The visible centre as fractions of the content (0 on an axis of no
// length); setting scrolls there without animation.
gfx::Point vkNormalizedCenterOffset(const ui::ScrollView& view);
void vkSetNormalizedCenterOffset(ui::ScrollView& view, gfx::Point fractions);

// (zoom − minimum) / (maximum − minimum); 0 for an empty range.
float vkNormalizedZoomScale(const ui::ScrollView& view);
void vkSetNormalizedZoomScale(ui::ScrollView& view, float fraction);

// Shows `rect` (content coordinates) with `border` around it: horizontally
// as little as needed, while its top always goes to the top.
void vkScrollToEncloseRect(ui::ScrollView& view, const gfx::Rect& rect, float border, bool animated);

// Zooms to `scale` so that `point` (in the scroll view's space) stays where
// it shows, the zoomed rectangle kept inside the content.
void vkSetZoomScale(ui::ScrollView& view, float scale, gfx::Point point, bool animated);
