#include "Shell/ImageScalingAdditions.h"

#include "Shell/DeviceMemoryAdditions.h"
#include "Platform/Core/Device.h"
#include "Platform/Core/Log.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>
#include <mutex>

namespace {

struct Limits {
    float maxImageSize = 5000;
    gfx::Size nativeLandscapeSize { 2048, 1536 };
};

// The device's tablets carry model names beginning "iPad"; this platform's
// own tablet model is "Tablet".
bool isTabletModel(const std::string& model)
{
    return model.starts_with("iPad") || model.starts_with("Tablet");
}

Limits computeLimits()
{
    const uint64_t megabytes = systemTotalMemory() >> 20;
    const bool tablet = isTabletModel(core::Device::current()->model());
    Limits limits;
    if (tablet)
        limits.maxImageSize = megabytes < 257 ? 4750 : 5000;
    else
        limits.maxImageSize = megabytes < 129 ? 3050 : 5000;
    // A machine with more memory takes larger pictures: the largest one
    // decoded takes an eighth of it (four bytes a pixel), its side in
    // whole hundreds, up to what the decoders make (2^28 pixels).
    double side = std::min(std::sqrt(double(systemTotalMemory()) / 32), 16384.0);
    side = std::floor(side / 100) * 100;
    limits.maxImageSize = std::max(limits.maxImageSize, float(side));
    if (!tablet && megabytes >= 257)
        limits.nativeLandscapeSize = { 2592, 1936 };
    else if (!tablet && megabytes < 129)
        limits.nativeLandscapeSize = { 1600, 1200 };
    else
        limits.nativeLandscapeSize = { 2048, 1536 };
    return limits;
}

std::once_flag computeOnce;
Limits limits;

const Limits& currentLimits()
{
    std::call_once(computeOnce, [] { limits = computeLimits(); });
    return limits;
}

} // namespace

float vkMaxImageSize()
{
    return currentLimits().maxImageSize;
}

double vkMaximumPixelCount()
{
    double side = currentLimits().maxImageSize;
    return side * side;
}

std::string vkMaximumPixelCountAsString()
{
    double side = currentLimits().maxImageSize;
    return fmt::format("{:.0f}x{:.0f}", side, side);
}

gfx::Size vkNativeLandscapeSize()
{
    return currentLimits().nativeLandscapeSize;
}

bool vkCanProcessImage(const gfx::Image& image)
{
    gfx::Size size = image.size();
    return double(size.width) * double(size.height) <= vkMaximumPixelCount();
}

gfx::Size vkSizeConstrainedTo(gfx::Size size, float maximum)
{
    if (size.width == 0 || size.height == 0)
        return size;
    double scale = double(maximum) / std::max(size.width, size.height);
    return { float(std::trunc(size.width * scale)), float(std::trunc(size.height * scale)) };
}

gfx::Size vkSizeConstrainedTo(const gfx::Image& image, float maximum)
{
    return vkSizeConstrainedTo(image.size(), maximum);
}

std::shared_ptr<gfx::Image> vkImageScaledToSize(const std::shared_ptr<gfx::Image>& image, gfx::Size size,
    gfx::InterpolationQuality quality)
{
    if (!image)
        return nullptr;
    if (image->imageOrientation() == gfx::ImageOrientation::Up && image->size() == size)
        return image;
    double width = image->pixelWidth(), height = image->pixelHeight();
    if (width * height > vkMaximumPixelCount()) {
        core::log("Warning, maximum supported pixel size exceeded: {:f} x {:f}", width, height);
        return nullptr;
    }
    auto context = gfx::makeImageContext(size, 1);
    if (!context)
        return nullptr;
    context->setInterpolationQuality(quality);
    if (!context->drawImage(gfx::Rect(0, 0, size.width, size.height), *image))
        return nullptr;
    return context->makeImage();
}

void vkRecomputeImageLimitsForTesting()
{
    currentLimits();
    limits = computeLimits();
}
