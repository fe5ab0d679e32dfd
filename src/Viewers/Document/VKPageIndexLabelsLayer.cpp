#include "Viewers/Document/VKPageIndexLabelsLayer.h"

#include "Viewers/Document/VKPageIndexView.h"

#include "Platform/Graphics/Context.h"
#include "Platform/Graphics/TextEngine.h"

#include <cmath>

std::shared_ptr<VKPageIndexLabelsLayer> VKPageIndexLabelsLayer::create(VKPageIndexView* pageIndexView)
{
    auto layer = std::make_shared<VKPageIndexLabelsLayer>();
    layer->m_pageIndexView = pageIndexView;
    layer->setOpaque(false);
    layer->setBackgroundColor(gfx::Color());
    layer->setUserInteractionEnabled(false);
    return layer;
}

void VKPageIndexLabelsLayer::draw(gfx::Context& context, const gfx::Rect&)
{
    if (!m_pageIndexView || m_pageIndexView->labels().empty())
        return;
    const auto& labels = m_pageIndexView->labels();
    const gfx::Font& font = m_pageIndexView->font();
    gfx::Rect area = m_pageIndexView->labelBounds();
    float row = area.height() / float(labels.size());
    float y = area.y();
    if (row > font.pointSize())
        y += (row - font.pointSize()) * 0.5f;
    context.setFillColor(gfx::Color::white(0.9f));
    auto engine = gfx::textEngine();
    for (const auto& label : labels) {
        float top = std::floor(y);
        if (&label == &VKPageIndexView::skipCharacter() || label == VKPageIndexView::skipCharacter())
            top -= 1;
        engine->drawString(context, label, gfx::Rect(area.x(), top, area.width(), std::round(row)), font,
            gfx::LineBreakMode::Clip, gfx::TextAlignment::Center);
        y += row;
    }
}
