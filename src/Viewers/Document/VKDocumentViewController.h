#pragma once

// The common base of the scrolling document viewers (PDF, plain text, web
// documents). A long document reads as numbered screenfuls: taps near the
// top or bottom edge page, the page index at the right edge scrubs, the
// bubble and the title view say where the reader is, "Go to Page" takes a
// number, links offer Open, Copy and Download, and a one-time overlay
// explains tap paging. The reading position (normalised offsets) is kept
// per document and survives rotation.
//
// The frame never touches the concrete content: a subclass supplies
// contentOffset, setContentOffset, contentSize, verticalScrollIndicator and
// loadContentView, calls contentLoadDidSucceed once its content is in place,
// contentSizeDidChange when the size changes after that (a web page's
// geometry may come after its load) and setupNormalisedPageHeight /
// currentOffsetDidChange when the offset changes (never while loading).

//
// Its parts: the page index and the bubble (VKDocumentPageIndex), the
// go-to-page bar (VKGoToPageBar), the link sheet (VKDocumentLinkSheet), the
// paging help (VKPagingHelp) and the end signs and flashed indicator
// (VKScrollSigns).

#include "App/Viewers/VKBookmarksControllerDelegate.h"
#include "App/Viewers/VKViewController.h"
#include "Viewers/Document/VKDocumentPageIndex.h"
#include "Viewers/Document/VKGoToPageBar.h"
#include "Viewers/Document/VKPageText.h"
#include "Viewers/Document/VKPagingHelp.h"
#include "Viewers/Document/VKScrollSigns.h"

#include "Platform/Core/Observation.h"
#include "Platform/Core/URLRequest.h"

#include <memory>

namespace ui {
class ImageView;
class View;
} // namespace ui
class VKDocumentTitleView;

class VKDocumentViewController : public VKViewController, public VKBookmarksControllerDelegate {
public:
    enum PagingDirection { None = 0, Up = 1, Down = 2, Left = 3, Right = 4 };
    // Tags of the frame's sheet entries and of the link sheet.
    static constexpr int GoToPageButtonTag = 1004;
    static constexpr int OpenLinkButtonTag = 1008;
    static constexpr int DownloadLinkButtonTag = 1009;
    static constexpr int CopyLinkButtonTag = 1010;
    static constexpr int LinkActionSheetTag = 2001;
    static constexpr const char* PagingGestureInfoShownKey = "VKPagingGestureInfoShown";
    static constexpr const char* PagingGestureEnabledKey = "VKPagingGestureEnabled";
    static constexpr const char* PageNumberOverlayEnabledKey = "VKPageNumberOverlayEnabled";
    static constexpr float PagingOverlap = 20;
    // A registered default that is on unless set off (tests run without
    // the registration).
    static bool settingIsOn(std::string_view key);

    VKDocumentViewController();
    ~VKDocumentViewController() override;
    void initWithResource(const std::shared_ptr<VKFileResource>& resource,
        const std::shared_ptr<VKViewerFolderHost>& folderController) override;

    // The contract: what every document viewer supplies.
    virtual gfx::Point contentOffset() = 0;
    virtual void setContentOffset(gfx::Point offset) = 0;
    virtual gfx::Size contentSize() = 0;
    virtual ui::View* verticalScrollIndicator() = 0;

    virtual bool contentScalesWithBounds() const { return false; }
    virtual float contentZoom() { return 1.0f; }
    virtual void setContentZoom(float zoom) { (void)zoom; }
    virtual int documentViewLayout() const { return 1; }

    // Pages are screenfuls of the main screen, the current page the one
    // that holds the middle of the view.
    void setupNormalisedPageHeight();
    float normalisedPageHeight() const { return m_normalisedPageHeight; }
    virtual unsigned pageCount();
    virtual unsigned currentPageNumber();
    virtual VKPageIndexRange currentPageIndexRange();
    virtual gfx::Point normalisedOffset();
    gfx::Point contentOffsetFromNormalisedOffset(gfx::Point normalised);
    void currentOffsetDidChange();

    // Scrolling, clamped to the content.
    void scrollToContentOffset(gfx::Point offset, bool animated, bool displayScrollIndicators);
    virtual void scrollToNormalisedOffset(gfx::Point normalised, bool animated, bool displayScrollIndicators);
    virtual void flashVerticalScrollIndicator();
    void scrollToHome();
    void scrollToEnd();
    bool canPageInDirection(int direction);
    void scrollViewByPageInDirection(int direction, bool animated);
    int pagingDirectionForTapPoint(gfx::Point pointInView) const;
    gfx::EdgeInsets pagingEdgeInsets() const { return m_pagingEdgeInsets; }
    void setPagingEdgeInsets(gfx::EdgeInsets insets) { m_pagingEdgeInsets = insets; }

