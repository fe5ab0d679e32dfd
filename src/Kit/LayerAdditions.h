#pragma once

// Layer conveniences: a coloured layer, clearing sublayers, and a whole
// tree as text for debugging.

#include "Platform/Graphics/Color.h"

#include <memory>
#include <string>

namespace ui {
class Layer;
}

std::shared_ptr<ui::Layer> layerWithBackgroundColor(const gfx::Color& color);
void vkRemoveAllSublayers(ui::Layer& layer);
// A line break, then one line per layer, depth first, indented by four
// spaces per level.
std::string vkDeepDescription(const ui::Layer& layer);
