#include "Kit/LayerAdditions.h"

#include "Platform/UI/Layer.h"

namespace {

void vkPopulateString(std::string& out, const ui::Layer& layer, const std::string& indent)
{
    out += indent + layer.description() + "\n";
    for (auto& sublayer : layer.sublayers())
        vkPopulateString(out, *sublayer, indent + "    ");
}

} // namespace

std::shared_ptr<ui::Layer> layerWithBackgroundColor(const gfx::Color& color)
{
    auto layer = ui::Layer::create();
    layer->setBackgroundColor(color);
    return layer;
}

void vkRemoveAllSublayers(ui::Layer& layer)
{
    auto sublayers = layer.sublayers();
    for (auto& sublayer : sublayers)
        sublayer->removeFromSuperlayer();
}

std::string vkDeepDescription(const ui::Layer& layer)
{
    std::string out = "\n";
    vkPopulateString(out, layer, "");
    return out;
}
