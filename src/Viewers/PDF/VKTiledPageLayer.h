#pragma once

// The tiled layer under a PDF page: tiles twice the screen's size rounded
// up to a power of two (at most 2048 pixels), no fade, and enough levels of
// detail that any zoom the layout allows gets sharp tiles, anchored at the
// scale the page is first shown at so that a page fitted to the screen is
// drawn once, at the screen's own resolution; a checkerboard
// shows where a tile is not drawn yet. Tiles are drawn one view ahead, so a
// page scrolled or turned to by a screen shows drawn. A representative, held weakly and
// guarded by the layer's lock, supplies the drawing.

#include "Platform/UI/TiledLayer.h"

#include <mutex>

class VKLayerRepresentative;

class VKTiledPageLayer : public ui::TiledLayer {
public:
    static constexpr int LevelsOfDetail = 1000;
    static constexpr float MaximumTileSide = 2048;

    VKTiledPageLayer();
    ~VKTiledPageLayer() override;

    // The tile side for the main screen, and for a screen of these bounds
    // (points) and scale.
    static gfx::Size tileSize();
    static gfx::Size tileSizeForScreen(gfx::Size points, float scale);
    static double fadeDurationOfTiles() { return 0.0; }
    double fadeDuration() const override { return fadeDurationOfTiles(); }
    // Tiles start as the page's white paper.
    gfx::Color tileBackgroundColor() const override { return gfx::Color::white(1); }

    VKLayerRepresentative* representative() const;
    // Waits for a drawing thread that is asking the old one.
    void setRepresentative(VKLayerRepresentative* representative);

    void drawInContext(gfx::Context& context) override;
    void layoutSublayers() override;

private:
    mutable std::mutex m_lock;
    VKLayerRepresentative* m_representative = nullptr;
};
