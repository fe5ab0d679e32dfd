#pragma once

// What the image viewer's tests share: pictures made in memory or as
// files by ImageMagick (with orientation tags written by exiftool), and a
// delegate that records what the image view tells it.

#include "Viewers/Image/VKImageViewDelegate.h"

#include "Platform/Core/Error.h"
#include "Platform/Graphics/Geometry.h"

#include <memory>
#include <string>
#include <vector>

namespace gfx {
class Image;
}

namespace test {

// A picture of `size` points in four coloured quarters (red, green, blue,
// yellow from the top left, clockwise), so turns and mirrors show.
std::shared_ptr<gfx::Image> quarteredImage(gfx::Size size);

// Writes the quartered picture as a JPEG of `width` × `height` pixels at
// `path` through convert; with an orientation (1…8, or any number exiftool
// takes) tagged on it. False when a peer failed.
bool writeQuarteredJPEG(const std::string& path, int width, int height, int orientation = 0);

class RecordingImageViewDelegate : public VKImageViewDelegate {
public:
    void imageViewWillZoomToLevel(VKImageView&, float zoom) override { willZoom.push_back(zoom); }
    void imageViewDidZoomToLevel(VKImageView&, float zoom) override { didZoom.push_back(zoom); }
    void imageViewHandleSwipeGestureWithDelta(VKImageView&, float delta) override { swipes.push_back(delta); }
    void imageViewLoadDidFinish(VKImageView&) override { ++finished; }
    void imageViewLoadDidFail(VKImageView&, const core::Error& error) override { failures.push_back(error); }

    std::vector<float> willZoom;
    std::vector<float> didZoom;
    std::vector<float> swipes;
    int finished = 0;
    std::vector<core::Error> failures;
};

} // namespace test
