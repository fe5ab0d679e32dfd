#include "Viewers/Image/VKImageView.h"

#include "Viewers/Image/VKImageLayer.h"

#include "Shell/Interface/ViewAdditions.h"
#include "Kit/VKFunctions.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/Log.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/BasicAnimation.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/Touch.h"
#include "Platform/UI/Transaction.h"
#include "Platform/UI/Transition.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>
#include <numbers>

namespace {

bool swapsSides(gfx::ImageOrientation orientation)
{
    switch (orientation) {
    case gfx::ImageOrientation::Left:
    case gfx::ImageOrientation::Right:
    case gfx::ImageOrientation::LeftMirrored:
    case gfx::ImageOrientation::RightMirrored:
        return true;
    default:
        return false;
    }
}

gfx::ImageOrientation orientationOf(const gfx::Image* image)
{
    return image ? image->imageOrientation() : gfx::ImageOrientation::Up;
}

gfx::Point offsetPoint(gfx::Point p, float dx, float dy)
{
    return { p.x + dx, p.y + dy };
}

// One change of the picture layer's geometry, animated over `duration` or
// not at all, with an optional block once it settled.
class LayerTransaction {
public:
    LayerTransaction(bool animated, double duration = -1, std::function<void()> completion = {})
    {
        ui::Transaction::begin();
        ui::Transaction::setDisableActions(!animated);
        if (duration >= 0)
            ui::Transaction::setAnimationDuration(duration);
        if (completion)
            ui::Transaction::setCompletionBlock(std::move(completion));
    }
    ~LayerTransaction() { ui::Transaction::commit(); }
    LayerTransaction(const LayerTransaction&) = delete;
    LayerTransaction& operator=(const LayerTransaction&) = delete;
};

} // namespace

std::shared_ptr<VKImageView> VKImageView::create(const gfx::Rect& frame)
{
    return ui::View::make<VKImageView>(frame);
}

VKImageView::VKImageView() : m_transitionSubtype(VKTransitionFromRight())
{
    setClipsToBounds(true);
    setUserInteractionEnabled(true);
    setMultipleTouchEnabled(true);
    setBackgroundColor(gfx::Color::white(0));
}

VKImageView::~VKImageView()
{
    if (m_oldLayer)
        m_oldLayer->removeFromSuperlayer();
}

// Loading.

void VKImageView::loadImage(const std::shared_ptr<gfx::Image>& image, std::optional<gfx::Size> nativeSize)
{
    if (image == m_image)
        return;
    m_image = nullptr;
    m_nativeSize = nativeSize.value_or(image ? image->size() : gfx::Size {});
    if (!image || image->size().width <= 0 || image->size().height <= 0) {
        if (m_imageLayer)
            m_imageLayer->setImage(nullptr);
        if (auto* delegate = m_delegate)
            delegate->imageViewLoadDidFail(*this,
                core::Error(VKImageViewErrorDomain, 1, "The image appears to be invalid or is unsupported."));
        return;
    }
    if (m_oldLayer) {
        m_oldLayer->removeFromSuperlayer();
        m_oldLayer = nullptr;
    }
    if (m_imageLayer && m_transitionType == VKTransitionPush()) {
        m_oldLayer = std::move(m_imageLayer);
        m_imageLayer = nullptr;
    }
    if (m_imageLayer) {
        m_imageLayer->removeAllAnimations();
        m_imageLayer->setDetailSource(nullptr);
    }
    setLayerImage(image);
    m_imageLayer->removeAllAnimations();

    setupZoomLimits();
    gfx::Rect b = bounds();
    bool fits = m_nativeSize.width <= b.width() && m_nativeSize.height <= b.height();
    m_zoom = !m_zoomToFitOnLoad && fits ? 1.0f : getZoomToFit();
    setTransformForCurrentZoomAnimated(false, std::nullopt, true, {});
    startTransition();
    if (auto* delegate = m_delegate)
        delegate->imageViewLoadDidFinish(*this);
}

