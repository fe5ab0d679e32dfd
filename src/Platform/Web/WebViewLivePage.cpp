#include "Platform/Web/WebViewLivePage.h"

#include "Platform/Core/NotificationCenter.h"
#include "Platform/UI/TapGestureRecognizer.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/LivePlace.h"
#include "Platform/Web/WebPage.h"
#include "Platform/Web/WebView.h"
#include "Platform/Web/WebViewPlacement.h"

namespace web {

bool WebViewLivePage::windowChanged(WebView& view)
{
    ui::Window* window = view.window();
    auto placement = window ? WebViewPlacement::placementFor(*window) : nullptr;
    if (placement == m_placement)
        return false;
    if (m_placement)
        view.page().detach();
    m_placement = placement;
    if (m_placement && !view.page().attach(m_placement))
        m_placement.reset();
    m_windowSubviewsObservation.reset();
    if (m_placement) {
        std::weak_ptr<WebView> weak = std::static_pointer_cast<WebView>(view.shared_from_this());
        m_windowSubviewsObservation = core::NotificationCenter::defaultCenter().observe(
            ui::Window::subviewsDidChangeNotification, window->shared_from_this(), [weak](const core::Notification&) {
                if (auto self = weak.lock())
                    self->setNeedsLayout();
            });
        m_placement->setClickHandler([weak](gfx::Point windowPoint, int clicks) {
            if (auto self = weak.lock())
                clicked(*self, windowPoint, clicks);
        });
        // The view owns this part: while it lives, so does `this`.
        m_placement->setPlaceRequest([weak, this] {
            if (auto self = weak.lock(); self && m_placement && self->window())
                place(*self);
        });
        m_placement->setSnapshotRequest([weak](std::function<void()> done) {
            if (auto self = weak.lock())
                self->updateSnapshot(std::move(done));
        });
    }
    return true;
}

bool WebViewLivePage::showsWidget() const
{
    return m_placement && m_placement->isWidgetShown();
}

void WebViewLivePage::place(WebView& view)
{
    m_placement->follow(LivePlace::of(view));
}

void WebViewLivePage::clicked(ui::View& view, gfx::Point windowPoint, int clicks)
{
    // The tap recognizers of this view and its ancestors (the view's own,
    // which would click the page again, sit on its scroll view).
    std::vector<std::shared_ptr<ui::TapGestureRecognizer>> taps;
    for (ui::View* at = &view; at; at = at->superview()) {
        for (const auto& recognizer : at->gestureRecognizers()) {
            if (auto tap = std::dynamic_pointer_cast<ui::TapGestureRecognizer>(recognizer))
                taps.push_back(tap);
        }
    }
    for (const auto& tap : taps)
        tap->recognizeClick(windowPoint, clicks);
}

} // namespace web
