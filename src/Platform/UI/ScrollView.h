#pragma once

// A view whose bounds origin is its content offset. Every offset change
// goes through the virtual setContentOffset (drags, decelerations, paging,
// zooming, code), then the delegate hears didScroll and layout is marked.
// Dragging, coasting, paging, springing back and zooming are deterministic
// models on the main loop's clock, driven by a pan and a pinch recognizer of
// the view's own; a drift within the pan's 10 points never starts a drag, so
// the content keeps its touches. Clips to its bounds by default.

#include "Platform/Core/Observable.h"
#include "Platform/UI/View.h"

#include <memory>

namespace ui {

class ClockAnimation;
class GestureRecognizer;
class PanGestureRecognizer;
class PinchGestureRecognizer;
class ScrollView;

class ScrollViewDelegate {
public:
    virtual ~ScrollViewDelegate() = default;
    virtual void didScroll(ScrollView&) { }
    virtual void willBeginDragging(ScrollView&) { }
    virtual void didEndDragging(ScrollView&, bool willDecelerate) { (void)willDecelerate; }
    virtual void willBeginDecelerating(ScrollView&) { }
    virtual void didEndDecelerating(ScrollView&) { }
    virtual void didEndScrollingAnimation(ScrollView&) { }
    // The view that zooming scales; none: the scroll view does not zoom.
    virtual View* viewForZooming(ScrollView&) { return nullptr; }
    virtual void willBeginZooming(ScrollView&, View* view) { (void)view; }
    virtual void didZoom(ScrollView&) { }
    virtual void didEndZooming(ScrollView&, View* view, float scale) { (void)view, (void)scale; }
};

class ScrollView : public View {
public:
    enum class IndicatorStyle { Default = 0, Black = 1, White = 2 };
    // Seconds.
    static constexpr double AnimationDuration = 0.3;
    static constexpr double DecelerationDuration = 1.0;
    static constexpr double ContentTouchDelay = 0.15;
    static constexpr double IndicatorFlashDuration = 0.5;
    // A coast travels the lift-off speed times this many seconds.
    static constexpr float CoastFactor = 0.35f;
    // Lift-off speeds (points per second) from which paging turns the page
    // in the drag's direction, whatever the distance.
    static constexpr float PagingFlickSpeed = 300;
    static constexpr float IndicatorThickness = 7;

    static std::shared_ptr<ScrollView> create(const gfx::Rect& frame = {});
    ScrollView();
    ~ScrollView() override;

    gfx::Point contentOffset() const { return m_offset.get(); }
    // Every change of the offset passes here.
    virtual void setContentOffset(gfx::Point offset);
    // Animated: the final offset now (through the setter), did-end-scrolling-
    // animation once the clock passes the animation's duration.
    void setContentOffset(gfx::Point offset, bool animated);
    core::Observation observeContentOffset(std::function<void(const gfx::Point&, const gfx::Point&)> observer)
    {
        return m_offset.observe(std::move(observer));
    }
    gfx::Size contentSize() const { return m_contentSize; }
    virtual void setContentSize(gfx::Size size);
    gfx::EdgeInsets contentInset() const { return m_contentInset; }
    virtual void setContentInset(const gfx::EdgeInsets& inset);
    gfx::EdgeInsets scrollIndicatorInsets() const { return m_indicatorInsets; }
    void setScrollIndicatorInsets(const gfx::EdgeInsets& insets);
    // The offsets the content may rest at, insets included.
    gfx::Point minimumContentOffset() const;
    gfx::Point maximumContentOffset() const;
    // Scrolls as little as shows `rect` (content coordinates).
    void scrollRectToVisible(const gfx::Rect& rect, bool animated);

    std::shared_ptr<ScrollViewDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<ScrollViewDelegate> delegate);

