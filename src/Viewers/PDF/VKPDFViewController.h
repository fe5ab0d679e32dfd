#pragma once

// The PDF viewer: the paged document frame over one of the page layouts.
// The file is opened on a thread of its own; the document, its outline
// scanner and the page geometry come back to the main thread in one
// hand-back that holds the viewer weakly, so popping the viewer during a
// slow open leaks nothing. A locked document asks for its password in a
// popup until it opens or the reader cancels. The layout (vertical, single
// or double pages) is chosen per document, else by the default; the
// horizontal layouts come through the layout-view factory, and a value
// nobody registered shows the vertical layout. A tap over a link follows it
// unless the layout used the tap to page, a double tap fits the text
// column under the finger, and when memory runs short the document is
// opened again and swapped in under the pages shown.

#include "Viewers/Document/VKDocumentViewController.h"
#include "Viewers/PDF/VKDocumentViewDataSource.h"
#include "Viewers/PDF/VKDocumentViewDelegate.h"
#include "Viewers/PDF/VKPDFOutlineTableViewController.h"

#include "Shell/Interface/VKKeyboardDimmingView.h"
#include "Shell/Interface/VKPopupAlert.h"
#include "PDF/VKPDFSearchControllerDelegate.h"
#include "PDF/VKPDFLinkAnnotation.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/Observation.h"
#include "Platform/UI/TextField.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace core {
class Thread;
}
namespace ui {
class Label;
class NavigationBar;
class TapGestureRecognizer;
}
class VKDocumentRange;
class VKDocumentView;
class VKPDFDestination;
class VKPDFSearchController;
class VKSearchField;
class VKPDFDocument;
class VKPDFOutlineScanner;
class VKPDFPageView;
class VKPageIndexStore;

