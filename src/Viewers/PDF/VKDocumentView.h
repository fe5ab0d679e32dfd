#pragma once

// The base of the PDF viewer's page layouts: the data source and delegate
// through which the viewer supplies pages, a cache of page views by index,
// the current visible range and its notification, the chrome insets, and
// the thumbnails mode: a scroll track along one edge and an overlay with a
// thumbnail, the page number and the outline title while a long press
// scrubs the track. Layouts override the geometry operations; the base
// versions of the abstract ones only log. Main thread only.

#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Range.h"
#include "Platform/UI/GestureRecognizer.h"
#include "Platform/UI/View.h"

#include <map>
#include <memory>
#include <vector>

namespace ui {
class LongPressGestureRecognizer;
class ScrollView;
}
class VKDocumentViewDataSource;
class VKDocumentViewDelegate;
class VKOverlayView;
class VKScrollTrackView;

inline constexpr const char* VKDocumentViewPageRangeDidChangeNotification = "VKDocumentViewPageRangeDidChangeNotification";
inline constexpr float VKDocumentViewNaturalWidth = 320.0f;
inline constexpr float VKDocumentViewBorderScale = 0.01f;
inline constexpr float VKDocumentViewMaximumZoomScale = 1000.0f;
inline constexpr float VKDocumentViewTapRegionWidth = 64.0f;

// Cuts `amount` off the side `edge` of a rectangle (0 left, 1 top, 2 right,
// 3 bottom): the slice and what remains.
std::pair<gfx::Rect, gfx::Rect> VKRectDivide(const gfx::Rect& rect, float amount, int edge);

class VKDocumentView : public ui::View, public ui::GestureRecognizerDelegate {
public:
    static constexpr double LongPressDuration = 0.15;

    VKDocumentView();
    ~VKDocumentView() override;

    // The source and the delegate belong to the view's owner, which lets
    // go of them (detach) before they go.
    VKDocumentViewDataSource* dataSource() const { return m_dataSource; }
    // Stores the source and reloads.
    void setDataSource(VKDocumentViewDataSource* dataSource);
    VKDocumentViewDelegate* delegate() const { return m_delegate; }
    void setDelegate(VKDocumentViewDelegate* delegate) { m_delegate = delegate; }
    // Forgets the source and the delegate, asking nothing again.
    void detach()
    {
        m_dataSource = nullptr;
        m_delegate = nullptr;
    }

    size_t numPages() const { return m_numPages; }
    core::Range currentIndexRange() const { return m_currentIndexRange; }
    const gfx::EdgeInsets& toolbarInsets() const { return m_toolbarInsets; }
    // Any non-zero inset means the chrome shows: the track shows its
    // placeholder.
    void setToolbarInsets(const gfx::EdgeInsets& insets);
    const gfx::EdgeInsets& toolbarContentInsets() const { return m_toolbarContentInsets; }
    virtual void setToolbarContentInsets(const gfx::EdgeInsets& insets);
    bool pagingEnabled() const { return m_pagingEnabled; }
    void setPagingEnabled(bool enabled) { m_pagingEnabled = enabled; }
    bool thumbnailsEnabled() const { return m_overlayView != nullptr; }
    virtual void setThumbnailsEnabled(bool enabled);
    VKScrollTrackView* scrollTrackView() const { return m_scrollTrackView.get(); }
    VKOverlayView* overlayView() const { return m_overlayView.get(); }
    ui::LongPressGestureRecognizer* longPressRecognizer() const { return m_longPressRecognizer.get(); }

    // Layout operations.
    virtual void reloadData();
    virtual ui::ScrollView* scrollView() const { return nullptr; }
    virtual float contentZoom() const { return 0; }
    virtual void setContentZoom(float zoom) { (void)zoom; }
    virtual gfx::Point normalisedOffset() const { return {}; }
    virtual void scrollToNormalisedOffset(gfx::Point offset, bool animated, bool displayScrollIndicators);
    virtual void zoomOutAroundPoint(gfx::Point point, bool animated);
    virtual void zoomToScaledRect(const gfx::Rect& rect, bool animated);
    virtual void scrollToPageAtIndex(size_t index, const gfx::Rect& anchor, bool animated);
    virtual void doubleTapRecognized(ui::GestureRecognizer& recognizer) { (void)recognizer; }
    // Whether a single tap was used (tap paging).
    virtual bool handleSingleTapRecognized(ui::GestureRecognizer& recognizer);
    virtual bool shouldFlushCachedPageAtIndex(size_t index) const { (void)index; return true; }
    virtual void willFlushCachedPageView(ui::View& view) { (void)view; }
    // The page's natural size scaled to width 320 at (0, 0).
    virtual gfx::Rect frameForPageAtIndex(size_t index) const;

    // The cached view of page `index`, else a new one from the data source,
    // framed and cached; neither added to the view tree nor announced.
    std::shared_ptr<ui::View> viewForPageAtIndex(size_t index);
    std::vector<size_t> cachedPageIndexes() const;
    std::vector<std::shared_ptr<ui::View>> cachedPageViews() const;
    virtual void flushCache();
    void reloadThumbnails() { populateOverlay(); }
    // Stores the range and posts the notification, changed or not.
    void updateCurrentIndexRange(core::Range range);

    void setFrame(const gfx::Rect& frame) override;
    void layoutSubviews() override;
    // "pages 3-4 zoom 1.00 offset 0.125" in the view-tree dump: what a
    // desktop check reads from outside.
    std::string debugText() const override;

    bool shouldBegin(ui::GestureRecognizer& recognizer) override;

protected:
    void performLayout();
    void populateOverlay();
    void longPressRecognized(ui::GestureRecognizer& recognizer);
    bool isLongPressGestureInActiveRegion(ui::GestureRecognizer& recognizer) const;
    // Flushes, farthest from `visible` first, the views the rule allows
    // once more than 2 × (visible + 2) are cached, down to visible ± 2.
    void trimCache(core::Range visible);
    void logAbstract(const char* method) const;

    std::map<size_t, std::shared_ptr<ui::View>> m_cachedPageViews;
    size_t m_numPages = 0;

private:
    size_t trackIndex(ui::GestureRecognizer& recognizer) const;

    std::shared_ptr<ui::LongPressGestureRecognizer> m_longPressRecognizer;
    std::shared_ptr<VKOverlayView> m_overlayView;
    std::shared_ptr<VKScrollTrackView> m_scrollTrackView;
    VKDocumentViewDataSource* m_dataSource = nullptr;
    VKDocumentViewDelegate* m_delegate = nullptr;
    gfx::EdgeInsets m_toolbarContentInsets;
    gfx::EdgeInsets m_toolbarInsets;
    size_t m_overlayPageIndex = 0;
    core::Range m_currentIndexRange;
    bool m_pagingEnabled = false;
    core::Observation m_memoryWarning;
};
