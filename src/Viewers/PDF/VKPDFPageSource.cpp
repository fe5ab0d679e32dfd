#include "Viewers/PDF/VKPDFPageSource.h"

#include "Viewers/PDF/VKPDFPageThumbnailManager.h"
#include "Viewers/PDF/VKPDFPageView.h"
#include "Viewers/PDF/VKPDFViewController.h"

#include "FileModel/VKFileResource.h"
#include "Kit/VKStringChain.h"
#include "PDF/VKPDFDocument.h"
#include "PDF/VKPDFOutlineScanner.h"
#include "PDF/VKPDFPage.h"

#include <cmath>

size_t VKPDFPageSource::numberOfPagesInDocumentView(VKDocumentView&)
{
    return m_viewer.pageCount();
}

gfx::Size VKPDFPageSource::documentViewSizeForPageAtIndex(VKDocumentView&, size_t index)
{
    const auto* document = m_viewer.document().get();
    if (!document || index >= document->numPages())
        return {};
    gfx::Rect box = document->pageGeometry(uint32_t(index)).rotatedBox;
    return { std::ceil(box.width()), std::ceil(box.height()) };
}

std::shared_ptr<ui::View> VKPDFPageSource::documentViewViewForPageAtIndex(VKDocumentView&, size_t index)
{
    if (!m_viewer.document())
        return nullptr;
    return VKPDFPageView::pageViewWithPage(VKPDFPage::pageWithDocument(m_viewer.document(), int(index) + 1),
        m_viewer.pageIndexStore());
}

std::optional<std::string> VKPDFPageSource::documentViewTitleForPageAtIndex(VKDocumentView&, size_t index)
{
    if (!m_viewer.outlineScanner())
        return std::nullopt;
    auto chain = m_viewer.outlineScanner()->outlinesForPageNumber(uint32_t(index) + 1);
    if (!chain)
        return std::nullopt;
    std::string text = chain->concreteString();
    for (auto link = chain->stringChain(); link; link = link->stringChain())
        text = link->concreteString() + "\n" + text;
    return text;
}

unsigned VKPDFPageSource::maxDepthForDocumentView(VKDocumentView&)
{
    return m_viewer.outlineScanner() ? m_viewer.outlineScanner()->maxDepth() : 0;
}

gfx::Size VKPDFPageSource::documentViewThumbnailSizeForIndex(VKDocumentView& view, size_t index)
{
    return documentViewSizeForPageAtIndex(view, index);
}

std::shared_ptr<gfx::Image> VKPDFPageSource::documentViewThumbnailImageForIndex(VKDocumentView&, size_t index,
    float length)
{
    m_viewer.hideChromeIfShown();
    if (!m_viewer.document() || !m_viewer.resource())
        return nullptr;
    return VKPDFPageThumbnailManager::sharedManager().thumbnailForDocument(m_viewer.document(), uint32_t(index) + 1,
        m_viewer.resource()->UUID(), length);
}

void VKPDFPageSource::documentViewScrollViewWillBeginDragging(VKDocumentView&, ui::ScrollView&)
{
    m_viewer.hideChromeIfShown();
}

void VKPDFPageSource::documentViewDidIgnorePaging(VKDocumentView&, int direction)
{
    m_viewer.indicateSearchTruncation(direction == -1 ? VKPDFViewController::Down : VKPDFViewController::Up);
}

void VKPDFPageSource::documentViewWillAddPageView(VKDocumentView&, ui::View& view, size_t)
{
    if (auto* pageView = dynamic_cast<VKPDFPageView*>(&view))
        if (pageView->highlightedTextRange().location != core::kNotFound)
            pageView->setHighlightedTextRange(pageView->highlightedTextRange());
}