void VKImageView::startTransition()
{
    if (m_oldLayer) {
        float w = bounds().width() + PushGap;
        float sign = m_transitionSubtype == VKTransitionFromRight() ? 1.0f : -1.0f;
        gfx::Point oldFrom = m_oldLayer->position();
        gfx::Point oldTo = offsetPoint(oldFrom, -sign * w, 0);
        gfx::Point newTo = m_imageLayer->position();
        gfx::Point newFrom = offsetPoint(newTo, sign * w, 0);
        {
            LayerTransaction transaction(false);
            m_oldLayer->setPosition(oldTo);
        }
        ui::BasicAnimation out("position");
        out.setFromValue(oldFrom);
        out.setToValue(oldTo);
        out.setDuration(m_transitionDuration);
        out.setDelegate(sharedAs<VKImageView>());
        m_oldLayer->addAnimation(out, TransitionKey);
        ui::BasicAnimation in("position");
        in.setFromValue(newFrom);
        in.setToValue(newTo);
        in.setDuration(m_transitionDuration);
        m_imageLayer->addAnimation(in, TransitionKey);
        return;
    }
    if (!m_transitionType)
        return;
    ui::Transition transition(*m_transitionType, m_transitionSubtype);
    transition.setDuration(m_transitionDuration);
    m_imageLayer->addAnimation(transition, TransitionKey);
}

void VKImageView::animationDidStop(const std::string&, bool)
{
    // Only the leaving layer's own animation ends it: one of a layer that an
    // earlier push left behind may stop later.
    if (m_oldLayer && !m_oldLayer->animationForKey(TransitionKey)) {
        m_oldLayer->removeFromSuperlayer();
        m_oldLayer = nullptr;
    }
}

void VKImageView::setImage(const std::shared_ptr<gfx::Image>& image)
{
    LayerTransaction transaction(false);
    setLayerImage(image);
}

void VKImageView::clearImage()
{
    m_image = nullptr;
    if (m_imageLayer)
        m_imageLayer->setImage(nullptr);
}

void VKImageView::setLayerImage(const std::shared_ptr<gfx::Image>& image)
{
    if (image == m_image && m_imageLayer)
        return;
    gfx::ImageOrientation oldOrientation = orientationOf(m_image.get());
    m_image = image;
    bool made = false;
    if (!m_imageLayer) {
        m_imageLayer = VKImageLayer::create();
        layer().addSublayer(m_imageLayer);
        made = true;
    }
    LayerTransaction transaction(false);
    m_imageLayer->setImage(image);
    gfx::Size size = m_nativeSize;
    if (swapsSides(orientationOf(image.get())))
        size = { size.height, size.width };
    m_imageLayer->setBounds({ 0, 0, size.width, size.height });
    if (made || oldOrientation != orientationOf(image.get()))
        m_imageLayer->setAffineTransform(affineTransformForCurrentZoom());
    m_imageLayer->updateDetailForZoom(m_zoom);
}

void VKImageView::setDetailSource(const std::shared_ptr<gfx::Image>& picture)
{
    if (!m_imageLayer || !m_image)
        return;
    m_imageLayer->setDetailSource(picture);
    m_imageLayer->updateDetailForZoom(m_zoom);
}

// Zoom.

void VKImageView::sendWillZoom(float zoom)
{
    if (auto* delegate = m_delegate)
        delegate->imageViewWillZoomToLevel(*this, zoom);
}

void VKImageView::sendDidZoomDelegateMessage()
{
    if (auto* delegate = m_delegate)
        delegate->imageViewDidZoomToLevel(*this, m_zoom);
}

void VKImageView::setZoom(float zoom, bool animated)
{
    sendWillZoom(zoom);
    m_zoom = zoom;
    std::weak_ptr<VKImageView> weak = sharedAs<VKImageView>();
    setTransformForCurrentZoomAnimated(animated, std::nullopt, false, [weak] {
        if (auto self = weak.lock())
            self->sendDidZoomDelegateMessage();
    });
}

float VKImageView::getZoomToFit() const
{
    gfx::Rect b = bounds();
    if (!m_image || b.height() <= 0 || m_nativeSize.height <= 0 || m_nativeSize.width <= 0)
        return 0;
    if (b.width() / b.height() >= m_nativeSize.width / m_nativeSize.height)
        return b.height() / m_nativeSize.height;
    return b.width() / m_nativeSize.width;
}

