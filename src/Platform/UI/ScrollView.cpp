#include "Platform/UI/ScrollView.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/ClockAnimation.h"
#include "Platform/UI/Control.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/PanGestureRecognizer.h"
#include "Platform/UI/PinchGestureRecognizer.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/Touch.h"

#include <algorithm>
#include <cmath>

#include <algorithm>
#include <cmath>
#include <fmt/format.h>

namespace ui {

namespace {

// The scroll view's drag: it does not start while a content view that has
// its touch may not lose it, nor where the view cannot move along the drag
// while an enclosing scroll view can take it.
class ScrollViewPan : public PanGestureRecognizer {
public:
    bool canBegin() const override
    {
        auto* scroll = dynamic_cast<ScrollView*>(view());
        return !scroll
            || (scroll->contentMayLoseTouches(touches()) && scroll->canMoveAlongDrag(translationInView(scroll)));
    }
};

} // namespace

std::shared_ptr<ScrollView> ScrollView::create(const gfx::Rect& frame)
{
    return make<ScrollView>(frame);
}

ScrollView::ScrollView()
    : m_pan(std::make_shared<ScrollViewPan>())
    , m_pinch(PinchGestureRecognizer::create())
{
    setClipsToBounds(true);
    // The actions find their scroll view through the recognizer, so nothing
    // the view owns refers back to it.
    m_pan->addTarget(nullptr, "handlePan", [](GestureRecognizer& recognizer) {
        if (auto* view = dynamic_cast<ScrollView*>(recognizer.view()))
            view->handlePan();
    });
    m_pinch->addTarget(nullptr, "handlePinch", [](GestureRecognizer& recognizer) {
        if (auto* view = dynamic_cast<ScrollView*>(recognizer.view()))
            view->handlePinch();
    });
    addGestureRecognizer(m_pan);
    addGestureRecognizer(m_pinch);
}

ScrollView::~ScrollView() = default;

void ScrollView::setDelegate(std::weak_ptr<ScrollViewDelegate> delegate)
{
    m_delegate = std::move(delegate);
}

// Offsets

void ScrollView::setContentOffset(gfx::Point offset)
{
    requireMainThread("ScrollView::setContentOffset");
    requireFinite(offset, "ScrollView::setContentOffset");
    gfx::Rect b = bounds();
    if (b.origin == offset && m_offset.get() == offset)
        return;
    b.origin = offset;
    View::setBounds(b);
    m_offset.set(offset);
    setNeedsLayout();
    if (auto d = delegate())
        d->didScroll(*this);
}

void ScrollView::setContentOffset(gfx::Point offset, bool animated)
{
    stopScrolling();
    m_pendingEnd.reset();
    setContentOffset(offset);
    if (animated)
        afterAnimation(&ScrollView::endScrollingAnimation);
}

void ScrollView::setBounds(const gfx::Rect& bounds)
{
    gfx::Rect current = this->bounds();
    if (bounds.size != current.size)
        View::setBounds({ current.origin, bounds.size });
    if (bounds.origin != current.origin)
        setContentOffset(bounds.origin);
}

void ScrollView::setContentSize(gfx::Size size)
{
    requireFinite(size, "ScrollView::setContentSize");
    if (m_contentSize == size)
        return;
    m_contentSize = size;
    setNeedsLayout();
}

void ScrollView::setContentInset(const gfx::EdgeInsets& inset)
{
    m_contentInset = inset;
    setNeedsLayout();
}

void ScrollView::setScrollIndicatorInsets(const gfx::EdgeInsets& insets)
{
    m_indicatorInsets = insets;
    setNeedsLayout();
}

gfx::Point ScrollView::minimumContentOffset() const
{
    return { -m_contentInset.left, -m_contentInset.top };
}

gfx::Point ScrollView::maximumContentOffset() const
{
    gfx::Size size = bounds().size;
    gfx::Point least = minimumContentOffset();
    return { std::max(least.x, m_contentSize.width - size.width + m_contentInset.right),
        std::max(least.y, m_contentSize.height - size.height + m_contentInset.bottom) };
}

gfx::Point ScrollView::clamped(gfx::Point offset) const
{
    gfx::Point least = minimumContentOffset(), most = maximumContentOffset();
    return { std::clamp(offset.x, least.x, most.x), std::clamp(offset.y, least.y, most.y) };
}

// Past either end a drag moves the content half the finger's distance.
gfx::Point ScrollView::rubberBanded(gfx::Point offset) const
{
    gfx::Point limit = clamped(offset);
    if (!m_bounces)
        return limit;
    return { limit.x + (offset.x - limit.x) / 2, limit.y + (offset.y - limit.y) / 2 };
}

bool ScrollView::scrollsHorizontally() const
{
    return m_alwaysBounceHorizontal
        || m_contentSize.width + m_contentInset.left + m_contentInset.right > bounds().width();
}

bool ScrollView::scrollsVertically() const
{
    return m_alwaysBounceVertical
        || m_contentSize.height + m_contentInset.top + m_contentInset.bottom > bounds().height();
}

bool ScrollView::canMoveAlongDrag(gfx::Point translation) const
{
    bool horizontal = std::abs(translation.x) > std::abs(translation.y);
    float along = horizontal ? translation.x : translation.y;
    auto scrolls = [horizontal](const ScrollView& view) {
        return horizontal ? view.scrollsHorizontally() : view.scrollsVertically();
    };
    bool enclosed = false;
    for (View* view = superview(); view && !enclosed; view = view->superview())
        if (auto* outer = dynamic_cast<ScrollView*>(view); outer && outer->isScrollEnabled() && scrolls(*outer))
            enclosed = true;
    if (!enclosed)
        return true;
    if (!scrolls(*this))
        return false;
    // A drag to the right or down moves towards the least offset.
    float at = horizontal ? contentOffset().x : contentOffset().y;
    float least = horizontal ? minimumContentOffset().x : minimumContentOffset().y;
    float most = horizontal ? maximumContentOffset().x : maximumContentOffset().y;
    return along > 0 ? at > least + 0.5f : at < most - 0.5f;
}

void ScrollView::scrollRectToVisible(const gfx::Rect& rect, bool animated)
{
    gfx::Point offset = contentOffset();
    gfx::Size size = bounds().size;
    auto axis = [](float current, float length, float low, float high) {
        if (low < current)
            return low;
        if (high > current + length)
            return std::min(low, high - length);
        return current;
    };
    gfx::Point target = clamped({ axis(offset.x, size.width, rect.minX(), rect.maxX()),
        axis(offset.y, size.height, rect.minY(), rect.maxY()) });
    if (target != offset)
        setContentOffset(target, animated);
}

bool ScrollView::performKeyCommand(KeyCommand command)
{
    if (!m_scrollEnabled || isTracking())
        return false;
    gfx::Point offset = contentOffset(), low = minimumContentOffset(), high = maximumContentOffset();
    high = { std::max(low.x, high.x), std::max(low.y, high.y) };
    bool sideways = high.y - low.y < 0.5f && high.x - low.x >= 0.5f;
    gfx::Size size = bounds().size;
    float across = m_pagingEnabled ? size.width : std::max(KeyLine, size.width - KeyLine);
    float down = m_pagingEnabled ? size.height : std::max(KeyLine, size.height - KeyLine);
    gfx::Point target = offset;
    switch (command) {
    case KeyCommand::Up:
        target.y -= m_pagingEnabled ? size.height : KeyLine;
        break;
    case KeyCommand::Down:
        target.y += m_pagingEnabled ? size.height : KeyLine;
        break;
    case KeyCommand::Left:
        target.x -= m_pagingEnabled ? size.width : KeyLine;
        break;
    case KeyCommand::Right:
        target.x += m_pagingEnabled ? size.width : KeyLine;
        break;
    case KeyCommand::PageUp:
        (sideways ? target.x : target.y) -= sideways ? across : down;
        break;
    case KeyCommand::PageDown:
        (sideways ? target.x : target.y) += sideways ? across : down;
        break;
    case KeyCommand::Home:
        (sideways ? target.x : target.y) = sideways ? low.x : low.y;
        break;
    case KeyCommand::End:
        (sideways ? target.x : target.y) = sideways ? high.x : high.y;
        break;
    default:
        return false;
    }
    target = { std::clamp(target.x, low.x, high.x), std::clamp(target.y, low.y, high.y) };
    if (std::abs(target.x - offset.x) < 0.5f && std::abs(target.y - offset.y) < 0.5f)
        return false;
    auto keep = shared_from_this();
    setContentOffset(target);
    // A page turned by a key ends as a swipe's would.
    if (m_pagingEnabled)
        if (auto d = delegate())
            d->didEndDecelerating(*this);
    return true;
}

void ScrollView::setScrollEnabled(bool enabled)
{
    m_scrollEnabled = enabled;
    m_pan->setEnabled(enabled);
}

bool ScrollView::touchesShouldCancelInContentView(const View* view) const
{
    return m_canCancelContentTouches && !dynamic_cast<const Control*>(view);
}

bool ScrollView::contentMayLoseTouches(const TouchSet& touches) const
{
    for (auto& touch : touches) {
        View* content = touch->view().get();
        if (content && content != this && touch->isDeliveredToView() && !touch->isCancelledInView()
            && !touchesShouldCancelInContentView(content))
            return false;
    }
    return true;
}

bool ScrollView::delaysTouchesInContentView(const View*) const
{
    return m_delaysContentTouches && m_scrollEnabled;
}

// Dragging and coasting

void ScrollView::stopScrolling()
{
    if (m_animation) {
        m_animation->cancel();
        m_animation.reset();
    }
    m_decelerating = false;
}

void ScrollView::handlePan()
{
    using State = GestureRecognizer::State;
    auto keep = shared_from_this();
    switch (m_pan->state()) {
    case State::Began: {
        stopScrolling();
        m_tracking = m_dragging = true;
        m_dragStartOffset = contentOffset();
        gfx::Point t = m_pan->translationInView(this);
        m_lockedAxis = !m_directionalLock ? 0 : std::abs(t.x) > std::abs(t.y) ? 1 : 2;
        showIndicators(true);
        if (auto d = delegate())
            d->willBeginDragging(*this);
        [[fallthrough]];
    }
    case State::Changed: {
        gfx::Point t = m_pan->translationInView(this);
        gfx::Point target = m_dragStartOffset;
        if (scrollsHorizontally() && m_lockedAxis != 2)
            target.x -= t.x;
        if (scrollsVertically() && m_lockedAxis != 1)
            target.y -= t.y;
        setContentOffset(rubberBanded(target));
        break;
    }
    case State::Ended: {
        m_tracking = false;
        gfx::Point v = m_pan->velocityInView(this);
        endDrag({ scrollsHorizontally() && m_lockedAxis != 2 ? -v.x : 0,
            scrollsVertically() && m_lockedAxis != 1 ? -v.y : 0 });
        break;
    }
    case State::Cancelled:
    case State::Failed:
        if (m_dragging) {
            m_tracking = false;
            endDrag({});
        }
        break;
    default:
        break;
    }
}

// Where a lifted drag goes: paging to the page the drag chose, back inside
// the content when it was pulled past an end, else coasting on its speed.
void ScrollView::endDrag(gfx::Point velocity)
{
    gfx::Point offset = contentOffset();
    gfx::Point target = offset;
    double duration = AnimationDuration;
    bool easeOut = false;
    if (m_pagingEnabled) {
        auto page = [&](float at, float speed, float start, float length, float content) {
            if (length <= 0)
                return at;
            float turned = std::abs(speed) >= PagingFlickSpeed
                ? (speed > 0 ? std::floor(at / length) + 1 : std::ceil(at / length) - 1)
                : std::round(at / length);
            (void)start;
            float last = std::max(0.0f, std::ceil(content / length) - 1);
            return std::clamp(turned, 0.0f, last) * length;
        };
        gfx::Size size = bounds().size;
        target = { page(offset.x, velocity.x, m_dragStartOffset.x, size.width, m_contentSize.width),
            page(offset.y, velocity.y, m_dragStartOffset.y, size.height, m_contentSize.height) };
    } else if (clamped(offset) != offset) {
        target = clamped(offset);
    } else if (velocity.x != 0 || velocity.y != 0) {
        target = clamped({ offset.x + velocity.x * CoastFactor, offset.y + velocity.y * CoastFactor });
        duration = DecelerationDuration;
        easeOut = true;
    }
    bool coasts = target != offset;
    if (auto d = delegate())
        d->didEndDragging(*this, coasts);
    m_dragging = false;
    if (!coasts) {
        showIndicators(false);
        return;
    }
    m_decelerating = true;
    if (auto d = delegate())
        d->willBeginDecelerating(*this);
    coastTo(target, duration, easeOut);
}

void ScrollView::coastTo(gfx::Point target, double duration, bool easeOut)
{
    gfx::Point from = contentOffset();
    std::weak_ptr<core::Object> weak = weak_from_this();
    m_animation = ClockAnimation::start(duration,
        [weak, from, target, easeOut](double f) {
            auto self = std::static_pointer_cast<ScrollView>(weak.lock());
            if (!self)
                return;
            float e = easeOut ? float(1 - std::pow(1 - f, 3)) : float(f * f * (3 - 2 * f));
            self->setContentOffset(f >= 1 ? target
                                          : gfx::Point { from.x + (target.x - from.x) * e, from.y + (target.y - from.y) * e });
        },
        [weak] {
            auto self = std::static_pointer_cast<ScrollView>(weak.lock());
            if (!self)
                return;
            self->m_animation.reset();
            self->m_decelerating = false;
            self->showIndicators(false);
            if (auto d = self->delegate())
                d->didEndDecelerating(*self);
        });
}

void ScrollView::afterAnimation(void (ScrollView::*finish)())
{
    m_pendingEnd = std::make_shared<int>(0);
    std::weak_ptr<int> token = m_pendingEnd;
    core::RunLoop::main().performAfter(sharedAs<ScrollView>(), AnimationDuration, [token, finish](ScrollView& self) {
        if (token.expired())
            return;
        self.m_pendingEnd.reset();
        (self.*finish)();
    });
}

void ScrollView::endScrollingAnimation()
{
    if (auto d = delegate())
        d->didEndScrollingAnimation(*this);
}

// Zooming

View* ScrollView::zoomingView()
{
    auto d = delegate();
    return d ? d->viewForZooming(*this) : nullptr;
}

void ScrollView::setMinimumZoomScale(float scale)
{
    if (!(scale > 0) || !std::isfinite(scale))
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("ScrollView::setMinimumZoomScale: {} is no zoom scale", scale));
    m_minimumZoomScale = scale;
}