    bool isScrollEnabled() const { return m_scrollEnabled; }
    void setScrollEnabled(bool enabled);
    bool isPagingEnabled() const { return m_pagingEnabled; }
    void setPagingEnabled(bool enabled) { m_pagingEnabled = enabled; }
    bool bounces() const { return m_bounces; }
    void setBounces(bool bounces) { m_bounces = bounces; }
    bool alwaysBounceVertical() const { return m_alwaysBounceVertical; }
    void setAlwaysBounceVertical(bool bounce) { m_alwaysBounceVertical = bounce; }
    bool alwaysBounceHorizontal() const { return m_alwaysBounceHorizontal; }
    void setAlwaysBounceHorizontal(bool bounce) { m_alwaysBounceHorizontal = bounce; }
    bool isDirectionalLockEnabled() const { return m_directionalLock; }
    void setDirectionalLockEnabled(bool enabled) { m_directionalLock = enabled; }
    // A touch that lands in the content reaches it only after
    // ContentTouchDelay, or at once when the finger lifts sooner; a drag that
    // starts first takes the touch, and the content never hears of it.
    bool delaysContentTouches() const { return m_delaysContentTouches; }
    void setDelaysContentTouches(bool delays) { m_delaysContentTouches = delays; }
    // Whether a drag may start over content that already has its touch.
    bool canCancelContentTouches() const { return m_canCancelContentTouches; }
    void setCanCancelContentTouches(bool cancels) { m_canCancelContentTouches = cancels; }
    float decelerationRate() const { return m_decelerationRate; }
    void setDecelerationRate(float rate) { m_decelerationRate = rate; }

    // Indicators: two views shown while scrolling and when flashed.
    bool showsHorizontalScrollIndicator() const { return m_showsHorizontalIndicator; }
    void setShowsHorizontalScrollIndicator(bool shows) { m_showsHorizontalIndicator = shows; }
    bool showsVerticalScrollIndicator() const { return m_showsVerticalIndicator; }
    void setShowsVerticalScrollIndicator(bool shows) { m_showsVerticalIndicator = shows; }
    IndicatorStyle indicatorStyle() const { return m_indicatorStyle; }
    void setIndicatorStyle(IndicatorStyle style) { m_indicatorStyle = style; }
    void flashScrollIndicators();
    View* horizontalScrollIndicator() const { return m_horizontalIndicator.get(); }
    View* verticalScrollIndicator() const { return m_verticalIndicator.get(); }

    // Zooming scales the delegate's viewForZooming about its top left corner
    // and makes the content size its scaled size. Scales ≤ 0 or NaN throw;
    // others are clamped to the limits.
    float zoomScale() const { return m_zoomScale; }
    void setZoomScale(float scale);
    void setZoomScale(float scale, bool animated);
    float minimumZoomScale() const { return m_minimumZoomScale; }
    void setMinimumZoomScale(float scale);
    float maximumZoomScale() const { return m_maximumZoomScale; }
    void setMaximumZoomScale(float scale);
    bool bouncesZoom() const { return m_bouncesZoom; }
    void setBouncesZoom(bool bounces) { m_bouncesZoom = bounces; }
    // Zooms so that `rect` (in the zooming view's coordinates) fills the
    // bounds as far as the limits allow, centred on it.
    virtual void zoomToRect(const gfx::Rect& rect, bool animated);

    bool isTracking() const { return m_tracking; }
    bool isDragging() const { return m_dragging; }
    bool isDecelerating() const { return m_decelerating; }
    bool isZooming() const { return m_zooming; }
    bool isZoomBouncing() const { return m_zoomBouncing; }

    // Whether the content view keeps a touch that began in it, and whether a
    // drag may take it away once the view has it (by default: yes for views,
    // no for controls, so a switch or a button held keeps its touch; no for
    // all without canCancelContentTouches). A drag that may not take a touch
    // does not start.
    virtual bool touchesShouldBegin(const View* contentView) const { (void)contentView; return true; }
    virtual bool touchesShouldCancelInContentView(const View* view) const;
    // Whether a gesture of this scroll view may take these touches from the
    // content views that have them.
    bool contentMayLoseTouches(const TouchSet& touches) const;
    // Whether a touch landing on `view` (in the content) is held back
    // (delaysContentTouches while scrolling is on, by default).
    virtual bool delaysTouchesInContentView(const View* view) const;

