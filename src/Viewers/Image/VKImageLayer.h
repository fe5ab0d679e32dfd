#pragma once

// The layer that shows one picture of the image view. The bitmap is drawn
// as stored; the view's transform turns it upright, so zooming and turning
// never redraw it. A large picture's bitmap is the picture made smaller to
// the size it is shown at; zoomed in past that, tiles read from the
// picture at the zoomed scale lie over it for the visible part.

#include "Platform/UI/Layer.h"

#include <memory>

namespace gfx {
class Image;
}
class VKImageTileLayer;

class VKImageLayer : public ui::Layer {
public:
    static std::shared_ptr<VKImageLayer> create();

    const std::shared_ptr<gfx::Image>& image() const { return m_image; }
    // None clears the picture (and its detail).
    void setImage(const std::shared_ptr<gfx::Image>& image);
    // The whole picture the bitmap was made from, read in tiles when the
    // zoom shows more of it than the bitmap holds; none for a bitmap that
    // is the picture itself.
    const std::shared_ptr<gfx::Image>& detailSource() const { return m_detailSource; }
    void setDetailSource(const std::shared_ptr<gfx::Image>& picture);
    // Shows the tiles while `zoom` (points of the view per point of the
    // picture) at the screen's scale draws more pixels than the bitmap has,
    // and keeps them over the layer's bounds.
    void updateDetailForZoom(float zoom);
    VKImageTileLayer* tileLayer() const { return m_tileLayer.get(); }

private:
    std::shared_ptr<gfx::Image> m_image;
    std::shared_ptr<gfx::Image> m_detailSource;
    std::shared_ptr<VKImageTileLayer> m_tileLayer;
};
