#include "Viewers/Document/VKDocumentPageIndex.h"

#include "Viewers/Document/VKDocumentViewController.h"
#include "Viewers/Document/VKPageIndexView.h"
#include "Viewers/Document/VKPageNumberOverlay.h"

void VKDocumentPageIndex::addIndex(VKDocumentViewController& viewer, bool barsHidden)
{
    if (m_indexView || !viewer.contentView())
        return;
    m_indexView = VKPageIndexView::create();
    m_indexView->setPageCount(viewer.pageCount());
    if (m_suppressed || barsHidden)
        m_indexView->fadeOut(true, false);
    viewer.contentView()->addSubview(m_indexView);
    m_indexView->setFrame(indexFrame(viewer));
    std::weak_ptr<VKDocumentViewController> weak = viewer.sharedAs<VKDocumentViewController>();
    auto self = viewer.shared_from_this();
    // The frame owns this object: while it lives, so does this.
    m_indexView->addTarget(self, "handlePageIndexViewControlEvent",
        [this, weak](ui::Control&, const ui::Event*) {
            if (auto viewer = weak.lock())
                trackingDidChange(*viewer);
        },
        ui::Control::TouchDown | ui::Control::TouchUpInside | ui::Control::TouchUpOutside | ui::Control::TouchCancel);
    m_indexView->addTarget(self, "pageIndexValueDidChange",
        [this, weak](ui::Control&, const ui::Event*) {
            if (auto viewer = weak.lock())
                viewer->scrollToNormalisedOffset({ viewer->normalisedOffset().x, m_indexView->value() }, false, false);
        },
        ui::Control::ValueChanged);
}

gfx::Rect VKDocumentPageIndex::indexFrame(VKDocumentViewController& viewer)
{
    gfx::Rect b = viewer.view()->bounds();
    float width = m_indexView ? m_indexView->frame().width() : VKPageIndexView::Width;
    gfx::EdgeInsets insets = m_edgeInsets;
    if (insets == gfx::EdgeInsets() && viewer.wantsFullScreenLayout())
        insets = viewer.barInsets();
    float y = b.minY() + 5 + insets.top;
    return gfx::Rect(b.maxX() - width - 2 - insets.right, y, width, b.maxY() - 5 - insets.bottom - y);
}

void VKDocumentPageIndex::trackingDidChange(VKDocumentViewController& viewer)
{
    bool tracking = m_indexView->isTracking();
    viewer.setBlocksTapHidingUI(tracking);
    if (tracking) {
        if (m_numberOverlay)
            m_numberOverlay->fadeOut(false, false);
        viewer.setUIHidden(true, false);
    } else {
        if (m_numberOverlay)
            m_numberOverlay->fadeOut(true, true, VKUIHideDelay);
        m_indexView->fadeOut(true, true);
    }
}

void VKDocumentPageIndex::setSuppressed(bool suppressed, bool barsHidden)
{
    m_suppressed = suppressed;
    if (!m_indexView)
        return;
    if (suppressed)
        m_indexView->fadeOut(true, true);
    else if (!barsHidden)
        m_indexView->fadeOut(false, true);
}

void VKDocumentPageIndex::setEdgeInsets(VKDocumentViewController& viewer, gfx::EdgeInsets insets)
{
    m_edgeInsets = insets;
    if (m_indexView)
        m_indexView->setFrame(indexFrame(viewer));
}

void VKDocumentPageIndex::hide(bool animated)
{
    if (m_indexView)
        m_indexView->fadeOut(true, animated);
    if (m_numberOverlay)
        m_numberOverlay->fadeOut(true, animated);
}

void VKDocumentPageIndex::addNumberOverlay(VKDocumentViewController& viewer)
{
    if (m_numberOverlay || !viewer.contentView())
        return;
    m_numberOverlay = VKPageNumberOverlay::create(gfx::Rect(6, 6, 78, 34));
    m_numberOverlay->setAlpha(0);
    m_numberOverlay->setPageCount(viewer.pageCount());
    m_numberOverlay->setPageNumber(viewer.currentPageNumber());
    viewer.contentView()->addSubview(m_numberOverlay);
}

void VKDocumentPageIndex::removeNumberOverlay()
{
    if (!m_numberOverlay)
        return;
    m_numberOverlay->removeFromSuperview();
    m_numberOverlay.reset();
}

void VKDocumentPageIndex::setNumberOverlayWanted(VKDocumentViewController& viewer, bool wanted)
{
    if (wanted && viewer.pageCount() >= 2)
        addNumberOverlay(viewer);
    else
        removeNumberOverlay();
}

void VKDocumentPageIndex::pagesDidChange(unsigned count, unsigned page)
{
    if (m_numberOverlay) {
        m_numberOverlay->setPageCount(count);
        m_numberOverlay->setPageNumber(page);
    }
}

bool VKDocumentPageIndex::followBars(bool hidden, bool uiHidden)
{
    if (!m_indexView)
        return false;
    if (uiHidden && m_indexView->alpha() == 1.0f) {
        hide(true);
        return true;
    }
    if (m_indexView->isHighlighted()) {
        if (!hidden && m_numberOverlay)
            m_numberOverlay->fadeOut(true, false);
    } else if (hidden) {
        m_indexView->fadeOut(true, true);
    } else {
        if (!m_suppressed)
            m_indexView->fadeOut(false, true);
        if (m_numberOverlay)
            m_numberOverlay->fadeOut(true, false);
    }
    return false;
}

void VKDocumentPageIndex::willRotate()
{
    if (m_indexView)
        m_indexView->setHidden(true);
}

void VKDocumentPageIndex::didRotate(VKDocumentViewController& viewer)
{
    if (m_indexView) {
        m_indexView->setHidden(m_suppressed);
        m_indexView->setFrame(indexFrame(viewer));
    }
}
