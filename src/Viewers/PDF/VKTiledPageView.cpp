#include "Viewers/PDF/VKTiledPageView.h"

#include "Viewers/PDF/VKTiledPageLayer.h"

std::shared_ptr<VKTiledPageView> VKTiledPageView::create(const gfx::Rect& frame)
{
    return ui::View::make<VKTiledPageView>(frame);
}

VKTiledPageLayer& VKTiledPageView::tiledLayer() const
{
    return static_cast<VKTiledPageLayer&>(layer());
}

std::shared_ptr<ui::Layer> VKTiledPageView::makeLayer() const
{
    return std::make_shared<VKTiledPageLayer>();
}
