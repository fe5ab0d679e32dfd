#pragma once

// What the zoomable image view tells its owner: zoom changes (before, and
// once they settled), a horizontal swipe, and whether a load worked.

namespace core {
class Error;
}
class VKImageView;

class VKImageViewDelegate {
public:
    virtual ~VKImageViewDelegate() = default;
    virtual void imageViewWillZoomToLevel(VKImageView& view, float zoom) = 0;
    virtual void imageViewDidZoomToLevel(VKImageView& view, float zoom) = 0;
    // Points sideways, negative leftwards.
    virtual void imageViewHandleSwipeGestureWithDelta(VKImageView& view, float delta) = 0;
    virtual void imageViewLoadDidFinish(VKImageView& view) = 0;
    virtual void imageViewLoadDidFail(VKImageView& view, const core::Error& error) = 0;
};
