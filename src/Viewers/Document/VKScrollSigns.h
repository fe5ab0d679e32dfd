#pragma once

// The passing signs of a scrolled document: the picture that says the end
// or the beginning was reached, or that a search wrapped around, centred
// over the view and fading out over SearchImageFadeDuration; and the
// vertical scroll indicator flashed at the place and length of what shows.
// The document frame owns it.

#include "Platform/Graphics/Geometry.h"

#include <memory>
#include <string>

namespace ui {
class ImageView;
class View;
} // namespace ui

class VKScrollSigns {
public:
    static constexpr double SearchImageFadeDuration = 0.75;

    ui::ImageView* imageView() const { return m_imageView.get(); }
    // Shows the named picture over `parent`, in front of everything.
    void showImage(ui::View& parent, const std::string& name);
    void forget() { m_imageView.reset(); }

    // Shows `indicator` for a second where an offset `offsetY` into content
    // of `contentSize` puts it, `visible` being what the content view shows.
    static void flashIndicator(ui::View& indicator, gfx::Size contentSize, gfx::Rect visible, float offsetY);

private:
    std::shared_ptr<ui::ImageView> m_imageView;
};
