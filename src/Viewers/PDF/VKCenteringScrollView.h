#pragma once

// The zoomable scroll view in each cell of the horizontal layouts: it shows
// one content view (a page, or a spread) at a natural size, keeps it centred
// on an axis where it is smaller than the view, fits the whole content at
// its minimum zoom (a thousand times that is the maximum), keeps the zoom
// relative to that range across size changes, and fits the content's width
// or height on a double tap. The content view keeps its natural size as its
// bounds; the zoom is its transform, as in every zooming scroll view here.

#include "Viewers/PDF/VKScrollView.h"

class VKCenteringScrollView : public VKScrollView {
public:
    static std::shared_ptr<VKCenteringScrollView> create(const gfx::Rect& frame = {});

    gfx::Size naturalContentSize() const { return m_naturalContentSize; }
    // Sizes the content view to `size` at the current zoom. Sizes that are
    // no numbers, negative or beyond a million points count as 0. The zoom
    // limits follow at the next frame or inset change.
    void setNaturalContentSize(gfx::Size size);
    // Minimum: the natural size fits the bounds; maximum: 1000 × that. Only
    // with bounds and a natural size of no zero side.
    void setupZoomBoundaries();
    float zoomScaleForZoomRect(const gfx::Rect& rect) const;
    // `rect` in the content view's coordinates, the centring taken out.
    void zoomToRect(const gfx::Rect& rect, bool animated) override;
    void doubleTapRecognized(ui::GestureRecognizer& recognizer);
    // Fits the content's width (content relatively taller than the view) or
    // its height at a point of this view.
    void doubleTapAtPoint(gfx::Point point);
    // Centres the content on an axis where it is smaller than the bounds.
    void performLayout();

    // Keys move the content only along an axis where it is larger than the
    // view; on one where it is centred they go on to the pager, which turns
    // the page.
    bool performKeyCommand(ui::KeyCommand command) override;

    void layoutSubviews() override;
    void setFrame(const gfx::Rect& frame) override;
    void setContentInset(const gfx::EdgeInsets& inset) override;

private:
    gfx::Size m_naturalContentSize;
};

// Puts a view at `size` scaled by `zoom`, its bounds the unscaled size, at
// (0, 0): how a zooming scroll view holds its content.
void VKPlaceZoomedView(ui::View& view, gfx::Size size, float zoom);