gfx::Size VKImageView::getImageSizeForCurrentZoom() const
{
    if (!m_image)
        return {};
    return { m_nativeSize.width * m_zoom, m_nativeSize.height * m_zoom };
}

void VKImageView::setupZoomLimits()
{
    if (!m_image) {
        m_minimumZoom = 0;
        return;
    }
    float fit = getZoomToFit();
    gfx::Rect b = bounds();
    m_minimumZoom = m_nativeSize.width > b.width() || m_nativeSize.height > b.height() ? fit : 1.0f;
    m_maximumZoom = std::max(2.0f, fit);
}

void VKImageView::layoutImageAnimated(bool animated, bool zoomToFit)
{
    if (!m_image)
        return;
    setupZoomLimits();
    if (zoomToFit)
        m_zoom = getZoomToFit();
    setTransformForCurrentZoomAnimated(animated, true);
}

void VKImageView::setTransformForCurrentZoomAnimated(bool animated, bool panToCentre)
{
    setTransformForCurrentZoomAnimated(animated, std::nullopt, panToCentre, {});
}

void VKImageView::setTransformForCurrentZoomAnimated(bool animated, std::optional<gfx::Point> anchorPoint,
    bool panToCentre, std::function<void()> completion)
{
    if (!m_image || !m_imageLayer)
        return;
    if (m_zoom == 0)
        m_zoom = getZoomToFit();
    LayerTransaction transaction(animated, -1, std::move(completion));
    if (panToCentre) {
        gfx::Rect b = layer().bounds();
        // Centred means the picture's middle in the view's middle, whatever
        // anchor an earlier pinch left.
        if (!anchorPoint)
            m_imageLayer->setAnchorPoint({ 0.5f, 0.5f });
        m_imageLayer->setPosition({ b.midX(), b.midY() });
    }
    if (anchorPoint && *anchorPoint != m_imageLayer->anchorPoint())
        setImageLayerAnchorPoint(*anchorPoint);
    m_imageLayer->setAffineTransform(affineTransformForCurrentZoom());
    m_imageLayer->updateDetailForZoom(m_zoom);
}

gfx::AffineTransform VKImageView::affineTransformForCurrentZoom() const
{
    float z = m_zoom;
    if (z == 0)
        return gfx::AffineTransform::identity();
    constexpr float quarter = std::numbers::pi_v<float> / 2;
    using T = gfx::AffineTransform;
    int orientation = static_cast<int>(orientationOf(m_image.get()));
    switch (orientation) {
    case static_cast<int>(gfx::ImageOrientation::Up): return T::scale(z, z);
    case static_cast<int>(gfx::ImageOrientation::Down): return T::scale(z, z).rotated(2 * quarter);
    case static_cast<int>(gfx::ImageOrientation::Left): return T::scale(z, z).rotated(-quarter);
    case static_cast<int>(gfx::ImageOrientation::Right): return T::scale(z, z).rotated(quarter);
    case static_cast<int>(gfx::ImageOrientation::UpMirrored): return T::scale(-z, z);
    case static_cast<int>(gfx::ImageOrientation::DownMirrored): return T::scale(z, -z);
    // The mirrored sideways kinds are a transpose (left) and an
    // anti-transpose (right): a mirror after a quarter turn the other way
    // than their unmirrored kinds.
    case static_cast<int>(gfx::ImageOrientation::LeftMirrored): return T::scale(-z, z).rotated(quarter);
    case static_cast<int>(gfx::ImageOrientation::RightMirrored): return T::scale(-z, z).rotated(-quarter);
    default:
        core::log("Warning, invalid image orientation: {}", orientation);
        return T::identity();
    }
}

void VKImageView::setImageLayerAnchorPoint(gfx::Point anchor)
{
    if (!m_imageLayer)
        return;
    gfx::Size size = m_imageLayer->bounds().size;
    gfx::Point old = m_imageLayer->anchorPoint();
    gfx::Point oldPoint = m_imageLayer->convertPoint({ old.x * size.width, old.y * size.height }, &layer());
    gfx::Point newPoint = m_imageLayer->convertPoint({ anchor.x * size.width, anchor.y * size.height }, &layer());
    m_imageLayer->setAnchorPoint(anchor);
    gfx::Point position = m_imageLayer->position();
    m_imageLayer->setPosition({ position.x + newPoint.x - oldPoint.x, position.y + newPoint.y - oldPoint.y });
}

