#pragma once

// Two facing pages side by side: the pair's natural size fitted into the
// bounds is cut where the left page's share of the natural width ends, and
// each page is fitted into its part. Sizes that are no numbers or negative
// count as 0; two zero widths share the width equally.

#include "Platform/UI/View.h"

class VKDoublePageView : public ui::View {
public:
    static std::shared_ptr<VKDoublePageView> create(const gfx::Rect& frame = {});

    const std::shared_ptr<ui::View>& leftView() const { return m_leftView; }
    // The old view leaves the view tree; the new one is added untransformed.
    void setLeftView(std::shared_ptr<ui::View> view);
    const std::shared_ptr<ui::View>& rightView() const { return m_rightView; }
    void setRightView(std::shared_ptr<ui::View> view);
    gfx::Size leftNaturalSize() const { return m_leftNaturalSize; }
    void setLeftNaturalSize(gfx::Size size);
    gfx::Size rightNaturalSize() const { return m_rightNaturalSize; }
    void setRightNaturalSize(gfx::Size size);
    // (left width + right width, the larger height).
    gfx::Size naturalSize() const;

    void layoutSubviews() override;

private:
    void replace(std::shared_ptr<ui::View>& slot, std::shared_ptr<ui::View> view);

    std::shared_ptr<ui::View> m_leftView;
    std::shared_ptr<ui::View> m_rightView;
    gfx::Size m_leftNaturalSize;
    gfx::Size m_rightNaturalSize;
};
