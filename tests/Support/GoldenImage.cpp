#include "Support/GoldenImage.h"

#include "Platform/Graphics/Image.h"

#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>

namespace test {

gfx::Pixel straightPixel(const gfx::BitmapContext& bitmap, int column, int row)
{
    gfx::Pixel p = bitmap.pixelAtForTesting(column, row);
    if (p.alpha == 0 || p.alpha == 255)
        return p;
    auto straight = [&](uint8_t c) { return uint8_t(std::min(255, (c * 255 + p.alpha / 2) / p.alpha)); };
    return { straight(p.red), straight(p.green), straight(p.blue), p.alpha };
}

::testing::AssertionResult matchesGolden(const gfx::BitmapContext& actual, const std::string& sourceDirectory,
    const std::string& name)
{
    std::string golden = sourceDirectory + "/tests/fixtures/ui/" + name + ".png";
    const char* update = std::getenv("TANDRY_UPDATE_GOLDEN");
    if (update && std::string_view(update) == "1") {
        std::filesystem::create_directories(std::filesystem::path(golden).parent_path());
        if (!actual.writePNG(golden))
            return ::testing::AssertionFailure() << "cannot write " << golden;
        return ::testing::AssertionSuccess();
    }
    std::string failures = sourceDirectory + "/build/golden";
    auto fail = [&](std::string message) {
        std::filesystem::create_directories(failures);
        actual.writePNG(failures + "/" + name + ".actual.png");
        return ::testing::AssertionFailure() << message << " (actual picture in " << failures << ")";
    };
    auto image = gfx::Image::imageWithContentsOfFile(golden);
    if (!image)
        return fail("no golden image " + golden);
    int width = image->pixelWidth(), height = image->pixelHeight();
    if (width != actual.width() || height != actual.height())
        return fail(fmt::format("size {} × {} against golden {} × {}", actual.width(), actual.height(), width, height));
    auto expected = gfx::BitmapContext::create(width, height);
    expected->drawImage({ 0, 0, float(width), float(height) }, *image);
    auto diff = gfx::BitmapContext::create(width, height);
    long mismatched = 0;
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            gfx::Pixel a = straightPixel(actual, column, row), e = straightPixel(*expected, column, row);
            auto off = [](uint8_t x, uint8_t y) { return std::abs(int(x) - int(y)) > 8; };
            bool transparentBoth = a.alpha <= 8 && e.alpha <= 8;
            if (!transparentBoth && (off(a.red, e.red) || off(a.green, e.green) || off(a.blue, e.blue) || off(a.alpha, e.alpha))) {
                ++mismatched;
                diff->setFillColor(1, 0, 0, 1);
                diff->fillRect({ float(column), float(height - row - 1), 1, 1 });
            }
        }
    }
    if (double(mismatched) > 0.005 * double(width) * double(height)) {
        std::filesystem::create_directories(failures);
        diff->writePNG(failures + "/" + name + ".diff.png");
        return fail(fmt::format("{} of {} pixels differ from {}", mismatched, width * height, golden));
    }
    return ::testing::AssertionSuccess();
}

} // namespace test
