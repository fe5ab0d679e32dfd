#include "Viewers/Image/VKImageTileLayer.h"

#include "Platform/Core/Data.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Support/TestCase.h"

#include <cmath>

namespace test {
namespace {

class VKImageTileLayerTest : public TestCase { };

// The tile at `rect` (picture points) as the tiled layer has it drawn: the
// clip is the tile, the scale the picture's own pixels.
std::unique_ptr<gfx::BitmapContext> drawnTile(VKImageTileLayer& layer, const gfx::Rect& rect)
{
    auto context = gfx::makeImageContext(rect.size, 1);
    context->translateCTM(-rect.minX(), -rect.minY());
    context->clipToRect(rect);
    layer.drawInContext(*context);
    return context;
}

TEST_F(VKImageTileLayerTest, TilesAlongAWidePictureAreItsPixelsReadFromBandsOfBoundedWidth)
{
    // Stripes whose colour changes along the width, so that a tile read
    // from the wrong columns shows; a PNG, read from the file by rows.
    const float width = 6000, height = 700, side = VKImageTileLayer::TileSide;
    auto drawing = gfx::makeImageContext({ width, height }, 1);
    for (float x = 0; x < width; x += 5) {
        drawing->setFillColor(std::fmod(x / 997, 1.0f), x / width, std::fmod(x / 131, 1.0f), 1);
        drawing->fillRect({ x, 0, 5, height });
    }
    auto bytes = drawing->makeImage()->pngRepresentation();
    ASSERT_TRUE(bytes);
    auto picture = gfx::Image::imageWithData(core::Data(*bytes));
    ASSERT_TRUE(picture);
    auto whole = gfx::makeImageContext({ width, height }, 1);
    whole->drawImage({ 0, 0, width, height }, *picture);
    ASSERT_LT(VKImageTileLayer::bandColumns() * side, width) << "the picture is wider than a band";

    auto layer = VKImageTileLayer::create(picture);
    // Two tiles of one row far along it, and the last, cut by the edge.
    const gfx::Rect tiles[] = { { 8 * side, 0, side, side }, { 9 * side, 0, side, side }, { 11 * side, 0, side, side } };
    for (const auto& tile : tiles) {
        SCOPED_TRACE(tile.minX());
        auto drawn = drawnTile(*layer, tile);
        int wrong = 0;
        for (int y = 0; y < int(side); y += 7) {
            for (int x = 0; x < int(side) && tile.minX() + float(x) < width; x += 3)
                wrong += drawn->pixelAtForTesting(x, y) != whole->pixelAtForTesting(int(tile.minX()) + x, y);
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_LE(layer->keptBandPixelsForTesting(), layer->bandsReadForTesting() * size_t(VKImageTileLayer::bandColumns() * side * side))
            << "never a band of the whole width";
    }
    EXPECT_EQ(layer->bandsReadForTesting(), 2u) << "neighbours share a read";
}

} // namespace
} // namespace test
