#include "Platform/UI/ImagePickerThumbnailView.h"

#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/Screen.h"

#include <fmt/format.h>

namespace ui {

namespace {

constexpr float BadgeHeight = 17;

} // namespace

ImagePickerThumbnailView::ImagePickerThumbnailView()
{
    setBackgroundColor(gfx::Color::white(0.85f));
}

ImagePickerThumbnailView::~ImagePickerThumbnailView()
{
    if (m_wanted)
        *m_wanted = false;
}

void ImagePickerThumbnailView::setMedia(const ImagePickerController::Media& media, size_t index)
{
    if (m_wanted)
        *m_wanted = false;
    m_wanted = std::make_shared<std::atomic<bool>>(true);
    m_index = index;
    m_movie = media.mediaType == ImagePickerController::movieType;
    std::weak_ptr<ImagePickerThumbnailView> weak = std::static_pointer_cast<ImagePickerThumbnailView>(shared_from_this());
    auto media_ = media;
    m_thumbnail = ImagePickerThumbnails::shared().thumbnail(media, Side, gfx::Screen::main().scale(), m_wanted,
        [weak, media_] {
            auto view = weak.lock();
            if (!view)
                return;
            view->m_thumbnail = ImagePickerThumbnails::shared().thumbnail(media_, Side, gfx::Screen::main().scale(),
                view->m_wanted, nullptr);
            view->setNeedsDisplay();
        });
    setNeedsDisplay();
}

void ImagePickerThumbnailView::setHighlighted(bool highlighted)
{
    Control::setHighlighted(highlighted);
    setNeedsDisplay();
}

void ImagePickerThumbnailView::draw(gfx::Context& context, const gfx::Rect&)
{
    gfx::Rect b = bounds();
    if (m_thumbnail) {
        context.drawImage(b, *m_thumbnail);
    } else if (m_movie) {
        context.setFillColor(gfx::Color::white(0.22f));
        context.fillRect(b);
        float glyph = b.width() * 0.4f;
        drawMovieGlyph(context, { b.midX() - glyph / 2, b.midY() - glyph / 2 - BadgeHeight / 2, glyph, glyph },
            gfx::Color::white(0.75f));
    }
    if (m_movie) {
        gfx::Rect badge { b.minX(), b.maxY() - BadgeHeight, b.width(), BadgeHeight };
        context.setFillColor(gfx::Color(0, 0, 0, 0.6f));
        context.fillRect(badge);
        drawMovieGlyph(context, { badge.minX() + 4, badge.minY() + 3, 18, BadgeHeight - 6 }, gfx::Color::white(1));
    }
    if (isHighlighted()) {
        context.setFillColor(gfx::Color(0, 0, 0, 0.35f));
        context.fillRect(b);
    }
}

std::string ImagePickerThumbnailView::debugText() const
{
    return fmt::format("{} {}{}", m_movie ? "movie" : "image", m_index, m_thumbnail ? "" : " (no thumbnail yet)");
}

void ImagePickerThumbnailView::drawMovieGlyph(gfx::Context& context, const gfx::Rect& rect, const gfx::Color& color)
{
    // A body and a lens cone, 3:2 overall.
    float width = std::min(rect.width(), rect.height() * 1.5f);
    float height = width / 1.5f;
    float x = rect.midX() - width / 2, y = rect.midY() - height / 2;
    float body = width * 0.68f;
    float corner = height * 0.15f;
    context.setFillColor(color);
    context.beginPath();
    context.moveToPoint(x + corner, y);
    context.addLineToPoint(x + body - corner, y);
    context.addQuadCurveToPoint(x + body, y, x + body, y + corner);
    context.addLineToPoint(x + body, y + height - corner);
    context.addQuadCurveToPoint(x + body, y + height, x + body - corner, y + height);
    context.addLineToPoint(x + corner, y + height);
    context.addQuadCurveToPoint(x, y + height, x, y + height - corner);
    context.addLineToPoint(x, y + corner);
    context.addQuadCurveToPoint(x, y, x + corner, y);
    context.closePath();
    context.fillPath();
    context.beginPath();
    context.moveToPoint(x + body + width * 0.04f, y + height * 0.5f);
    context.addLineToPoint(x + width, y + height * 0.1f);
    context.addLineToPoint(x + width, y + height * 0.9f);
    context.closePath();
    context.fillPath();
}

} // namespace ui