void ScrollView::setMaximumZoomScale(float scale)
{
    if (!(scale > 0) || !std::isfinite(scale))
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("ScrollView::setMaximumZoomScale: {} is no zoom scale", scale));
    m_maximumZoomScale = scale;
}

void ScrollView::setZoomScale(float scale)
{
    setZoomScale(scale, false);
}

void ScrollView::setZoomScale(float scale, bool animated)
{
    requireMainThread("ScrollView::setZoomScale");
    if (!(scale > 0) || !std::isfinite(scale))
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("ScrollView::setZoomScale: {} is no zoom scale", scale));
    scale = std::clamp(scale, m_minimumZoomScale, std::max(m_minimumZoomScale, m_maximumZoomScale));
    applyZoom(scale, {});
    if (animated)
        afterAnimation(&ScrollView::endZoomAnimation);
}

void ScrollView::zoomToRect(const gfx::Rect& rect, bool animated)
{
    requireFinite(rect, "ScrollView::zoomToRect");
    gfx::Size size = bounds().size;
    float scale = m_zoomScale;
    if (rect.width() > 0 && rect.height() > 0)
        scale = std::min(size.width / rect.width(), size.height / rect.height());
    scale = std::clamp(scale, m_minimumZoomScale, std::max(m_minimumZoomScale, m_maximumZoomScale));
    applyZoom(scale, {});
    setContentOffset(clamped({ rect.midX() * scale - size.width / 2, rect.midY() * scale - size.height / 2 }));
    if (animated)
        afterAnimation(&ScrollView::endZoomAnimation);
}

