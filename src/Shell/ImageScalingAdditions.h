#pragma once

// The limits that keep image work within the device's memory, and the one
// routine that scales an image to a size with its orientation applied. The
// limits follow from the physical memory and the device's model; they are
// computed once per process, from whichever thread asks first.

#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/Geometry.h"

#include <memory>
#include <string>

namespace gfx {
class Image;
}

// The longest side an image may have: 5000, or 3050 with 128 MiB or less
// (4750 with 256 MiB or less on a tablet model); with more than about
// 800 MiB, the side of a picture whose pixels take an eighth of the memory
// (11500 with 4 GiB).
float vkMaxImageSize();
// vkMaxImageSize squared.
double vkMaximumPixelCount();
// "5000x5000": the limit as told to the user.
std::string vkMaximumPixelCountAsString();
// The size photos are saved at: 2592 × 1936 on phones with more than
// 256 MiB, 1600 × 1200 on phones with 128 MiB or less, else 2048 × 1536.
gfx::Size vkNativeLandscapeSize();
// Whether the image's width × height is within vkMaximumPixelCount.
bool vkCanProcessImage(const gfx::Image& image);

// The size with its longer side `maximum` and the aspect kept, both sides
// rounded down (smaller sizes grow); a size with a zero side is unchanged.
gfx::Size vkSizeConstrainedTo(gfx::Size size, float maximum);
gfx::Size vkSizeConstrainedTo(const gfx::Image& image, float maximum);

// The image drawn upright into a new image of `size` at scale 1 with the
// given interpolation quality. An upright image asked for at its own size
// comes back itself; one over vkMaximumPixelCount pixels gives nothing (with
// "Warning, maximum supported pixel size exceeded: …") and is never decoded.
std::shared_ptr<gfx::Image> vkImageScaledToSize(const std::shared_ptr<gfx::Image>& image, gfx::Size size,
    gfx::InterpolationQuality quality = gfx::InterpolationQuality::Default);

// Tests: computes the limits again from the memory and model the device
// tells now (see vkSetSystemTotalMemoryForTesting and the "DeviceModel"
// setting). Not while other threads read them.
void vkRecomputeImageLimitsForTesting();
