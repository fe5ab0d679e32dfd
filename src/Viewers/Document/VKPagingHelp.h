#pragma once

// The one-time help over a document that explains tap paging: the two tap
// regions marked at the edges (top and bottom for a vertical layout, left
// and right for the others) and a message in the middle, bold white on a
// translucent dark rounded backdrop. It lives in the viewer's view until a
// tap fades it out over a second, or the document scrolls under it. It takes
// no events itself: a tap reaches the viewer's recognizers through the
// document, and a wheel scrolls the document. The document frame owns it.

#include "Platform/Graphics/Geometry.h"

#include <memory>
#include <string_view>

namespace ui {
class Label;
class View;
} // namespace ui

// The label style of the paging help: bold 18 white on a translucent dark
// rounded backdrop.
std::shared_ptr<ui::Label> VKCreateInfoLabel(const gfx::Rect& frame, std::string_view text, unsigned autoresizingMask);

class VKPagingHelp {
public:
    bool isVisible() const;
    ui::View* view() const { return m_view.lock().get(); }
    // Lays the help over `parent` within the edge insets; `verticalLayout`
    // picks the regions. Nothing when one already shows.
    bool show(ui::View& parent, bool verticalLayout);
    // The room the bars leave: the help keeps between them (its bands are
    // never under a bar) and follows when they come or go.
    void setEdgeInsets(const gfx::EdgeInsets& insets);
    // Fades the help out and takes it away (at once when not `fade`);
    // whether there was one.
    bool hide(bool fade = true);
    void forget() { m_view.reset(); }

private:
    gfx::Rect frameIn(const ui::View& parent) const;

    std::weak_ptr<ui::View> m_view;
    gfx::EdgeInsets m_insets;
};
