#pragma once

// Images of the application's bundle by name, and stretchable images.
// Any thread.

#include "Platform/Graphics/Image.h"

#include <memory>
#include <string_view>

namespace ui {

// An image with caps that stay as they are when it is stretched: the left
// cap, one stretched column, then the rest as the right cap (likewise top
// cap and rows). Zero caps stretch the whole image. Drawn by the renderer.
struct StretchableImage {
    std::shared_ptr<gfx::Image> image;
    int leftCapWidth = 0;
    int topCapHeight = 0;

    StretchableImage() = default;
    StretchableImage(std::shared_ptr<gfx::Image> image, int leftCapWidth = 0, int topCapHeight = 0)
        : image(std::move(image)), leftCapWidth(std::max(0, leftCapWidth)), topCapHeight(std::max(0, topCapHeight))
    {
    }
    gfx::Size size() const { return image ? image->size() : gfx::Size {}; }
    explicit operator bool() const { return image != nullptr; }
    bool operator==(const StretchableImage& other) const = default;
};

class Images {
public:
    // "name", "name.png" or "name.jpg" from the main bundle; at screen scale
    // 2 "name@2x.png" first (an image of scale 2). Cached by name; nothing
    // when there is no such image.
    static std::shared_ptr<gfx::Image> imageNamed(std::string_view name);
    static void clearCache();
};

} // namespace ui
