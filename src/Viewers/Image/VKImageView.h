#pragma once

// Shows one picture and lets the person zoom it with two fingers, pan it
// with one (coasting on, then springing back to the edges), swipe to a
// neighbour and double-tap between the fitting zoom and actual size. It
// reads raw touches rather than using a scroll view: the picture is one
// layer whose transform carries the zoom and the picture's orientation and
// whose position and anchor carry the pan, so a gesture never redraws.
// It also animates the change from one picture to the next. It knows
// nothing of files; its delegate (the image viewer) does.

#include "Viewers/Image/VKImageViewDelegate.h"

#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/View.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace gfx {
class Image;
}
class VKImageLayer;

// The error domain of a picture the view cannot show (code 1).
inline constexpr const char* VKImageViewErrorDomain = "VKImageViewDomain";

class VKImageView : public ui::View, public ui::AnimationDelegate {
public:
    // Pan steps that coast, and the edges.
    static constexpr double MomentumDuration = 0.6;
    static constexpr double PanSpringBackDuration = 0.4;
    static constexpr double PinchSpringBackDuration = 0.1;
    // Pinch updates are at least this far apart.
    static constexpr double PinchUpdateInterval = 0.04;
    // Points a finger must travel sideways for a swipe.
    static constexpr int SwipeDistance = 50;
    // The gap between a pushed-out and a pushed-in picture.
    static constexpr float PushGap = 40;
    static constexpr const char* TransitionKey = "VKImageTransition";
    static constexpr const char* BounceKey = "VKImageViewBounce";

    static std::shared_ptr<VKImageView> create(const gfx::Rect& frame);
    VKImageView();
    ~VKImageView() override;

    // The delegate is the screen that shows the view, which lets go of it
    // before it goes.
    VKImageViewDelegate* delegate() const { return m_delegate; }
    void setDelegate(VKImageViewDelegate* delegate) { m_delegate = delegate; }
    bool zoomToFitOnLoad() const { return m_zoomToFitOnLoad; }
    void setZoomToFitOnLoad(bool fit) { m_zoomToFitOnLoad = fit; }
    double transitionDuration() const { return m_transitionDuration; }
    void setTransitionDuration(double seconds) { m_transitionDuration = seconds; }
    // A transition type ("fade", "push"...) for the next picture; none
    // changes without animation.
    const std::optional<std::string>& transitionType() const { return m_transitionType; }
    void setTransitionType(std::optional<std::string> type) { m_transitionType = std::move(type); }
    const std::string& transitionSubtype() const { return m_transitionSubtype; }
    void setTransitionSubtype(std::string subtype) { m_transitionSubtype = std::move(subtype); }
    float minimumZoom() const { return m_minimumZoom; }
    void setMinimumZoom(float zoom) { m_minimumZoom = zoom; }
    float maximumZoom() const { return m_maximumZoom; }
    void setMaximumZoom(float zoom) { m_maximumZoom = zoom; }
    float zoom() const { return m_zoom; }
    const std::shared_ptr<gfx::Image>& image() const { return m_image; }
    gfx::Size nativeSize() const { return m_nativeSize; }
    VKImageLayer* imageLayer() const { return m_imageLayer.get(); }
    // The layer leaving during a push, else null.
    VKImageLayer* oldLayer() const { return m_oldLayer.get(); }

    // Shows a new picture whose zoom 1.0 is `nativeSize` (its own size when
    // not given). The picture already shown changes nothing; none, or one
    // without area, clears the layer and fails with VKImageViewErrorDomain.
    void loadImage(const std::shared_ptr<gfx::Image>& image, std::optional<gfx::Size> nativeSize = std::nullopt);
    // Swaps the bitmap (a preview for the full picture or back), keeping the
    // native size, zoom and position.
    void setImage(const std::shared_ptr<gfx::Image>& image);
    // The whole picture a smaller bitmap shown for it was made from: read
    // in tiles for the visible part when zoomed in past the bitmap's own
    // detail. A new picture (or none) drops it.
    void setDetailSource(const std::shared_ptr<gfx::Image>& picture);
    // Shows nothing, and forgets the picture (the next load of it counts).
    void clearImage();

    void setZoom(float zoom, bool animated = false);
    // The zoom at which the whole native size fits the bounds; 0 without a
    // picture.
    float getZoomToFit() const;
    gfx::Size getImageSizeForCurrentZoom() const;
    // A short sideways nudge that comes back (nowhere to swipe to).
    void bounceImageLayerBy(float dx);
    void layoutImageAnimated(bool animated, bool zoomToFit);
    void setTransformForCurrentZoomAnimated(bool animated, bool panToCentre);
    void setTransformForCurrentZoomAnimated(bool animated, std::optional<gfx::Point> anchorPoint, bool panToCentre,
        std::function<void()> completion);
    gfx::AffineTransform affineTransformForCurrentZoom() const;
    // Moves the layer's anchor without moving the picture on screen.
    void setImageLayerAnchorPoint(gfx::Point anchor);
    void setupZoomLimits();
    void handleZoomSpringBack();
    void handlePanSpringBackWithDuration(double seconds);
    void sendDidZoomDelegateMessage();

    void setBounds(const gfx::Rect& bounds) override;
    void setFrame(const gfx::Rect& frame) override;
    // "zoom 1.00" in the view-tree dump.
    std::string debugText() const override;

    // The wheel pans a picture larger than the view; Ctrl and the wheel, or
    // a touchpad's pinch, zoom about the pointer within the limits.
    bool wheelEvent(const ui::Event& event) override;
    void touchesBegan(const ui::TouchSet& touches, const ui::Event& event) override;
    void touchesMoved(const ui::TouchSet& touches, const ui::Event& event) override;
    void touchesEnded(const ui::TouchSet& touches, const ui::Event& event) override;
    void touchesCancelled(const ui::TouchSet& touches, const ui::Event& event) override;

    void animationDidStop(const std::string& key, bool finished) override;

private:
    void setLayerImage(const std::shared_ptr<gfx::Image>& image);
    void startTransition();
    void handleSwipeCandidate(const ui::Touch& touch);
    void sendWillZoom(float zoom);
    bool isPinch(const ui::Event& event) const;

    std::shared_ptr<gfx::Image> m_image;
    gfx::Size m_nativeSize;
    std::shared_ptr<VKImageLayer> m_imageLayer;
    std::shared_ptr<VKImageLayer> m_oldLayer;
    float m_zoom = 0;
    float m_minimumZoom = 0;
    float m_maximumZoom = 2.0f;
    double m_previousTouchesEndedTimestamp = 0;
    double m_previousTouchesMovedTimestamp = 0;
    float m_panVelocity = 0;
    gfx::Point m_panDelta;
    float m_touchesBeganZoom = 0;
    float m_touchesBeganDelta = 0;
    gfx::Point m_touchesBeganAnchorPoint { 0.5f, 0.5f };
    gfx::Point m_touchesBeganLocation;
    bool m_didHandleSwipeGesture = false;
    std::optional<std::string> m_transitionType;
    std::string m_transitionSubtype;
    double m_transitionDuration = 1.0;
    bool m_zoomToFitOnLoad = false;
    VKImageViewDelegate* m_delegate = nullptr;
};
