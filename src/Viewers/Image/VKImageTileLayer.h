#pragma once

// The detail of a large picture when zoomed in past the bitmap shown for
// it: tiles of the visible part, each read from the picture's file at the
// zoomed scale (never more than its own pixels) on the tiled layer's
// workers. Its bounds are the picture's stored pixels, like the picture
// layer it lies on. A PNG must be read from its top to reach any row, so
// the tiles of one row share one read: a band at the tile's scale, as wide
// as twice the columns the screen shows about the tile (never the whole
// width of a wide picture), of which the last few are kept.

#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/TiledLayer.h"

#include <deque>
#include <memory>
#include <mutex>

namespace gfx {
class Image;
}

class VKImageTileLayer : public ui::TiledLayer {
public:
    static constexpr float TileSide = 512;
    static constexpr size_t KeptBands = 3;

    static std::shared_ptr<VKImageTileLayer> create(std::shared_ptr<gfx::Image> picture);
    explicit VKImageTileLayer(std::shared_ptr<gfx::Image> picture);

    const std::shared_ptr<gfx::Image>& picture() const { return m_picture; }
    // Bands read from the file since the layer was made.
    size_t bandsReadForTesting() const;
    // Pixels of the bands kept.
    size_t keptBandPixelsForTesting() const;
    // Tile columns a band spans at most, for this screen.
    static int bandColumns();

    double fadeDuration() const override { return 0.15; }
    void drawInContext(gfx::Context& context) override;

private:
    struct Band {
        float scale = 0;
        gfx::Rect rect;
        std::shared_ptr<gfx::Image> image;
    };
    std::shared_ptr<gfx::Image> bandFor(const gfx::Rect& tile, float scale, gfx::Rect* bandRect);

    const std::shared_ptr<gfx::Image> m_picture;
    // One read at a time: a second tile of the same row waits for the band
    // rather than reading it again.
    mutable std::mutex m_mutex;
    std::deque<Band> m_bands;
    size_t m_bandsRead = 0;
};
