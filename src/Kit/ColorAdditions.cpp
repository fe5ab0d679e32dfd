#include "Kit/ColorAdditions.h"

#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/Images.h"

namespace {

constexpr float Square = 6;
constexpr const char* TextureName = "UIStockImageScrollViewTexturedBackgroundColor.png";

gfx::Color patternOf(gfx::Size size, void (*draw)(gfx::Context&))
{
    auto context = gfx::makeImageContext(size, 1);
    if (!context)
        return {};
    draw(*context);
    return gfx::Color::patternWithImage(context->makeImage());
}

} // namespace

void VKDrawCheckerboard(gfx::Context& context)
{
    context.setFillColor(gfx::Color::white(1));
    context.fillRect({ 0, 0, Square, Square });
    context.fillRect({ Square, Square, Square, Square });
    context.setFillColor(gfx::Color::white(0.8f));
    context.fillRect({ Square, 0, Square, Square });
    context.fillRect({ 0, Square, Square, Square });
}

void VKDrawScrollViewTextured(gfx::Context& context)
{
    if (auto image = ui::Images::imageNamed(TextureName))
        context.drawImage({ { 0, 0 }, image->size() }, *image);
}

gfx::Color vkCheckerboardBackgroundColor()
{
    static const gfx::Color color = patternOf({ 2 * Square, 2 * Square }, VKDrawCheckerboard);
    return color;
}

gfx::Color vkScrollViewTexturedBackgroundColor()
{
    static const gfx::Color color = [] {
        auto image = ui::Images::imageNamed(TextureName);
        return image ? patternOf(image->size(), VKDrawScrollViewTextured) : gfx::Color {};
    }();
    return color;
}
