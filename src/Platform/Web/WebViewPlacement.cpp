#include "Platform/Web/WebViewPlacement.h"

#include "Platform/Core/RunLoop.h"

namespace web {

namespace {

WebViewPlacement::Provider& provider()
{
    static WebViewPlacement::Provider instance;
    return instance;
}

} // namespace

void WebViewPlacement::follow(const LivePlace& place)
{
    m_last = place;
    if (place.hidden || !place.covered) {
        if (m_cover != Cover::None)
            ++m_covers;
        m_cover = Cover::None;
    } else if (m_cover == Cover::None) {
        uint64_t cover = ++m_covers;
        // A widget that shows stays until the fresh picture is there to
        // take its place; one that did not show leaves the old picture.
        m_cover = m_widgetShown && m_snapshotRequest ? Cover::Waiting : Cover::Picture;
        std::weak_ptr<WebViewPlacement> weak = weak_from_this();
        auto ready = [weak, cover] {
            if (auto self = weak.lock())
                self->pictureReady(cover);
        };
        if (m_snapshotRequest)
            m_snapshotRequest(ready);
        if (m_cover == Cover::Waiting)
            core::RunLoop::main().performAfter(CoverWait, ready);
    }
    m_widgetShown = !place.hidden && m_cover != Cover::Picture && !place.clip.isEmpty();
    this->place(place.frame, place.clip, !m_widgetShown, place.order);
}

void WebViewPlacement::pictureReady(uint64_t cover)
{
    if (cover != m_covers || m_cover != Cover::Waiting)
        return;
    m_cover = Cover::Picture;
    follow(m_last);
}

void WebViewPlacement::setProvider(Provider newProvider)
{
    provider() = std::move(newProvider);
}

std::shared_ptr<WebViewPlacement> WebViewPlacement::placementFor(ui::Window& window)
{
    return provider() ? provider()(window) : nullptr;
}

} // namespace web