void VKImageView::handleZoomSpringBack()
{
    if (m_zoom >= m_minimumZoom && m_zoom <= m_maximumZoom)
        return;
    m_zoom = std::clamp(m_zoom, m_minimumZoom, m_maximumZoom);
    setTransformForCurrentZoomAnimated(true, m_touchesBeganAnchorPoint, true, {});
}

void VKImageView::handlePanSpringBackWithDuration(double seconds)
{
    if (!m_imageLayer)
        return;
    gfx::Rect f = m_imageLayer->frame();
    gfx::Rect b = layer().bounds();
    // Per axis: centred when the picture fits, else the gap at an edge
    // closed.
    struct Axis {
        bool centre = false;
        float shift = 0;
    };
    auto axis = [](float fMin, float fMax, float bMin, float bMax) {
        Axis result;
        if (fMax - fMin <= bMax - bMin)
            result.centre = true;
        else if (fMin > bMin)
            result.shift = bMin - fMin;
        else if (fMax < bMax)
            result.shift = bMax - fMax;
        return result;
    };
    Axis x = axis(f.minX(), f.maxX(), b.minX(), b.maxX());
    Axis y = axis(f.minY(), f.maxY(), b.minY(), b.maxY());
    const gfx::Point centred { 0.5f, 0.5f };
    bool moveAnchor = (x.centre || y.centre) && m_imageLayer->anchorPoint() != centred;
    // With the anchor in the middle the position is the frame's centre.
    gfx::Point position = m_imageLayer->position();
    gfx::Point target = position;
    if (!moveAnchor) {
        if (x.centre)
            target.x = b.midX();
        if (y.centre)
            target.y = b.midY();
    }
    target.x += x.shift;
    target.y += y.shift;
    if (!moveAnchor && target == position)
        return;
    LayerTransaction transaction(true, seconds);
    if (moveAnchor) {
        setImageLayerAnchorPoint(centred);
        gfx::Point moved = m_imageLayer->position();
        moved.x = x.centre ? b.midX() : moved.x + x.shift;
        moved.y = y.centre ? b.midY() : moved.y + y.shift;
        m_imageLayer->setPosition(moved);
        return;
    }
    m_imageLayer->setPosition(target);
}

void VKImageView::bounceImageLayerBy(float dx)
{
    if (!m_imageLayer)
        return;
    ui::BasicAnimation bounce("position");
    gfx::Point position = m_imageLayer->position();
    bounce.setFromValue(position);
    bounce.setToValue(offsetPoint(position, dx, 0));
    bounce.setDuration(0.1);
    bounce.setTimingFunction(ui::TimingFunction::easeOut());
    bounce.setAutoreverses(true);
    m_imageLayer->addAnimation(bounce, BounceKey);
}

// Resizing.

void VKImageView::setBounds(const gfx::Rect& newBounds)
{
    bool atFit = m_image && m_zoom == getZoomToFit();
    ui::View::setBounds(newBounds);
    layoutImageAnimated(false, atFit);
}

std::string VKImageView::debugText() const
{
    return fmt::format("zoom {:.2f}", m_zoom);
}

void VKImageView::setFrame(const gfx::Rect& newFrame)
{
    gfx::Rect old = frame();
    bool atFit = m_image && m_zoom == getZoomToFit();
    ui::View::setFrame(newFrame);
    bool turned = newFrame.width() == old.height() && newFrame.height() == old.width();
    layoutImageAnimated(turned, atFit);
}

// Touches.

bool VKImageView::isPinch(const ui::Event& event) const
{
    return event.touchesForView(this).size() == 2;
}