void ScrollView::endZoomAnimation()
{
    if (auto d = delegate())
        d->didEndZooming(*this, zoomingView(), m_zoomScale);
}

// Scales the zooming view about its top left corner; the content point under
// `anchor` (a point of the visible area) stays where it is.
void ScrollView::applyZoom(float scale, gfx::Point anchor)
{
    float old = m_zoomScale;
    m_zoomScale = scale;
    View* view = zoomingView();
    if (view) {
        gfx::Size base = view->bounds().size;
        view->setTransform(gfx::AffineTransform::scale(scale, scale));
        view->setCenter({ base.width * scale / 2, base.height * scale / 2 });
        m_contentSize = { base.width * scale, base.height * scale };
        gfx::Point o = contentOffset();
        float ratio = old > 0 ? scale / old : 1;
        setContentOffset(clamped({ (o.x + anchor.x) * ratio - anchor.x, (o.y + anchor.y) * ratio - anchor.y }));
        setNeedsLayout();
    }
    if (auto d = delegate())
        d->didZoom(*this);
}

void ScrollView::handlePinch()
{
    using State = GestureRecognizer::State;
    auto keep = shared_from_this();
    View* view = zoomingView();
    if (!view || m_maximumZoomScale <= m_minimumZoomScale) {
        m_zooming = false;
        return;
    }
    switch (m_pinch->state()) {
    case State::Began:
        stopScrolling();
        m_zooming = true;
        m_pinchStartScale = m_zoomScale;
        if (auto d = delegate())
            d->willBeginZooming(*this, view);
        [[fallthrough]];
    case State::Changed: {
        gfx::Point at = m_pinch->locationInView(this);
        gfx::Point o = contentOffset();
        float scale = std::clamp(m_pinchStartScale * m_pinch->scale(), m_minimumZoomScale, m_maximumZoomScale);
        applyZoom(scale, { at.x - o.x, at.y - o.y });
        break;
    }
    case State::Ended:
    case State::Cancelled:
        if (m_zooming) {
            m_zooming = false;
            if (auto d = delegate())
                d->didEndZooming(*this, view, m_zoomScale);
        }
        break;
    default:
        break;
    }
}

