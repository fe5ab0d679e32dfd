#include "Platform/Web/WebDocumentView.h"

#include "Platform/Web/WebSnapshot.h"

namespace web {

WebDocumentView::WebDocumentView()
{
    setUserInteractionEnabled(false);
    setOpaque(false);
}

void WebDocumentView::setSnapshot(std::shared_ptr<const WebSnapshot> snapshot)
{
    m_snapshot = std::move(snapshot);
    setNeedsDisplay();
}

void WebDocumentView::draw(gfx::Context& context, const gfx::Rect& rect)
{
    (void)rect;
    if (m_snapshot)
        m_snapshot->draw(context, bounds());
}

} // namespace web
