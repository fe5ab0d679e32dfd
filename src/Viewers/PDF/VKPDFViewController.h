#pragma once

// The PDF viewer: the paged document frame over one of the page layouts.
// A tap over a link follows it unless the layout used the tap to page, a
// double tap fits the text column under the finger, and when memory runs
// short the document is opened again and swapped in under the pages shown.
//
// Its parts: the opening of the file and the password popup
// (VKPDFDocumentLoader), the layouts and their chooser
// (VKPDFLayoutChooser), the layout view's data source and delegate
// (VKPDFPageSource), taps on pages (VKPDFPageTaps), the bookmark screens
// (VKPDFBookmarkScreens) and finding text (VKPDFSearchBar).

#include "Viewers/Document/VKDocumentViewController.h"
#include "Viewers/PDF/VKPDFBookmarkScreens.h"
#include "Viewers/PDF/VKPDFDocumentLoader.h"
#include "Viewers/PDF/VKPDFLayoutChooser.h"
#include "Viewers/PDF/VKPDFOutlineTableViewController.h"
#include "Viewers/PDF/VKPDFPageSource.h"
#include "Viewers/PDF/VKPDFPageTaps.h"
#include "Viewers/PDF/VKPDFSearchBar.h"

#include "PDF/VKPDFLinkAnnotation.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/Observation.h"

#include <memory>
#include <optional>
#include <string>

namespace ui {
class Label;
class NavigationBar;
class TapGestureRecognizer;
} // namespace ui
class VKDocumentView;
class VKPDFDestination;
class VKPDFSearchController;
class VKSearchField;
class VKPDFDocument;
class VKPDFOutlineScanner;
class VKPDFPageView;
class VKPageIndexStore;

class VKPDFViewController : public VKDocumentViewController, public VKPDFOutlineTableViewControllerDelegate {
public:
    // Layout values, as the defaults and the chooser know them.
    enum Layout : int { NoLayout = 0, Vertical = 1, SinglePages = 2, DoublePages = 3 };
    static constexpr int PageLayoutActionSheetTag = 123001;
    static constexpr int VerticalButtonTag = 123002;
    static constexpr int SinglePagesButtonTag = 123003;
    static constexpr int DoublePagesButtonTag = 123004;
    static constexpr const char* DocumentViewLayoutKey = "VKDocumentViewLayout";
    static constexpr const char* DoublePageSingleFirstKey = "VKDocumentViewDoublePageSingleFirst";
    static constexpr double SpinnerDelay = 0.5;
    // Below this much free memory a memory warning reopens the document.
    static constexpr uint64_t ReloadFreeMemoryLimit = 10485760;

    // The layouts other than the vertical one register here
    // (VKPDFLayoutChooser; an empty factory unregisters).
    using LayoutViewFactory = VKPDFLayoutChooser::Factory;
    static void setLayoutViewFactory(int layout, LayoutViewFactory factory)
    {
        VKPDFLayoutChooser::setFactory(layout, std::move(factory));
    }
    static bool hasLayoutViewFactory(int layout) { return VKPDFLayoutChooser::hasFactory(layout); }
    static const char* codeForLayout(int layout) { return VKPDFLayoutChooser::codeForLayout(layout); }
    static int layoutForCode(const std::optional<std::string>& code) { return VKPDFLayoutChooser::layoutForCode(code); }
    static int documentLayoutForPath(const std::string& path) { return VKPDFLayoutChooser::documentLayoutForPath(path); }

    // Runs on the loading thread before the file is opened (tests hold a
    // load there).
    static void setLoadHookForTesting(std::function<void()> hook) { VKPDFDocumentLoader::setHookForTesting(std::move(hook)); }

    static std::shared_ptr<VKPDFViewController> create(const std::shared_ptr<VKFileResource>& resource,
        const std::shared_ptr<VKViewerFolderHost>& folderController);
    VKPDFViewController();
    ~VKPDFViewController() override;
    void initWithResource(const std::shared_ptr<VKFileResource>& resource,
        const std::shared_ptr<VKViewerFolderHost>& folderController) override;

