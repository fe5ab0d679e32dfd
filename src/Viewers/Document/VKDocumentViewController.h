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
// and setupNormalisedPageHeight / currentOffsetDidChange when the size or the
// offset changes (never while loading).

#include "App/Viewers/VKViewController.h"
#include "Viewers/Document/VKPageText.h"

#include "Platform/Core/Observation.h"
#include "Platform/Core/URLRequest.h"
#include "Platform/UI/SearchBar.h"

#include <memory>

namespace ui {
class Button;
class ImageView;
class Label;
class View;
} // namespace ui
class VKDocumentTitleView;
class VKGoToPagePlaceholderView;
class VKPageIndexView;
class VKPageNumberOverlay;
class VKRepeatButton;

// The label style of the paging help: bold 18 white on a translucent dark
// rounded backdrop.
std::shared_ptr<ui::Label> VKCreateInfoLabel(const gfx::Rect& frame, std::string_view text, unsigned autoresizingMask);

// The page number typed into the go-to-page bar: its leading ASCII digits,
// saturating at 2,147,483,647; 0 when there are none.
unsigned VKPageNumberFromText(std::string_view text);

class VKDocumentViewController : public VKViewController, public ui::SearchBarDelegate {
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
    static constexpr double SearchImageFadeDuration = 0.75;

    VKDocumentViewController();
    ~VKDocumentViewController() override;
    void initWithResource(const std::shared_ptr<VKFileResource>& resource,
        const std::shared_ptr<VKViewerFolderHost>& folderController) override;

    // The contract: each raises "VKNotImplemented" unless a subclass
    // supplies it.
    virtual gfx::Point contentOffset();
    virtual void setContentOffset(gfx::Point offset);
    virtual gfx::Size contentSize();
    virtual ui::View* verticalScrollIndicator();
    void loadContentView() override;

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
    ui::ImageView* searchIndicationView() const { return m_searchIndicationView.get(); }

    // Page-up and page-down buttons a viewer may install.
    void setPageButtons(std::shared_ptr<VKRepeatButton> up, std::shared_ptr<VKRepeatButton> down);
    void pageUpRepeat();
    void pageDownRepeat();
    void pageUpDownBegan();
    void pageUpDownEnded(VKRepeatButton& sender);

    virtual void contentLoadDidSucceed();
    virtual void loadPersistentState();
    void storePersistentState() override;
    void bookmarksController(ui::ViewController& controller, const core::Value& bookmark) override;

    // Bars, the page index and the bubble together.
    bool isUIHidden() const override;
    void setUIHidden(bool hidden, bool animated) override;
    bool shouldSingleTapHideUI() const override;
    bool blocksTapHidingUI() const { return m_blockTapHidesUI; }

    VKPageIndexView* pageIndexView() const { return m_pageIndexView.get(); }
    VKPageNumberOverlay* pageNumberOverlay() const { return m_pageNumberOverlay.get(); }
    VKDocumentTitleView* titleView() const { return m_titleView.get(); }
    void addPageIndexOverlay();
    void addPageNumberOverlay();
    void removePageNumberOverlay();
    void hidePageIndexOverlayAnimated(bool animated);
    gfx::Rect pageIndexViewFrame();
    // What the bars (and the status bar, where the view lies under it)
    // cover of a full-screen view while they show; nothing without a
    // navigation controller.
    gfx::EdgeInsets barInsets();
    bool pageIndexViewSuppressed() const { return m_pageIndexSuppressed; }
    void setPageIndexViewSuppressed(bool suppressed);
    gfx::EdgeInsets pageIndexEdgeInsets() const { return m_pageIndexEdgeInsets; }
    virtual void setPageIndexEdgeInsets(gfx::EdgeInsets insets);

    // The go-to-page bar.
    void showGotoPageController();
    void gotoSearchBarDone(ui::SearchBar& bar);
    void removeGotoSearchBar();
    bool isSearchBarActive() const;
    void cancelCurrentSearch();
    virtual void gotoPageNumber(unsigned page);
    ui::SearchBar* gotoSearchBar() const { return m_gotoSearchBar.get(); }
    VKGoToPagePlaceholderView* gotoPlaceholderView() const { return m_gotoPlaceholder.get(); }
    // "Go", and Return in the field, go to the page.
    void cancelButtonClicked(ui::SearchBar& bar) override;
    void searchButtonClicked(ui::SearchBar& bar) override;
    void textDidBeginEditing(ui::SearchBar& bar) override;
    void textDidEndEditing(ui::SearchBar& bar) override;

    // Toolbar, sheets, links and the paging help.
    std::vector<std::shared_ptr<ui::BarButtonItem>> createToolbarItems() override;
    void showBookmarks();
    void addBookmark();
    void addButtonsToActionSheet(VKActionSheet& sheet) override;
    void actionSheetClickedButtonWithTag(VKActionSheet& sheet, int tag) override;
    void handleOpenEventForURLRequest(const core::URLRequest& request);
    bool pagingGestureInfoVisible() const;
    void setPagingGestureInfoVisible(bool visible);
    ui::View* pagingGestureInfoView() const { return m_pagingGestureInfoView.lock().get(); }

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
    void handlePageIndexViewControlEvent();
    void pageIndexValueDidChange();
    void pageNumberOverlaySettingDidChange();
    void openLink(const core::URLRequest& request);
    void downloadLink(const core::URLRequest& request);
    std::string linkTargetFolder() const;

    std::shared_ptr<ui::SearchBar> m_gotoSearchBar;
    std::shared_ptr<VKGoToPagePlaceholderView> m_gotoPlaceholder;
    std::shared_ptr<VKRepeatButton> m_pageUpButton;
    std::shared_ptr<VKRepeatButton> m_pageDownButton;
    float m_normalisedPageHeight = 0;
    gfx::Point m_rotationContentOffset;
    std::shared_ptr<VKPageIndexView> m_pageIndexView;
    std::shared_ptr<VKPageNumberOverlay> m_pageNumberOverlay;
    gfx::EdgeInsets m_pageIndexEdgeInsets;
    bool m_blockTapHidesUI = false;
    bool m_pageIndexSuppressed = false;
    std::shared_ptr<ui::ImageView> m_searchIndicationView;
    gfx::EdgeInsets m_pagingEdgeInsets { 64, 0, 64, 0 };
    std::weak_ptr<ui::View> m_pagingGestureInfoView;
    std::shared_ptr<VKDocumentTitleView> m_titleView;
    core::Observation m_overlaySettingObservation;
};