    // The transient end / beginning / wrap-around picture.
    void indicateSearchTruncation(int direction);
    void indicateSearchRotation(int direction);
    void indicateSearchImage(const std::string& name);
    ui::ImageView* searchIndicationView() const { return m_scrollSigns.imageView(); }

    virtual void contentLoadDidSucceed();
    // Counts the pages again; content found to have two or more only now
    // gets its page index and the one-time paging help then.
    void contentSizeDidChange();
    virtual void loadPersistentState();
    void storePersistentState() override;
    // Bookmarks: the list is presented over the stack; with an offset a new
    // bookmark is added there first. A chosen one scrolls there.
    void bookmarksControllerDidEnd(ui::ViewController& controller) override;
    void bookmarksController(ui::ViewController& controller, const core::Value& bookmark) override;
    void addBookmarkWithOffset(gfx::Point offset);
    void showBookmarksController();
    virtual void showBookmarksControllerWithNewOffset(gfx::Point offset);

    // Bars, the page index and the bubble together.
    bool isUIHidden() const override;
    void setUIHidden(bool hidden, bool animated) override;
    bool shouldSingleTapHideUI() const override;
    bool blocksTapHidingUI() const { return m_blockTapHidesUI; }
    void setBlocksTapHidingUI(bool block) { m_blockTapHidesUI = block; }

    VKPageIndexView* pageIndexView() const { return m_pageIndex.indexView(); }
    VKPageNumberOverlay* pageNumberOverlay() const { return m_pageIndex.numberOverlay(); }
    VKDocumentTitleView* titleView() const { return m_titleView.get(); }
    // What the bars (and the status bar, where the view lies under it)
    // cover of a full-screen view while they show; nothing without a
    // navigation controller.
    gfx::EdgeInsets barInsets();
    bool pageIndexViewSuppressed() const { return m_pageIndex.isSuppressed(); }
    void setPageIndexViewSuppressed(bool suppressed);
    virtual void setPageIndexEdgeInsets(gfx::EdgeInsets insets);

    // The go-to-page bar.
    void showGotoPageController();
    void removeGotoSearchBar();
    bool isSearchBarActive() const;
    // Removes the bar on the next pass of the main loop.
    void cancelCurrentSearch();
    virtual void gotoPageNumber(unsigned page);
    ui::SearchBar* gotoSearchBar() const;
    // As "Go".
    void cancelButtonClicked(ui::SearchBar& bar);

    // Toolbar, sheets, links and the paging help.
    std::vector<std::shared_ptr<ui::BarButtonItem>> createToolbarItems() override;
    void showBookmarks();
    void addBookmark();
    void addButtonsToActionSheet(VKActionSheet& sheet) override;
    void actionSheetClickedButtonWithTag(VKActionSheet& sheet, int tag) override;
    void handleOpenEventForURLRequest(const core::URLRequest& request);
    bool pagingGestureInfoVisible() const;
    void setPagingGestureInfoVisible(bool visible);
    ui::View* pagingGestureInfoView() const { return m_pagingHelp.view(); }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewDidUnload() override;
    void setTitleFromResource() override;
    void willRotate(ui::Orientation orientation, double duration) override;
    void didRotate(ui::Orientation fromOrientation) override;
    bool shouldAutorotate(ui::Orientation orientation) override;

protected:
    void singleTapGestureRecognized(ui::GestureRecognizer& recognizer) override;

private:
    // The page index and number overlay, for two pages or more.
    void addPageIndex();
    // The paging help, the first time a document of two pages or more
    // shows: whether it shows now.
    bool offerPagingHelp();

    float m_normalisedPageHeight = 0;
    gfx::Point m_rotationContentOffset;
    VKDocumentPageIndex m_pageIndex;
    std::shared_ptr<VKGoToPageBar> m_gotoBar;
    VKPagingHelp m_pagingHelp;
    gfx::Point m_offsetUnderHelp; // where the document stood when the help came
    bool m_placingDocument = false; // putting it back where it was read
    VKScrollSigns m_scrollSigns;
    bool m_blockTapHidesUI = false;
    gfx::EdgeInsets m_pagingEdgeInsets { 64, 0, 64, 0 };
    std::shared_ptr<VKDocumentTitleView> m_titleView;
    core::Observation m_overlaySettingObservation;
};
