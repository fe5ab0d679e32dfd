#pragma once

// The view whose layer is a VKTiledPageLayer.

#include "Platform/UI/View.h"

class VKTiledPageLayer;

class VKTiledPageView : public ui::View {
public:
    static std::shared_ptr<VKTiledPageView> create(const gfx::Rect& frame = {});

    VKTiledPageLayer& tiledLayer() const;

protected:
    std::shared_ptr<ui::Layer> makeLayer() const override;
};
