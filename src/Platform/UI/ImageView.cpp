#include "Platform/UI/ImageView.h"

#include "Platform/UI/LayerInPlaceDrawing.h"

#include <fmt/format.h>

namespace ui {

std::shared_ptr<ImageView> ImageView::create(std::shared_ptr<gfx::Image> image)
{
    gfx::Rect frame;
    if (image)
        frame.size = image->size();
    auto view = View::make<ImageView>(frame);
    view->setImage(std::move(image));
    return view;
}

ImageView::ImageView()
{
    setUserInteractionEnabled(false);
    // Drawing the picture is the same copy as drawing a picture of it.
    LayerInPlaceDrawing::mark(&layer());
}

void ImageView::setImage(std::shared_ptr<gfx::Image> image)
{
    if (m_image == image)
        return;
    m_image = std::move(image);
    setNeedsDisplay();
}

void ImageView::setHighlightedImage(std::shared_ptr<gfx::Image> image)
{
    m_highlightedImage = std::move(image);
    setNeedsDisplay();
}

void ImageView::setHighlighted(bool highlighted)
{
    if (m_highlighted == highlighted)
        return;
    m_highlighted = highlighted;
    setNeedsDisplay();
}

const std::shared_ptr<gfx::Image>& ImageView::currentImage() const
{
    return m_highlighted && m_highlightedImage ? m_highlightedImage : m_image;
}

gfx::Size ImageView::sizeThatFits(gfx::Size) const
{
    return m_image ? m_image->size() : gfx::Size {};
}

std::string ImageView::debugText() const
{
    if (!m_image)
        return {};
    auto size = m_image->size();
    return fmt::format("image {:g}x{:g}", size.width, size.height);
}

} // namespace ui