void VKImageView::touchesBegan(const ui::TouchSet& touches, const ui::Event& event)
{
    if (touches.empty())
        return;
    m_touchesBeganLocation = touches.front()->locationInView(this);
    m_didHandleSwipeGesture = false;
    if (!m_image || !m_imageLayer)
        return;
    if (m_imageLayer->anchorPoint() != gfx::Point { 0.5f, 0.5f })
        setImageLayerAnchorPoint({ 0.5f, 0.5f });
    m_touchesBeganAnchorPoint = { 0.5f, 0.5f };
    auto inView = event.touchesForView(this);
    if (inView.size() == 2 && m_zoom > 0) {
        gfx::Point a = inView[0]->locationInView(this);
        gfx::Point b = inView[1]->locationInView(this);
        gfx::Rect imageFrame = m_imageLayer->frame();
        if (!imageFrame.contains(a) && !imageFrame.contains(b)) {
            m_touchesBeganZoom = 0;
            m_touchesBeganDelta = 0;
        } else {
            m_touchesBeganZoom = m_zoom;
            m_touchesBeganDelta = deltaForTouches(*this, inView);
            gfx::Point middle = layer().convertPoint({ (a.x + b.x) / 2, (a.y + b.y) / 2 }, m_imageLayer.get());
            gfx::Size size = m_imageLayer->bounds().size;
            if (size.width > 0 && size.height > 0)
                m_touchesBeganAnchorPoint = { middle.x / size.width, middle.y / size.height };
        }
    }
    m_panVelocity = 1.0f;
    m_panDelta = {};
}

void VKImageView::handleSwipeCandidate(const ui::Touch& touch)
{
    float dx = touch.locationInView(this).x - m_touchesBeganLocation.x;
    if (std::abs(static_cast<int>(dx)) > SwipeDistance && !m_didHandleSwipeGesture) {
        m_didHandleSwipeGesture = true;
        if (auto* delegate = m_delegate)
            delegate->imageViewHandleSwipeGestureWithDelta(*this, dx);
    }
}

void VKImageView::touchesMoved(const ui::TouchSet& touches, const ui::Event& event)
{
    if (touches.empty())
        return;
    if (!m_image || !m_imageLayer) {
        if (touches.size() == 1)
            handleSwipeCandidate(*touches.front());
        return;
    }
    const ui::Touch& touch = *touches.front();
    if (touch.tapCount() > 1)
        return;
    auto inView = event.touchesForView(this);
    if (inView.size() == 2) {
        if (m_touchesBeganZoom == 0 || m_touchesBeganDelta == 0)
            return;
        if (event.timestamp() - m_previousTouchesMovedTimestamp < PinchUpdateInterval)
            return;
        m_previousTouchesMovedTimestamp = event.timestamp();
        float d = deltaForTouches(*this, inView);
        float z0 = m_touchesBeganZoom;
        float z = z0 + z0 * (d / m_touchesBeganDelta - 1);
        if (z0 >= m_minimumZoom && z < m_minimumZoom)
            z = m_minimumZoom + 0.25f * (z - m_minimumZoom);
        else if (z0 <= m_maximumZoom && z > m_maximumZoom)
            z = m_maximumZoom + 0.25f * (z - m_maximumZoom);
        if (!(z > 0))
            z = 0;
        sendWillZoom(z);
        m_zoom = z;
        setTransformForCurrentZoomAnimated(false, m_touchesBeganAnchorPoint, false, {});
        return;
    }
    if (inView.size() != 1 && touches.size() != 1)
        return;
    gfx::Size s = getImageSizeForCurrentZoom();
    gfx::Rect b = bounds();
    gfx::Point location = touch.locationInView(this);
    gfx::Point previous = touch.previousLocationInView(this);
    bool pans = s.width > b.width() + 1 || (s.height > b.height() + 1 && location.y - previous.y != 0);
    if (!pans) {
        handleSwipeCandidate(touch);
        return;
    }
    m_panDelta = { s.width > b.width() ? location.x - previous.x : 0, s.height > b.height() ? location.y - previous.y : 0 };
    double dt = touch.timestamp() - m_previousTouchesMovedTimestamp;
    m_previousTouchesMovedTimestamp = touch.timestamp();
    m_panVelocity = dt > 0 ? static_cast<float>(1.0 / (5 * dt)) : 1.0f;
    LayerTransaction transaction(false);
    gfx::Point position = m_imageLayer->position();
    m_imageLayer->setPosition(offsetPoint(position, m_panDelta.x, m_panDelta.y));
}

