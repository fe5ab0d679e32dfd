#pragma once

// The continuous vertical layout: every page one below the other in one
// zoomable scroll view, centred, with a border of a hundredth of the
// content's width around and between pages. Page geometry is computed once
// per reload in unit coordinates (fractions of the content width) and
// scaled to the content on demand; lookups by height bisect the table, so
// a layout pass costs what the visible pages cost, not the document's
// length. Only pages meeting the visible rectangle or within a screen of
// it get views (those beyond it draw their tiles ahead, so a screen paged
// to shows drawn); those far from it are flushed once the cache grows past
// twice what is near.

#include "Platform/UI/ScrollView.h"
#include "Viewers/PDF/VKDocumentView.h"

#include <vector>

class VKScrollView;

class VKDocumentViewVertical : public VKDocumentView, public ui::ScrollViewDelegate {
public:
    static std::shared_ptr<VKDocumentViewVertical> create(const gfx::Rect& frame);
    ~VKDocumentViewVertical() override;

    ui::ScrollView* scrollView() const override;
    VKScrollView& documentScrollView() const { return *m_scrollView; }
    ui::View& contentView() const { return *m_contentView; }
    core::Range visiblePageRange() const { return m_visiblePageRange; }

    void setFrame(const gfx::Rect& frame) override;
    void layoutSubviews() override;
    void reloadData() override;
    gfx::Rect frameForPageAtIndex(size_t index) const override;
    float contentZoom() const override;
    void setContentZoom(float zoom) override;
    gfx::Point normalisedOffset() const override;
    void scrollToNormalisedOffset(gfx::Point offset, bool animated, bool displayScrollIndicators) override;
    bool handleSingleTapRecognized(ui::GestureRecognizer& recognizer) override;
    void doubleTapRecognized(ui::GestureRecognizer& recognizer) override;
    void zoomOutAroundPoint(gfx::Point point, bool animated) override;
    void zoomToScaledRect(const gfx::Rect& rect, bool animated) override;
    void scrollToPageAtIndex(size_t index, const gfx::Rect& anchor, bool animated) override;
    void setToolbarContentInsets(const gfx::EdgeInsets& insets) override;
    void setThumbnailsEnabled(bool enabled) override;
    bool shouldFlushCachedPageAtIndex(size_t index) const override;
    void willFlushCachedPageView(ui::View& view) override;

    // Tap paging at a point of this view; whether the tap was used.
    bool handleSingleTapAtPoint(gfx::Point point);

    core::Range pagesNearVerticalPosition(float y) const;
    core::Range pagesIntersectingRect(const gfx::Rect& rect) const;
    size_t indexofPageNearestPoint(gfx::Point point) const;

    // ScrollViewDelegate
    ui::View* viewForZooming(ui::ScrollView&) override;
    void willBeginDragging(ui::ScrollView& view) override;
    void didScroll(ui::ScrollView&) override;
    void didZoom(ui::ScrollView&) override;

private:
    void setUp(const gfx::Rect& frame);
    void setContentHeight(float height);
    // Fitting the width is the least zoom unless a whole page needs less.
    void updateZoomLimits();
    void centreNarrowContent();

    std::shared_ptr<VKScrollView> m_scrollView;
    std::shared_ptr<ui::View> m_contentView;
    std::vector<gfx::Rect> m_pageFrames;
    // The pages' tops in unit coordinates, exact enough for any page count.
    std::vector<double> m_pageTops;
    core::Range m_visiblePageRange;
    size_t m_foremostPageIndex = core::kNotFound;
};
