#pragma once

// The layer between a shown sheet or popover and the rest of its window: it
// takes the touches outside what is shown and reports each finished tap,
// except on the pass-through views, whose touches go on to them.

#include "Platform/UI/View.h"

#include <functional>
#include <vector>

namespace ui {

class DimmingView : public View {
public:
    static std::shared_ptr<DimmingView> create(const gfx::Rect& frame, float dimming);

    // Runs when a touch that began here ends. Store a closure that holds its
    // owner weakly.
    void setTapHandler(std::function<void()> handler) { m_tapHandler = std::move(handler); }
    void setPassthroughViews(std::vector<std::weak_ptr<View>> views) { m_passthrough = std::move(views); }

    View* hitTest(gfx::Point point, const Event* event = nullptr) override;
    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;

private:
    std::function<void()> m_tapHandler;
    std::vector<std::weak_ptr<View>> m_passthrough;
};

} // namespace ui
