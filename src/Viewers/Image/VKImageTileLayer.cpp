#include "Viewers/Image/VKImageTileLayer.h"

#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/StoredImage.h"

#include <algorithm>
#include <cmath>

std::shared_ptr<VKImageTileLayer> VKImageTileLayer::create(std::shared_ptr<gfx::Image> picture)
{
    return std::make_shared<VKImageTileLayer>(std::move(picture));
}

VKImageTileLayer::VKImageTileLayer(std::shared_ptr<gfx::Image> picture)
    : m_picture(std::move(picture))
{
    setTileSize({ TileSide, TileSide });
    // Levels at powers of two of the picture's pixels (a JPEG's own reduced
    // scales) from the whole picture (1) down to 1/2^15; zooming past a
    // pixel a pixel enlarges the whole-pixel tiles.
    setLevelsOfDetail(16);
    setLevelsOfDetailBias(0);
}

size_t VKImageTileLayer::bandsRead() const
{
    std::lock_guard lock(m_mutex);
    return m_bandsRead;
}

std::shared_ptr<gfx::Image> VKImageTileLayer::bandFor(const gfx::Rect& tile, float scale, gfx::Rect* bandRect)
{
    std::lock_guard lock(m_mutex);
    // In the picture's points (its stored pixels at its scale), cut at its
    // edges: the last row of tiles may reach past them.
    float pixelsPerPoint = m_picture->scale();
    gfx::Rect picture(0, 0, m_picture->pixelWidth() / pixelsPerPoint, m_picture->pixelHeight() / pixelsPerPoint);
    gfx::Rect row = gfx::Rect(0, tile.minY(), picture.width(), tile.height()).intersection(picture);
    if (row.isEmpty())
        return nullptr;
    for (const auto& band : m_bands) {
        if (band.scale == scale && band.rect.minY() <= row.minY() + 0.5f && band.rect.maxY() >= row.maxY() - 0.5f) {
            *bandRect = band.rect;
            return band.image;
        }
    }
    float pixelScale = std::min(scale, pixelsPerPoint);
    int width = std::max(1, int(std::lround(row.width() * pixelScale)));
    int height = std::max(1, int(std::lround(row.height() * pixelScale)));
    gfx::Rect pixels(row.minX() * pixelsPerPoint, row.minY() * pixelsPerPoint, row.width() * pixelsPerPoint,
        row.height() * pixelsPerPoint);
    auto image = gfx::imageWithStoredPixels(gfx::imageOfStoredRegion(*m_picture, pixels, width, height));
    ++m_bandsRead;
    if (!image)
        return nullptr;
    m_bands.push_back({ scale, row, image });
    if (m_bands.size() > KeptBands)
        m_bands.pop_front();
    *bandRect = row;
    return image;
}

void VKImageTileLayer::drawInContext(gfx::Context& context)
{
    if (!m_picture)
        return;
    gfx::Rect tile = context.clipBoundingBox();
    gfx::AffineTransform t = context.userSpaceToDeviceSpaceTransform();
    float scale = std::sqrt(std::fabs(t.a * t.d - t.b * t.c));
    if (tile.isEmpty() || !(scale > 0))
        return;
    gfx::Rect bandRect;
    if (auto band = bandFor(tile, scale, &bandRect))
        context.drawImage(bandRect, *band);
}
