#pragma once

// The layer that draws a letter strip's labels, one row each over the
// strip's label area, so that they can be dimmed apart from the capsule the
// strip draws behind them while touched. It knows its strip by a plain
// pointer, cleared when the strip goes.

#include "Platform/UI/Layer.h"

class VKIndexView;

class VKIndexViewLabelsLayer : public ui::Layer {
public:
    static std::shared_ptr<VKIndexViewLabelsLayer> create(VKIndexView* indexView);

    VKIndexView* indexView() const { return m_indexView; }
    void setIndexView(VKIndexView* indexView) { m_indexView = indexView; }

    void drawInContext(gfx::Context& context) override;

private:
    VKIndexView* m_indexView = nullptr;
};
