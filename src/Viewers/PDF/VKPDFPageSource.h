#pragma once

// What the PDF viewer's layout view asks and tells: the document's pages,
// their sizes (the rotated boxes rounded up) and page views (drawing their
// search highlights from the viewer's index store), the scrubbing overlay's
// outline titles (the chain of titles down to the page, one a line) and
// thumbnails; a drag or a thumbnail asked for hides the bars, paging past
// either end shows the end's sign, and a page view entering the view tree
// lights its hit again. The viewer makes it with itself and holds it for its
// whole life; the layout view reaches it until the viewer detaches it.

#include "Viewers/PDF/VKDocumentViewDataSource.h"
#include "Viewers/PDF/VKDocumentViewDelegate.h"

class VKPDFViewController;

class VKPDFPageSource : public VKDocumentViewDataSource, public VKDocumentViewDelegate {
public:
    explicit VKPDFPageSource(VKPDFViewController& viewer) : m_viewer(viewer) { }

    size_t numberOfPagesInDocumentView(VKDocumentView& view) override;
    gfx::Size documentViewSizeForPageAtIndex(VKDocumentView& view, size_t index) override;
    std::shared_ptr<ui::View> documentViewViewForPageAtIndex(VKDocumentView& view, size_t index) override;
    std::optional<std::string> documentViewTitleForPageAtIndex(VKDocumentView& view, size_t index) override;
    unsigned maxDepthForDocumentView(VKDocumentView& view) override;
    gfx::Size documentViewThumbnailSizeForIndex(VKDocumentView& view, size_t index) override;
    std::shared_ptr<gfx::Image> documentViewThumbnailImageForIndex(VKDocumentView& view, size_t index,
        float length) override;

    void documentViewScrollViewWillBeginDragging(VKDocumentView& view, ui::ScrollView& scrollView) override;
    void documentViewDidIgnorePaging(VKDocumentView& view, int direction) override;
    void documentViewWillAddPageView(VKDocumentView& view, ui::View& pageView, size_t index) override;

private:
    VKPDFViewController& m_viewer;
};
