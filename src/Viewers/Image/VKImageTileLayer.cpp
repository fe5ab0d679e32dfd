#include "Viewers/Image/VKImageTileLayer.h"

#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/Screen.h"
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

size_t VKImageTileLayer::bandsReadForTesting() const
{
    std::lock_guard lock(m_mutex);
    return m_bandsRead;
}

size_t VKImageTileLayer::keptBandPixelsForTesting() const
{
    std::lock_guard lock(m_mutex);
    size_t pixels = 0;
    for (const auto& band : m_bands)
        pixels += size_t(band.image->pixelWidth()) * size_t(band.image->pixelHeight());
    return pixels;
}

int VKImageTileLayer::bandColumns()
{
    // A band centred on any tile of a row covers every tile of that row the
    // screen can show: twice the most columns it shows, less one.
    gfx::Size screen = gfx::Screen::main().pixelSize();
    int shown = int(std::ceil(std::max(screen.width, screen.height) / TileSide)) + 1;
    return 2 * shown - 1;
}

std::shared_ptr<gfx::Image> VKImageTileLayer::bandFor(const gfx::Rect& tile, float scale, gfx::Rect* bandRect)
{
    std::lock_guard lock(m_mutex);
    // In the picture's points (its stored pixels at its scale), cut at its
    // edges: the last row and column of tiles may reach past them.
    float pixelsPerPoint = m_picture->scale();
    gfx::Rect picture(0, 0, m_picture->pixelWidth() / pixelsPerPoint, m_picture->pixelHeight() / pixelsPerPoint);
    gfx::Rect needed = tile.intersection(picture);
    if (needed.isEmpty())
        return nullptr;
    for (const auto& band : m_bands) {
        if (band.scale == scale && band.rect.minY() <= needed.minY() + 0.5f && band.rect.maxY() >= needed.maxY() - 0.5f
            && band.rect.minX() <= needed.minX() + 0.5f && band.rect.maxX() >= needed.maxX() - 0.5f) {
            *bandRect = band.rect;
            return band.image;
        }
    }
    // Never the whole width of a wide picture: its pixels at this scale
    // would grow with it. The band's columns are about the tile's, moved
    // inside the picture at its edges.
    float span = tile.width() * float(bandColumns());
    float left = std::clamp(tile.midX() - span / 2, 0.0f, std::max(0.0f, picture.width() - span));
    gfx::Rect row = gfx::Rect(left, tile.minY(), span, tile.height()).intersection(picture);
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
