#pragma once

// The view in a web view's scroll view that shows the page: the latest
// snapshot, drawn where it was taken (its frame is the snapshot's place and
// size), so that it scrolls with the content until the next one arrives.
// Hiding it hides the page.

#include "Platform/UI/View.h"

#include <memory>

namespace web {

class WebSnapshot;

class WebDocumentView : public ui::View {
public:
    WebDocumentView();

    const std::shared_ptr<const WebSnapshot>& snapshot() const { return m_snapshot; }
    void setSnapshot(std::shared_ptr<const WebSnapshot> snapshot);

    void draw(gfx::Context& context, const gfx::Rect& rect) override;

private:
    std::shared_ptr<const WebSnapshot> m_snapshot;
};

} // namespace web