class VKPDFViewController : public VKDocumentViewController,
                            public VKPopupAlertDelegate,
                            public VKDocumentViewDataSource,
                            public VKDocumentViewDelegate,
                            public VKPDFOutlineTableViewControllerDelegate,
                            public VKPDFSearchControllerDelegate,
                            public ui::TextFieldDelegate,
                            public VKKeyboardDimmingViewDelegate {
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

    // Makes the layout view of one layout value, framed; `singleFirstPage`
    // is the double layout's choice of a lone first page.
    using LayoutViewFactory = std::function<std::shared_ptr<VKDocumentView>(const gfx::Rect& frame, bool singleFirstPage)>;
    // The layouts other than the vertical one register here (an empty
    // factory unregisters).
    static void setLayoutViewFactory(int layout, LayoutViewFactory factory);
    static bool hasLayoutViewFactory(int layout);

    // The per-file code of a layout value and back (0 for none of the three).
    static const char* codeForLayout(int layout);
    static int layoutForCode(const std::optional<std::string>& code);
    // The document's own layout, else the default.
    static int documentLayoutForPath(const std::string& path);

    // Runs on the loading thread before the file is opened (tests hold a
    // load there).
    static void setLoadHookForTesting(std::function<void()> hook);

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
    const std::optional<std::string>& password() const { return m_password; }
    int documentLayout() const { return m_documentLayout; }
    ui::TapGestureRecognizer* doubleTapRecognizer() const { return m_doubleTapRecognizer.get(); }
    // The popup asking for the password while it shows.
    VKPopupAlert* passwordAlert() const { return m_passwordAlert.get(); }
    bool isLoadingDocument() const { return m_loadThread != nullptr; }

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
    void popupAlert(VKPopupAlert& alert, int buttonIndex) override;

    // Layouts.
    void setupDocumentView();
    std::shared_ptr<ui::BarButtonItem> pageLayoutBarButtonItem();
    void pageLayoutButtonWasPressed();
    std::vector<std::shared_ptr<ui::BarButtonItem>> createToolbarItems() override;
    void actionSheetClickedButtonWithTag(VKActionSheet& sheet, int tag) override;

    // Taps and destinations.
    void doubleTapRecognized(ui::GestureRecognizer& recognizer);
    VKPDFPageView* pageViewForRecognizer(ui::GestureRecognizer& recognizer);
    void showDestination(const VKPDFDestination& destination);
    // What a followed link does with a web address: http, https and mailto
    // go to the application; any other scheme is refused. Whether it went.
    bool openLinkURL(const core::URL& url);

    void thumbnailImageDidUpdate(const core::Notification& notification);

    // VKDocumentViewDataSource
    size_t numberOfPagesInDocumentView(VKDocumentView& view) override;
    gfx::Size documentViewSizeForPageAtIndex(VKDocumentView& view, size_t index) override;
    std::shared_ptr<ui::View> documentViewViewForPageAtIndex(VKDocumentView& view, size_t index) override;
    std::optional<std::string> documentViewTitleForPageAtIndex(VKDocumentView& view, size_t index) override;
    unsigned maxDepthForDocumentView(VKDocumentView& view) override;
    gfx::Size documentViewThumbnailSizeForIndex(VKDocumentView& view, size_t index) override;
    std::shared_ptr<gfx::Image> documentViewThumbnailImageForIndex(VKDocumentView& view, size_t index,
        float length) override;

    // VKDocumentViewDelegate
    void documentViewScrollViewWillBeginDragging(VKDocumentView& view, ui::ScrollView& scrollView) override;
    void documentViewDidIgnorePaging(VKDocumentView& view, int direction) override;
    void documentViewWillAddPageView(VKDocumentView& view, ui::View& pageView, size_t index) override;

    // Finding text. The first press makes the search objects, kept until
    // the view unloads: the search controller on the document's content
    // index, the field over the navigation bar, the arrows and the status
    // label of the modal toolbar, and the dimming view over the page while
    // the keyboard is up. Searching runs on the search controller's
    // threads; hits, progress and wraps come back here on the main thread.
    static constexpr double IndexCompleteStatusDelay = 2.0;
    static constexpr float StatusLabelWidth = 200;
    // What the arrows, their spaces and the toolbar's gaps take beside it.
    static constexpr float StatusLabelMargin = 180;
    static constexpr float StatusLabelHeight = 20;
    void searchButtonWasPressed();
    // Ctrl+F: the search, or its field where it shows.
    bool performKeyCommand(ui::KeyCommand command) override;
    // From the Cancel item (`fromCancelButton`, which also clears the text)
    // or a touch on the dimmed page.
    void searchBarDidCancel(bool fromCancelButton);
    void searchToolbarUpButtonPressed();
    void searchToolbarDownButtonPressed();
    // The text shown, or the visible page range for none.
    void updateSearchStatusText(const std::optional<std::string>& text);
    void pageRangeDidChange();
    VKPDFSearchController* searchController() const { return m_searchController.get(); }
    VKSearchField* searchField() const { return m_searchField.get(); }
    ui::NavigationBar* searchBar() const { return m_searchBar.get(); }
    const std::shared_ptr<VKDocumentRange>& currentResult() const { return m_currentResult; }
    VKKeyboardDimmingView* searchDimmingView() const { return m_searchDimmingView.get(); }
    ui::Label* searchStatusLabel() const { return m_searchStatusLabel.get(); }
    ui::BarButtonItem* searchStatusItem() const { return m_searchStatusItem.get(); }
    ui::BarButtonItem* upItem() const { return m_upItem.get(); }
    ui::BarButtonItem* downItem() const { return m_downItem.get(); }
    bool shouldShowPartialIndexWarning() const { return m_shouldShowPartialIndexWarning; }
    // Where the index lives when the document has no content-index path
    // (removed with the viewer); empty otherwise.
    const std::string& temporaryIndexPath() const { return m_temporaryIndexPath; }

    // VKPDFSearchControllerDelegate
    void searchControllerIndexBuildingDidProgress(VKPDFSearchController& controller, float progress) override;
    void searchControllerDidFindResult(VKPDFSearchController& controller, std::shared_ptr<VKDocumentRange> result,
        const std::string& searchString) override;
    void searchControllerDidWrapSearch(VKPDFSearchController& controller, int direction) override;
    void searchControllerDidCancelSearch(VKPDFSearchController& controller) override;
    void rebuildIndexForSearchController(VKPDFSearchController& controller) override;

    // The search field's delegate.
    bool shouldReturn(ui::TextField& field) override;
    bool shouldChangeCharacters(ui::TextField& field, core::Range range, std::string_view replacement) override;
    void keyboardDimmingViewDidReceiveTouches(VKKeyboardDimmingView& view) override;

    void viewWillDisappear(bool animated) override;
    void didRotate(ui::Orientation fromOrientation) override;

    // Bookmarks and the outline. A new bookmark is added at the offset
    // with the zoom shown; without one the bookmarks show beside the
    // document's outline when it has one. A chosen bookmark's zoom is set
    // before its offset.
    void showBookmarksControllerWithNewOffset(gfx::Point offset) override;
    void bookmarksController(ui::ViewController& controller, const core::Value& bookmark) override;
    void showDestination(const core::Value& target) override;
    void outlineTableViewControllerDidEnd(VKPDFOutlineTableViewController& controller) override;
    VKPDFOutlineTableViewController* outlineController() const { return m_outlineController.get(); }

    void didReceiveMemoryWarning() override;
    void viewDidUnload() override;

protected:
    void singleTapGestureRecognized(ui::GestureRecognizer& recognizer) override;

private:
    void hideChromeIfShown();
    void searchForFieldText(int direction);
    void searchToolbarArrowPressed(int direction);
    void setSearchArrowsEnabled(bool enabled);
    void clearSearchHighlights();
    void releaseSearchObjects();
    void removeTemporaryIndex();
    void stopLoading();
    void showPasswordAlert(const core::Error& error);
    bool isVerticalLayout() const;

    std::shared_ptr<VKPDFDocument> m_document;
    std::shared_ptr<VKDocumentView> m_documentView;
    std::optional<std::string> m_password;
    std::shared_ptr<VKPageIndexStore> m_pageIndexStore;
    std::shared_ptr<VKPDFOutlineScanner> m_outlineScanner;
    std::shared_ptr<VKPDFOutlineTableViewController> m_outlineController;
    std::shared_ptr<VKPDFSearchController> m_searchController;
    std::shared_ptr<VKSearchField> m_searchField;
    std::shared_ptr<ui::NavigationBar> m_searchBar;
    std::shared_ptr<VKDocumentRange> m_currentResult;
    std::shared_ptr<VKKeyboardDimmingView> m_searchDimmingView;
    std::shared_ptr<ui::Label> m_searchStatusLabel;
    std::shared_ptr<ui::BarButtonItem> m_searchStatusItem;
    std::shared_ptr<ui::BarButtonItem> m_upItem;
    std::shared_ptr<ui::BarButtonItem> m_downItem;
    std::string m_temporaryIndexPath;
    bool m_shouldShowPartialIndexWarning = false;
    int m_documentLayout = NoLayout;
    std::shared_ptr<ui::TapGestureRecognizer> m_doubleTapRecognizer;
    std::shared_ptr<ui::BarButtonItem> m_pageLayoutItem;
    std::shared_ptr<VKPopupAlert> m_passwordAlert;
    std::shared_ptr<core::Thread> m_loadThread;
    // A hand-back of an older load attempt is dropped.
    unsigned m_loadGeneration = 0;
    // The attempt running reopens a document already shown.
    bool m_reloading = false;
    core::Observation m_thumbnailObservation;
    core::Observation m_pageRangeObservation;
    core::Observation m_pagingGestureObservation;
};
