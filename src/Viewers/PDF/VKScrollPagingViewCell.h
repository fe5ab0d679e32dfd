#pragma once

// A pager cell that holds one zoomable centring scroll view filling it,
// with the vertical lock on; the chrome insets become the scroll view's
// content inset. Reuse empties the scroll view and returns it to zoom 1.

#include "Viewers/PDF/VKPagingViewCell.h"

namespace ui {
class GestureRecognizer;
}
class VKCenteringScrollView;

class VKScrollPagingViewCell : public VKPagingViewCell {
public:
    static std::shared_ptr<VKScrollPagingViewCell> create(std::string reuseIdentifier = {});
    explicit VKScrollPagingViewCell(std::string reuseIdentifier = {});
    ~VKScrollPagingViewCell() override;

    VKCenteringScrollView& scrollView() const { return *m_scrollView; }
    void setToolbarContentInsets(const gfx::EdgeInsets& insets) override;
    void prepareForReuse() override;
    void setFrame(const gfx::Rect& frame) override;
    void doubleTapRecognized(ui::GestureRecognizer& recognizer);

private:
    std::shared_ptr<VKCenteringScrollView> m_scrollView;
};
