#pragma once

// A highlight over a found text rectangle: two translucent bands through
// it, one as wide as the view over the superview's whole height and one
// as high as the view over its whole width. The view's own background
// stays clear; its colour is the bands'.

#include "Platform/UI/View.h"

class VKCrosshairHighlightView : public ui::View {
public:
    static std::shared_ptr<VKCrosshairHighlightView> create(const gfx::Rect& frame = {});
    VKCrosshairHighlightView();

    gfx::Color bandColorForTesting() const;
    void setBandColor(const gfx::Color& color);
    // Colours the bands, not the view.
    void setBackgroundColor(const gfx::Color& color) override { setBandColor(color); }

    ui::View& horizontalGuide() const { return *m_horizontalGuide; }
    ui::View& verticalGuide() const { return *m_verticalGuide; }

    void layoutSubviews() override;

private:
    std::shared_ptr<ui::View> m_horizontalGuide;
    std::shared_ptr<ui::View> m_verticalGuide;
};