bool VKImageView::wheelEvent(const ui::Event& event)
{
    if (!m_image || !m_imageLayer || m_zoom <= 0)
        return false;
    gfx::Point at = convertPointFrom(event.scrollLocation(), nullptr);
    if (event.type() == ui::Event::Type::Zoom) {
        // About the pointer, within the zoom limits: no spring-back to wait for.
        float zoom = std::clamp(m_zoom * event.zoomScale(), m_minimumZoom, m_maximumZoom);
        if (!std::isfinite(zoom) || zoom == m_zoom)
            return true;
        gfx::Point inLayer = layer().convertPoint(at, m_imageLayer.get());
        gfx::Size size = m_imageLayer->bounds().size;
        if (size.width > 0 && size.height > 0)
            setImageLayerAnchorPoint({ inLayer.x / size.width, inLayer.y / size.height });
        sendWillZoom(zoom);
        m_zoom = zoom;
        setTransformForCurrentZoomAnimated(false, std::nullopt, false, {});
        handlePanSpringBackWithDuration(0);
        sendDidZoomDelegateMessage();
        return true;
    }
    // The wheel pans a picture larger than the view, up to its edges.
    gfx::Size s = getImageSizeForCurrentZoom();
    gfx::Rect b = bounds();
    gfx::Point delta = event.scrollDelta();
    gfx::Point pan { s.width > b.width() + 1 ? -delta.x : 0, s.height > b.height() + 1 ? -delta.y : 0 };
    if (pan.x == 0 && pan.y == 0)
        return false;
    {
        LayerTransaction transaction(false);
        m_imageLayer->setPosition(offsetPoint(m_imageLayer->position(), pan.x, pan.y));
    }
    handlePanSpringBackWithDuration(0);
    return true;
}

void VKImageView::touchesEnded(const ui::TouchSet& touches, const ui::Event& event)
{
    if (!m_image || !m_imageLayer || touches.empty())
        return;
    if (event.timestamp() == m_previousTouchesEndedTimestamp)
        return;
    m_previousTouchesEndedTimestamp = event.timestamp();
    const ui::Touch& touch = *touches.front();
    int taps = touch.tapCount();
    if (taps < 2) {
        if (isPinch(event)) {
            handleZoomSpringBack();
            handlePanSpringBackWithDuration(PinchSpringBackDuration);
            sendDidZoomDelegateMessage();
            return;
        }
        if (m_panVelocity > 1.0f) {
            gfx::Point m { m_panDelta.x * m_panVelocity, m_panDelta.y * m_panVelocity };
            if (static_cast<int>(m.x) == 0 && static_cast<int>(m.y) == 0) {
                handlePanSpringBackWithDuration(PanSpringBackDuration);
                return;
            }
            std::weak_ptr<VKImageView> weak = sharedAs<VKImageView>();
            LayerTransaction transaction(true, MomentumDuration, [weak] {
                if (auto self = weak.lock())
                    self->handlePanSpringBackWithDuration(PanSpringBackDuration);
            });
            m_imageLayer->setPosition(offsetPoint(m_imageLayer->position(), m.x, m.y));
            return;
        }
        handlePanSpringBackWithDuration(PanSpringBackDuration);
        return;
    }
    if (taps == 2) {
        gfx::Point location = touch.locationInView(this);
        gfx::Point previous = touch.previousLocationInView(this);
        if (std::abs(location.x - previous.x) > 20 || std::abs(location.y - previous.y) > 20)
            return;
        float fit = getZoomToFit();
        float target = m_zoom == fit ? 1.0f : fit;
        sendWillZoom(target);
        m_zoom = target;
        std::weak_ptr<VKImageView> weak = sharedAs<VKImageView>();
        setTransformForCurrentZoomAnimated(true, std::nullopt, true, [weak] {
            if (auto self = weak.lock())
                self->sendDidZoomDelegateMessage();
        });
    }
}

void VKImageView::touchesCancelled(const ui::TouchSet&, const ui::Event&)
{
    if (!m_image || !m_imageLayer)
        return;
    handleZoomSpringBack();
    handlePanSpringBackWithDuration(PinchSpringBackDuration);
}