bool ScrollView::wheelEvent(const Event& event)
{
    if (!isScrollEnabled() || isHidden())
        return false;
    gfx::AffineTransform fromScreen = layer().transformToRoot().inverted();
    gfx::Point location = event.scrollLocation();
    gfx::Point a = fromScreen.apply(location);
    gfx::Point offset = contentOffset();
    if (event.type() == Event::Type::Zoom) {
        View* view = zoomingView();
        float scale = std::clamp(m_zoomScale * event.zoomScale(), m_minimumZoomScale, m_maximumZoomScale);
        if (!view || m_maximumZoomScale <= m_minimumZoomScale || !std::isfinite(scale))
            return false;
        if (std::abs(scale - m_zoomScale) > 0.0001f) {
            stopScrolling();
            auto keep = shared_from_this();
            if (auto d = delegate())
                d->willBeginZooming(*this, view);
            applyZoom(scale, { a.x - offset.x, a.y - offset.y });
            if (auto d = delegate())
                d->didEndZooming(*this, view, m_zoomScale);
        }
        return true;
    }
    gfx::Point b = fromScreen.apply(gfx::Point { location.x + event.scrollDelta().x, location.y + event.scrollDelta().y });
    gfx::Point low = minimumContentOffset(), high = maximumContentOffset();
    gfx::Point target { std::clamp(offset.x + (b.x - a.x), low.x, std::max(low.x, high.x)),
        std::clamp(offset.y + (b.y - a.y), low.y, std::max(low.y, high.y)) };
    // An offset already outside its range (a bounce) is not pulled in by
    // a scroll the other way.
    if (std::abs(b.x - a.x) < 0.001f)
        target.x = offset.x;
    if (std::abs(b.y - a.y) < 0.001f)
        target.y = offset.y;
    if (std::abs(target.x - offset.x) < 0.001f && std::abs(target.y - offset.y) < 0.001f)
        return false;
    setContentOffset(target);
    return true;
}

