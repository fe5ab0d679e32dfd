#pragma once

// Shows an image (the highlighted one while highlighted). Made with an image
// it takes the image's size; it takes no touches unless told to.

#include "Platform/Graphics/Image.h"
#include "Platform/UI/View.h"

namespace ui {

class ImageView : public View {
public:
    static std::shared_ptr<ImageView> create(std::shared_ptr<gfx::Image> image = nullptr);
    ImageView();

    const std::shared_ptr<gfx::Image>& image() const { return m_image; }
    void setImage(std::shared_ptr<gfx::Image> image);
    const std::shared_ptr<gfx::Image>& highlightedImage() const { return m_highlightedImage; }
    void setHighlightedImage(std::shared_ptr<gfx::Image> image);
    bool isHighlighted() const { return m_highlighted; }
    void setHighlighted(bool highlighted);
    // The image on show.
    const std::shared_ptr<gfx::Image>& currentImage() const;

    gfx::Size sizeThatFits(gfx::Size size) const override;
    std::string debugText() const override;

private:
    std::shared_ptr<gfx::Image> m_image;
    std::shared_ptr<gfx::Image> m_highlightedImage;
    bool m_highlighted = false;
};

} // namespace ui