    const std::shared_ptr<VKPDFDocument>& document() const { return m_document; }
    VKDocumentView* documentView() const { return m_documentView.get(); }
    const std::shared_ptr<VKPDFOutlineScanner>& outlineScanner() const { return m_outlineScanner; }
    const std::shared_ptr<VKPageIndexStore>& pageIndexStore() const { return m_pageIndexStore; }
    const std::optional<std::string>& password() const { return m_loader->password(); }
    int documentLayout() const { return m_documentLayout; }
    ui::TapGestureRecognizer* doubleTapRecognizer() const { return m_doubleTapRecognizer.get(); }
    // The popup asking for the password while it shows.
    VKPopupAlert* passwordAlert() const { return m_loader->passwordAlert(); }
    bool isLoadingDocument() const { return m_loader->isLoading(); }

    // The frame's contract, forwarded to the layout's scroll view.
    gfx::Point contentOffset() override;
    void setContentOffset(gfx::Point offset) override;
    gfx::Size contentSize() override;
    ui::View* verticalScrollIndicator() override { return nullptr; }
    void flashVerticalScrollIndicator() override;
    void loadContentView() override;
    void contentLoadDidSucceed() override;
    void loadPersistentState() override;
    int documentViewLayout() const override;

    // Pages come from the layout.
    gfx::Point normalisedOffset() override;
    void scrollToNormalisedOffset(gfx::Point normalised, bool animated, bool displayScrollIndicators) override;
    float contentZoom() override;
    void setContentZoom(float zoom) override;
    VKPageIndexRange currentPageIndexRange() override;
    unsigned currentPageNumber() override;
    unsigned pageCount() override;
    void gotoPageNumber(unsigned page) override;

    // Bars.
    bool shouldUIAutoHide() const override;
    bool isUIHidden() const override;
    void setUIHidden(bool hidden, bool animated) override;
    void setPageIndexEdgeInsets(gfx::EdgeInsets insets) override;
    // Top: the status bar's thickness plus the navigation bar; bottom: the
    // toolbar.
    gfx::EdgeInsets chromeInsets();

    // Loading.
    void attemptLoadOnBackgroundThread();
    // `indexStore`, opened on the loading thread, is none when the item has
    // no lasting content-index path; page views then scan their pages.
    void documentLoadingThreadDidSucceed(std::shared_ptr<VKPDFDocument> document,
        std::shared_ptr<VKPDFOutlineScanner> scanner, std::shared_ptr<VKPageIndexStore> indexStore);
    void documentLoadingThreadDidFailWithError(const core::Error& error);

    // Layouts.
    void setupDocumentView();
    std::shared_ptr<ui::BarButtonItem> pageLayoutBarButtonItem() { return m_layoutChooser.item(*this); }
    void pageLayoutButtonWasPressed() { m_layoutChooser.showSheet(*this); }
    std::vector<std::shared_ptr<ui::BarButtonItem>> createToolbarItems() override;
    void actionSheetClickedButtonWithTag(VKActionSheet& sheet, int tag) override;

    // Taps and destinations.
    void doubleTapRecognized(ui::GestureRecognizer& recognizer);
    // (VKPDFPageTaps.)
    VKPDFPageView* pageViewForRecognizer(ui::GestureRecognizer& recognizer)
    {
        return VKPDFPageTaps::pageViewAt(m_documentView.get(), recognizer);
    }
    void showDestination(const VKPDFDestination& destination)
    {
        VKPDFPageTaps::showDestination(m_documentView.get(), pageCount(), destination);
    }
    // http, https and mailto go to the application. Whether it went.
    bool openLinkURL(const core::URL& url) { return VKPDFPageTaps::openLinkURL(url); }

    void thumbnailImageDidUpdate(const core::Notification& notification);

    // The layout view's questions and news (VKPDFPageSource).
    gfx::Size documentViewSizeForPageAtIndex(VKDocumentView& view, size_t index)
    {
        return m_pageSource.documentViewSizeForPageAtIndex(view, index);
    }
    std::shared_ptr<ui::View> documentViewViewForPageAtIndex(VKDocumentView& view, size_t index)
    {
        return m_pageSource.documentViewViewForPageAtIndex(view, index);
    }
    std::optional<std::string> documentViewTitleForPageAtIndex(VKDocumentView& view, size_t index)
    {
        return m_pageSource.documentViewTitleForPageAtIndex(view, index);
    }
    unsigned maxDepthForDocumentView(VKDocumentView& view) { return m_pageSource.maxDepthForDocumentView(view); }
    gfx::Size documentViewThumbnailSizeForIndex(VKDocumentView& view, size_t index)
    {
        return m_pageSource.documentViewThumbnailSizeForIndex(view, index);
    }
    std::shared_ptr<gfx::Image> documentViewThumbnailImageForIndex(VKDocumentView& view, size_t index, float length)
    {
        return m_pageSource.documentViewThumbnailImageForIndex(view, index, length);
    }
    void documentViewDidIgnorePaging(VKDocumentView& view, int direction)
    {
        m_pageSource.documentViewDidIgnorePaging(view, direction);
    }

