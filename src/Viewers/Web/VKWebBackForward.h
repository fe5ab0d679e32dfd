#pragma once

// The web viewer's back and forward control for HTML documents: the
// two-segment control in its bar item, made on first use, which steps the
// viewer's web view back or forward and is enabled as far as the view can
// go. The viewer owns it as a member.

#include <memory>

namespace ui {
class BarButtonItem;
class SegmentedControl;
} // namespace ui
class VKWebViewController;

class VKWebBackForward {
public:
    explicit VKWebBackForward(VKWebViewController& viewer) : m_viewer(viewer) { }
    VKWebBackForward(const VKWebBackForward&) = delete;
    VKWebBackForward& operator=(const VKWebBackForward&) = delete;

    std::shared_ptr<ui::BarButtonItem> item();
    ui::SegmentedControl* control() const { return m_control.get(); }
    // Segment 0 goes back, 1 forward.
    void go(int segment);
    void update();
    // Drops the control with the viewer's view.
    void reset();

private:
    VKWebViewController& m_viewer;
    std::shared_ptr<ui::BarButtonItem> m_item;
    std::shared_ptr<ui::SegmentedControl> m_control;
};
