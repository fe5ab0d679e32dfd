#include "App/FolderBrowser/VKIndexViewLabelsLayer.h"

#include "App/FolderBrowser/VKIndexView.h"

#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/StandardColors.h"

#include <algorithm>

std::shared_ptr<VKIndexViewLabelsLayer> VKIndexViewLabelsLayer::create(VKIndexView* indexView)
{
    auto layer = std::make_shared<VKIndexViewLabelsLayer>();
    layer->m_indexView = indexView;
    return layer;
}

// One row per label shown over the strip's label area, each label centred
// in its row and clipped to it; "#" is drawn as four strokes, which read
// better than the glyph at this size.
void VKIndexViewLabelsLayer::drawInContext(gfx::Context& context)
{
    if (!m_indexView)
        return;
    std::vector<const std::string*> labels;
    for (auto& section : m_indexView->displaySections())
        for (auto& label : section)
            labels.push_back(&label);
    gfx::Rect area = m_indexView->labelBounds();
    if (labels.empty() || !(area.height() > 0))
        return;
    const gfx::Font& font = m_indexView->font();
    float size = font.pointSize();
    float h = area.height() / float(labels.size());
    float y = area.y() + (h > size ? (h - size) / 2 : 0);
    auto engine = gfx::textEngine();
    context.setFillColor(ui::StandardColors::darkGray());
    context.setStrokeColor(ui::StandardColors::darkGray());
    context.setLineWidth(1);
    for (const std::string* label : labels) {
        if (*label == "#") {
            float s = size - 2;
            float w = 0.75f * s;
            float x = area.x() + (area.width() - w) / 2;
            // Centred where the letters' text sits: rows taller than the
            // font already start lower by the difference.
            float top = y + (std::min(h, size) - s) / 2;
            context.beginPath();
            for (float at : { s / 4, 3 * s / 4 }) {
                context.moveToPoint(x, top + at);
                context.addLineToPoint(x + w, top + at);
            }
            for (float at : { w / 4, 3 * w / 4 }) {
                context.moveToPoint(x + at, top);
                context.addLineToPoint(x + at, top + s);
            }
            context.strokePath();
        } else {
            context.saveGState();
            context.clipToRect({ area.x(), y, area.width(), h });
            float width = engine->widthOfString(*label, font);
            engine->drawString(context, *label, { area.x() + (area.width() - width) / 2, y }, font);
            context.restoreGState();
        }
        y += h;
    }
}
