#pragma once

// The layer that shows one picture of the image view. The bitmap is drawn
// as stored; the view's transform turns it upright, so zooming and turning
// never redraw it.

#include "Platform/UI/Layer.h"

#include <memory>

namespace gfx {
class Image;
}

class VKImageLayer : public ui::Layer {
public:
    static std::shared_ptr<VKImageLayer> create();

    const std::shared_ptr<gfx::Image>& image() const { return m_image; }
    // None clears the picture.
    void setImage(const std::shared_ptr<gfx::Image>& image);

private:
    std::shared_ptr<gfx::Image> m_image;
};
