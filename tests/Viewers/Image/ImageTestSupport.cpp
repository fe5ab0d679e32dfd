#include "ImageTestSupport.h"

#include "Support/Command.h"

#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"

#include <fmt/format.h>

namespace test {

std::shared_ptr<gfx::Image> quarteredImage(gfx::Size size)
{
    auto context = gfx::makeImageContext(size, 1);
    float w = size.width / 2, h = size.height / 2;
    const std::pair<gfx::Rect, gfx::Color> quarters[] = {
        { { 0, 0, w, h }, gfx::Color(1, 0, 0) },
        { { w, 0, w, h }, gfx::Color(0, 1, 0) },
        { { w, h, w, h }, gfx::Color(0, 0, 1) },
        { { 0, h, w, h }, gfx::Color(1, 1, 0) },
    };
    for (auto& [rect, colour] : quarters) {
        context->setFillColor(colour);
        context->fillRect(rect);
    }
    return context->makeImage();
}

bool writeQuarteredJPEG(const std::string& path, int width, int height, int orientation)
{
    int w = width / 2, h = height / 2;
    auto made = runCommand({ "convert", "-size", fmt::format("{}x{}", width, height), "xc:yellow", "-fill", "red", "-draw",
        fmt::format("rectangle 0,0 {},{}", w - 1, h - 1), "-fill", "lime", "-draw",
        fmt::format("rectangle {},0 {},{}", w, width - 1, h - 1), "-fill", "blue", "-draw",
        fmt::format("rectangle {},{} {},{}", w, h, width - 1, height - 1), "-quality", "95", path });
    if (made.status != 0)
        return false;
    if (orientation == 0)
        return true;
    auto tagged = runCommand({ "exiftool", "-q", "-overwrite_original", "-n", fmt::format("-Orientation={}", orientation), path });
    return tagged.status == 0;
}

} // namespace test
