#pragma once

// Draws the page index's labels over its capsule, one row each, centred,
// in white; a dot row sits one point higher so that it lines up with the
// digits. It takes no touches: the index view beneath handles them.

#include "Platform/UI/View.h"

class VKPageIndexView;

class VKPageIndexLabelsLayer : public ui::View {
public:
    static std::shared_ptr<VKPageIndexLabelsLayer> create(VKPageIndexView* pageIndexView);
    void setPageIndexView(VKPageIndexView* view) { m_pageIndexView = view; }
    void draw(gfx::Context& context, const gfx::Rect& rect) override;
    ui::View* hitTest(gfx::Point, const ui::Event* = nullptr) override { return nullptr; }

private:
    VKPageIndexView* m_pageIndexView = nullptr;
};
