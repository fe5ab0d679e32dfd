#pragma once

// The page index at the right edge of a document viewer's content and the
// page-number bubble at its top left, with what they share: the index is
// framed between the bars (or the viewer's own insets), it scrubs the
// document, hides and shows with the bars unless suppressed, and while a
// finger holds it the bars go and the bubble shows the page. The document
// frame owns it and hands itself in on each call; the index's own events
// reach the frame through a weak reference.

#include "Platform/Graphics/Geometry.h"

#include <memory>

class VKDocumentViewController;
class VKPageIndexView;
class VKPageNumberOverlay;

class VKDocumentPageIndex {
public:
    VKPageIndexView* indexView() const { return m_indexView.get(); }
    VKPageNumberOverlay* numberOverlay() const { return m_numberOverlay.get(); }

    // Both go into the viewer's content view, once; `barsHidden` starts the
    // index faded out.
    void addIndex(VKDocumentViewController& viewer, bool barsHidden);
    void addNumberOverlay(VKDocumentViewController& viewer);
    void removeNumberOverlay();
    // The bubble follows its setting while the document has pages to show.
    void setNumberOverlayWanted(VKDocumentViewController& viewer, bool wanted);
    void hide(bool animated);
    gfx::Rect indexFrame(VKDocumentViewController& viewer);

    bool isSuppressed() const { return m_suppressed; }
    void setSuppressed(bool suppressed, bool barsHidden);
    gfx::EdgeInsets edgeInsets() const { return m_edgeInsets; }
    void setEdgeInsets(VKDocumentViewController& viewer, gfx::EdgeInsets insets);

    // The page count and the current page changed.
    void pagesDidChange(unsigned count, unsigned page);
    // The index (when there is one) follows the bars as they hide or show;
    // true when it was showing while the bars count as hidden, so it fades
    // and the bars go at once.
    bool followBars(bool hidden, bool uiHidden);
    void willRotate();
    void didRotate(VKDocumentViewController& viewer);

private:
    void trackingDidChange(VKDocumentViewController& viewer);

    std::shared_ptr<VKPageIndexView> m_indexView;
    std::shared_ptr<VKPageNumberOverlay> m_numberOverlay;
    gfx::EdgeInsets m_edgeInsets;
    bool m_suppressed = false;
};