    // Whether a drag of this translation may move the view: always, unless
    // an enclosing scroll view scrolls along the drag's main axis; then only
    // when this view can move that way (a fitted page, or a zoomed one at its
    // edge, leaves the drag to the enclosing pager).
    bool canMoveAlongDrag(gfx::Point translation) const;
    PanGestureRecognizer& panGestureRecognizer() const { return *m_pan; }
    PinchGestureRecognizer& pinchGestureRecognizer() const { return *m_pinch; }

    void setBounds(const gfx::Rect& bounds) override;
    void layoutSubviews() override;
    // Arrows move a line, Page Up/Down a screen less a line (a whole page
    // when paging, sideways where only that way scrolls), Home/End to an
    // end; false where it cannot move that way, so an outer scroll view
    // may.
    bool performKeyCommand(KeyCommand command) override;
    static constexpr float KeyLine = 40;
    // A wheel scrolls it where it can move that way (within its content,
    // never pulling a bounce back); Ctrl and the wheel, or a touchpad's
    // pinch, zoom it about the pointer where it zooms. Otherwise the event
    // goes on to the views around it.
    bool wheelEvent(const Event& event) override;

protected:
    // Stops a running coast, page turn or animated scroll where it is.
    void stopScrolling();
    View* zoomingView();

private:
    void handlePan();
    void handlePinch();
    void endDrag(gfx::Point velocity);
    void coastTo(gfx::Point target, double duration, bool easeOut);
    gfx::Point clamped(gfx::Point offset) const;
    gfx::Point rubberBanded(gfx::Point offset) const;
    bool scrollsHorizontally() const;
    bool scrollsVertically() const;
    void applyZoom(float scale, gfx::Point anchorInBounds);
    void showIndicators(bool shown);
    void afterAnimation(void (ScrollView::*finish)());
    void endScrollingAnimation();
    void endZoomAnimation();

    core::Observable<gfx::Point> m_offset;
    gfx::Size m_contentSize;
    gfx::EdgeInsets m_contentInset;
    gfx::EdgeInsets m_indicatorInsets;
    std::weak_ptr<ScrollViewDelegate> m_delegate;
    std::shared_ptr<PanGestureRecognizer> m_pan;
    std::shared_ptr<PinchGestureRecognizer> m_pinch;
    std::shared_ptr<View> m_horizontalIndicator;
    std::shared_ptr<View> m_verticalIndicator;
    std::shared_ptr<ClockAnimation> m_animation;
    std::shared_ptr<int> m_pendingEnd;
    gfx::Point m_dragStartOffset;
    int m_lockedAxis = 0; // 0 none, 1 horizontal, 2 vertical
    float m_pinchStartScale = 1;
    float m_zoomScale = 1;
    float m_minimumZoomScale = 1;
    float m_maximumZoomScale = 1;
    float m_decelerationRate = 0.998f;
    IndicatorStyle m_indicatorStyle = IndicatorStyle::Default;
    bool m_scrollEnabled = true;
    bool m_pagingEnabled = false;
    bool m_bounces = true;
    bool m_alwaysBounceVertical = false;
    bool m_alwaysBounceHorizontal = false;
    bool m_directionalLock = false;
    bool m_delaysContentTouches = true;
    bool m_canCancelContentTouches = true;
    bool m_showsHorizontalIndicator = true;
    bool m_showsVerticalIndicator = true;
    bool m_bouncesZoom = true;
    bool m_tracking = false;
    bool m_dragging = false;
    bool m_decelerating = false;
    bool m_zooming = false;
    bool m_zoomBouncing = false;
};

} // namespace ui
