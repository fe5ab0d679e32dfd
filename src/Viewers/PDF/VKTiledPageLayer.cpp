#include "Viewers/PDF/VKTiledPageLayer.h"

#include "Kit/ColorAdditions.h"
#include "Platform/UI/Screen.h"
#include "Viewers/PDF/VKLayerRepresentative.h"

#include <algorithm>
#include <cmath>

VKTiledPageLayer::VKTiledPageLayer()
{
    setBackgroundColor(vkCheckerboardBackgroundColor());
    setTileSize(tileSize());
    setLevelsOfDetail(LevelsOfDetail);
    setLevelsOfDetailBias(LevelsOfDetail);
    setAnchorsLevelsAtShownScale(true);
    setDrawsTilesAhead(true);
}

VKTiledPageLayer::~VKTiledPageLayer()
{
    setRepresentative(nullptr);
}

gfx::Size VKTiledPageLayer::tileSizeForScreen(gfx::Size points, float scale)
{
    float pixels = std::max(points.width, points.height) * scale;
    if (!(pixels >= 1) || !std::isfinite(pixels))
        return { MaximumTileSide, MaximumTileSide };
    float side = std::ldexp(1.0f, int(std::ceil(std::log2(pixels))) + 1);
    side = std::clamp(side, 16.0f, MaximumTileSide);
    return { side, side };
}

gfx::Size VKTiledPageLayer::tileSize()
{
    auto screen = ui::Screen::main();
    return tileSizeForScreen(screen->bounds().size, screen->scale());
}

VKLayerRepresentative* VKTiledPageLayer::representative() const
{
    std::lock_guard lock(m_lock);
    return m_representative;
}

void VKTiledPageLayer::setRepresentative(VKLayerRepresentative* representative)
{
    std::lock_guard lock(m_lock);
    m_representative = representative;
}

void VKTiledPageLayer::drawInContext(gfx::Context& context)
{
    std::function<void(gfx::Context&)> drawing;
    {
        std::lock_guard lock(m_lock);
        if (m_representative)
            drawing = m_representative->drawingForLayer(*this);
    }
    if (drawing)
        drawing(context);
}

void VKTiledPageLayer::layoutSublayers()
{
    ui::TiledLayer::layoutSublayers();
    std::lock_guard lock(m_lock);
    if (m_representative && m_representative->laysOutLayer())
        m_representative->layoutSublayersOfLayer(*this);
}