// Indicators

void ScrollView::showIndicators(bool shown)
{
    if (shown && !m_verticalIndicator) {
        for (auto* indicator : { &m_horizontalIndicator, &m_verticalIndicator }) {
            *indicator = View::create();
            (*indicator)->setUserInteractionEnabled(false);
            (*indicator)->setBackgroundColor(StandardColors::black().colorWithAlphaComponent(0.5f));
            addSubview(*indicator);
        }
    }
    if (!m_verticalIndicator)
        return;
    m_horizontalIndicator->setHidden(!shown || !m_showsHorizontalIndicator || !scrollsHorizontally());
    m_verticalIndicator->setHidden(!shown || !m_showsVerticalIndicator || !scrollsVertically());
    setNeedsLayout();
}

void ScrollView::flashScrollIndicators()
{
    showIndicators(true);
    core::RunLoop::main().performAfter(sharedAs<ScrollView>(), IndicatorFlashDuration, [](ScrollView& self) {
        if (!self.m_dragging && !self.m_decelerating)
            self.showIndicators(false);
    });
}

void ScrollView::layoutSubviews()
{
    if (!m_verticalIndicator)
        return;
    gfx::Rect b = bounds();
    gfx::EdgeInsets in = m_indicatorInsets;
    auto place = [](float offset, float least, float most, float visible, float content) {
        float length = content > 0 ? std::max(2 * IndicatorThickness, visible * std::min(1.0f, visible / content)) : visible;
        float fraction = most > least ? std::clamp((offset - least) / (most - least), 0.0f, 1.0f) : 0;
        return std::pair { (visible - length) * fraction, length };
    };
    gfx::Point least = minimumContentOffset(), most = maximumContentOffset();
    float height = b.height() - in.top - in.bottom;
    auto [y, h] = place(b.y(), least.y, most.y, height, m_contentSize.height);
    m_verticalIndicator->setFrame({ b.maxX() - in.right - IndicatorThickness, b.y() + in.top + y, IndicatorThickness, h });
    float width = b.width() - in.left - in.right;
    auto [x, w] = place(b.x(), least.x, most.x, width, m_contentSize.width);
    m_horizontalIndicator->setFrame({ b.x() + in.left + x, b.maxY() - in.bottom - IndicatorThickness, w, IndicatorThickness });
    bringSubviewToFront(m_horizontalIndicator.get());
    bringSubviewToFront(m_verticalIndicator.get());
}

} // namespace ui