    // Finding text (VKPDFSearchBar).
    void searchButtonWasPressed() { m_search->open(); }
    // Ctrl+F: the search, or its field where it shows.
    bool performKeyCommand(ui::KeyCommand command) override;
    void searchBarDidCancel(bool fromCancelButton) { m_search->cancel(fromCancelButton); }
    void searchToolbarUpButtonPressed() { m_search->upButtonPressed(); }
    void searchToolbarDownButtonPressed() { m_search->downButtonPressed(); }
    void pageRangeDidChange() { m_search->updateStatusText(std::nullopt); }
    VKPDFSearchController* searchController() const { return m_search->controller(); }
    VKSearchField* searchField() const { return m_search->field(); }
    ui::NavigationBar* searchBar() const { return m_search->bar(); }
    const std::optional<VKDocumentRange>& currentResult() const { return m_search->currentResult(); }
    VKKeyboardDimmingView* searchDimmingView() const { return m_search->dimmingView(); }
    ui::Label* searchStatusLabel() const { return m_search->statusLabel(); }
    ui::BarButtonItem* searchStatusItem() const { return m_search->statusItem(); }
    ui::BarButtonItem* upItem() const { return m_search->upItem(); }
    ui::BarButtonItem* downItem() const { return m_search->downItem(); }
    bool shouldShowPartialIndexWarning() const { return m_search->shouldShowPartialIndexWarning(); }
    const std::string& temporaryIndexPath() const { return m_search->temporaryIndexPath(); }
    void searchControllerIndexBuildingDidProgress(VKPDFSearchController& controller, float progress)
    {
        m_search->searchControllerIndexBuildingDidProgress(controller, progress);
    }
    void searchControllerDidFindResult(VKPDFSearchController& controller, std::optional<VKDocumentRange> result,
        const std::string& searchString)
    {
        m_search->searchControllerDidFindResult(controller, std::move(result), searchString);
    }
    void keyboardDimmingViewDidReceiveTouches(VKKeyboardDimmingView& view) { m_search->keyboardDimmingViewDidReceiveTouches(view); }
    // The search's store, when the document came without one.
    void adoptPageIndexStore(const std::shared_ptr<VKPageIndexStore>& store);

    void viewWillDisappear(bool animated) override;
    void didRotate(ui::Orientation fromOrientation) override;

    // Bookmarks and the outline (VKPDFBookmarkScreens). A chosen bookmark's
    // zoom is set before its offset.
    void showBookmarksControllerWithNewOffset(gfx::Point offset) override;
    void bookmarksController(ui::ViewController& controller, const core::Value& bookmark) override;
    void showDestination(const core::Value& target) override;
    void outlineTableViewControllerDidEnd(VKPDFOutlineTableViewController& controller) override;
    VKPDFOutlineTableViewController* outlineController() const { return m_bookmarkScreens.outlineController(); }

    void didReceiveMemoryWarning() override;
    void viewDidUnload() override;
    // Hides the bars when they show.
    void hideChromeIfShown();

protected:
    void singleTapGestureRecognized(ui::GestureRecognizer& recognizer) override;

private:
    bool isVerticalLayout() const;

    std::shared_ptr<VKPDFDocument> m_document;
    std::shared_ptr<VKDocumentView> m_documentView;
    std::shared_ptr<VKPageIndexStore> m_pageIndexStore;
    std::shared_ptr<VKPDFOutlineScanner> m_outlineScanner;
    VKPDFBookmarkScreens m_bookmarkScreens;
    std::shared_ptr<VKPDFSearchBar> m_search;
    VKPDFPageSource m_pageSource;
    int m_documentLayout = NoLayout;
    std::shared_ptr<ui::TapGestureRecognizer> m_doubleTapRecognizer;
    VKPDFLayoutChooser m_layoutChooser;
    std::shared_ptr<VKPDFDocumentLoader> m_loader;
    // The attempt running reopens a document already shown.
    bool m_reloading = false;
    core::Observation m_thumbnailObservation;
    core::Observation m_pageRangeObservation;
    core::Observation m_pagingGestureObservation;
};
