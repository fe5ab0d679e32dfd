#include "Viewers/PDF/VKPDFViewController.h"

#include "Viewers/Document/VKBookmarksController.h"
#include "Viewers/PDF/VKDocumentView.h"
#include "Viewers/PDF/VKDocumentViewVertical.h"
#include "Viewers/PDF/VKPDFPageThumbnailManager.h"
#include "Viewers/PDF/VKPDFPageTaps.h"
#include "Viewers/PDF/VKPDFPageView.h"
#include "Viewers/PDF/VKScrollTrackView.h"

#include "Shell/DeviceMemoryAdditions.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Kit/ColorAdditions.h"
#include "PDF/VKPDFDestination.h"
#include "PDF/VKPDFDocument.h"
#include "PDF/VKPDFPage.h"
#include "Platform/Core/ErrorInfo.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/TapGestureRecognizer.h"
#include "Platform/UI/Toolbar.h"

#include <algorithm>
#include <cmath>

// ---- Life cycle ----------------------------------------------------------------

std::shared_ptr<VKPDFViewController> VKPDFViewController::create(const std::shared_ptr<VKFileResource>& resource,
    const std::shared_ptr<VKViewerFolderHost>& folderController)
{
    auto viewer = std::make_shared<VKPDFViewController>();
    viewer->initWithResource(resource, folderController);
    return viewer;
}

VKPDFViewController::VKPDFViewController()
    : m_search(std::make_shared<VKPDFSearchBar>(*this))
    , m_pageSource(*this)
    , m_loader(std::make_shared<VKPDFDocumentLoader>(*this))
{
}

VKPDFViewController::~VKPDFViewController()
{
    // The layout view may outlive the viewer: from here on it asks no source.
    if (m_documentView)
        m_documentView->detach();
    m_loader->stop();
    m_search->release();
    m_search->removeTemporaryIndex();
    m_loader->dropPasswordAlert();
}

void VKPDFViewController::initWithResource(const std::shared_ptr<VKFileResource>& resource,
    const std::shared_ptr<VKViewerFolderHost>& folderController)
{
    VKDocumentViewController::initWithResource(resource, folderController);
    // The layouts have their own tap regions.
    setPagingEdgeInsets({});
    std::weak_ptr<VKPDFViewController> weak = sharedAs<VKPDFViewController>();
    m_pagingGestureObservation = core::UserDefaults::standard()->observe(PagingGestureEnabledKey,
        [weak](const core::Value&) {
            if (auto self = weak.lock(); self && self->m_documentView)
                self->m_documentView->setPagingEnabled(settingIsOn(PagingGestureEnabledKey));
        });
}

void VKPDFViewController::loadContentView()
{
    auto content = ui::View::create(view()->bounds());
    content->setAutoresizesSubviews(true);
    content->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    setContentView(content);
    view()->setBackgroundColor(vkScrollViewTexturedBackgroundColor());

    std::weak_ptr<VKPDFViewController> weak = sharedAs<VKPDFViewController>();
    auto self = shared_from_this();
    // From any sender: the document is not open yet; the handler keeps to
    // the one shown.
    m_thumbnailObservation = core::NotificationCenter::defaultCenter().observe(VKPDFDocumentThumbnailImageDidUpdate,
        nullptr, [weak](const core::Notification& notification) {
            if (auto self = weak.lock())
                self->thumbnailImageDidUpdate(notification);
        });

    m_doubleTapRecognizer = std::make_shared<ui::TapGestureRecognizer>();
    m_doubleTapRecognizer->setNumberOfTapsRequired(2);
    m_doubleTapRecognizer->addTarget(self, "doubleTapRecognized", [this](ui::GestureRecognizer& recognizer) {
        doubleTapRecognized(recognizer);
    });
    view()->addGestureRecognizer(m_doubleTapRecognizer);
    singleTapGestureRecognizer()->requireToFail(m_doubleTapRecognizer);

    auto search = barButtonSystemItem(ui::BarButtonItem::SystemItem::Search, self, "searchButtonWasPressed",
        [this](ui::BarButtonItem&) {
            searchButtonWasPressed();
        });
    search->setStyle(ui::BarButtonItem::Style::Plain);
    search->setEnabled(false);
    navigationItem().setRightBarButtonItem(search);

    m_pageRangeObservation = core::NotificationCenter::defaultCenter().observe(VKDocumentViewPageRangeDidChangeNotification,
        nullptr, [weak](const core::Notification& notification) {
            auto self = weak.lock();
            if (!self || !self->m_documentView || notification.object().get() != self->m_documentView.get())
                return;
            if (!self->contentIsLoading())
                self->currentOffsetDidChange();
            self->pageRangeDidChange();
        });

    attemptLoadOnBackgroundThread();
}

void VKPDFViewController::viewDidUnload()
{
    m_loader->stop();
    m_thumbnailObservation = {};
    m_pageRangeObservation = {};
    m_loader->dropPasswordAlert();
    m_search->release();
    if (toolbarModal())
        setToolbarModal(false);
    if (m_documentView) {
        m_documentView->detach();
        m_documentView->removeFromSuperview();
    }
    m_documentView.reset();
    m_documentLayout = NoLayout;
    m_doubleTapRecognizer.reset();
    m_layoutChooser.forget();
    m_pageIndexStore.reset();
    m_outlineScanner.reset();
    m_bookmarkScreens.forget();
    setContentDidLoad(false);
    setContentLoading(false);
    VKDocumentViewController::viewDidUnload();
}

void VKPDFViewController::didReceiveMemoryWarning()
{
    VKDocumentViewController::didReceiveMemoryWarning();
    if (!m_documentView)
        return;
    m_documentView->flushCache();
    if (systemFreeMemory() < ReloadFreeMemoryLimit)
        attemptLoadOnBackgroundThread();
}

// ---- Loading -------------------------------------------------------------------

void VKPDFViewController::attemptLoadOnBackgroundThread()
{
    m_loader->stop();
    m_reloading = m_document != nullptr && m_documentView != nullptr;
    startActivityIndicatorWithStyle(ui::ActivityIndicator::Style::WhiteLarge, SpinnerDelay);
    m_loader->start();
}

void VKPDFViewController::documentLoadingThreadDidSucceed(std::shared_ptr<VKPDFDocument> document,
    std::shared_ptr<VKPDFOutlineScanner> scanner, std::shared_ptr<VKPageIndexStore> indexStore)
{
    setPageIndexViewSuppressed(true);
    setContentLoading(false);
    setContentDidLoad(true);
    stopActivityIndicator();
    if (!contentView())
        return;
    m_pageIndexStore = std::move(indexStore);
    if (auto search = navigationItem().rightBarButtonItem())
        search->setEnabled(true);

    if (m_reloading && m_document && m_documentView) {
        // The pages shown keep their places; only what they draw from
        // changes.
        for (auto& view : m_documentView->cachedPageViews())
            if (auto* pageView = dynamic_cast<VKPDFPageView*>(view.get()))
                if (pageView->page())
                    pageView->setPage(VKPDFPage::pageWithDocument(document, int(pageView->page()->pageIndex()) + 1));
        m_document = std::move(document);
        m_outlineScanner = std::move(scanner);
        // Made again from the new document when next asked for.
        m_bookmarkScreens.forget();
        m_reloading = false;
        return;
    }
    m_reloading = false;
    m_document = std::move(document);
    m_outlineScanner = std::move(scanner);
    setupDocumentView();
    contentLoadDidSucceed();
}

void VKPDFViewController::documentLoadingThreadDidFailWithError(const core::Error& error)
{
    setContentLoading(false);
    stopActivityIndicator();
    bool reloading = m_reloading;
    m_reloading = false;
    // A reload after low memory keeps the document shown and says nothing.
    if (reloading) {
        core::log("Warning, reopening the document failed: {}", error.localizedDescription());
        return;
    }
    if (!core::errorInfo::localizedRecoveryOptions(error).empty()) {
        m_loader->showPasswordAlert(error);
        return;
    }
    if (contentDidLoad())
        return;
    auto alert = ui::AlertView::create(error.localizedDescription(), error.localizedFailureReason(), {},
        core::localized("OK"));
    alert->show();
}

void VKPDFViewController::contentLoadDidSucceed()
{
    VKDocumentViewController::contentLoadDidSucceed();
    setUIHiddenAfterDelay(true, VKUIHideDelay);
}

void VKPDFViewController::loadPersistentState()
{
    // Twice: a layout settles its zoom on the first pass, and the offset
    // is only right once that is done.
    VKDocumentViewController::loadPersistentState();
    VKDocumentViewController::loadPersistentState();
}

// ---- Layouts -------------------------------------------------------------------

bool VKPDFViewController::isVerticalLayout() const
{
    return dynamic_cast<VKDocumentViewVertical*>(m_documentView.get()) != nullptr;
}

int VKPDFViewController::documentViewLayout() const
{
    return m_documentView && !isVerticalLayout() ? m_documentLayout : int(Vertical);
}

void VKPDFViewController::setupDocumentView()
{
    if (!resource() || !contentView())
        return;
    int layout = documentLayoutForPath(resource()->path());
    if (layout == m_documentLayout)
        return;
    m_documentLayout = layout;
    if (m_documentView) {
        m_documentView->detach();
        m_documentView->removeFromSuperview();
        m_documentView.reset();
    }
    gfx::Rect frame = view()->bounds();
    if (layout != Vertical)
        m_documentView = VKPDFLayoutChooser::makeView(layout, frame, settingIsOn(DoublePageSingleFirstKey));
    if (!m_documentView)
        m_documentView = VKDocumentViewVertical::create(frame);
    m_documentView->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    m_documentView->setDelegate(&m_pageSource);
    m_documentView->setDataSource(&m_pageSource);
    m_documentView->setPagingEnabled(settingIsOn(PagingGestureEnabledKey));
    m_documentView->setThumbnailsEnabled(true);
    contentView()->addSubview(m_documentView);
    setUIHidden(false, true);
}

std::vector<std::shared_ptr<ui::BarButtonItem>> VKPDFViewController::createToolbarItems()
{
    auto items = VKDocumentViewController::createToolbarItems();
    if (!items.empty())
        items.pop_back();
    items.push_back(pageLayoutBarButtonItem());
    return items;
}

void VKPDFViewController::actionSheetClickedButtonWithTag(VKActionSheet& sheet, int tag)
{
    if (!VKPDFLayoutChooser::answer(*this, sheet, tag))
        VKDocumentViewController::actionSheetClickedButtonWithTag(sheet, tag);
}

// ---- The frame's contract ------------------------------------------------------

gfx::Point VKPDFViewController::contentOffset()
{
    auto* scroll = m_documentView ? m_documentView->scrollView() : nullptr;
    return scroll ? scroll->contentOffset() : gfx::Point();
}

void VKPDFViewController::setContentOffset(gfx::Point offset)
{
    if (auto* scroll = m_documentView ? m_documentView->scrollView() : nullptr)
        scroll->setContentOffset(offset);
}

gfx::Size VKPDFViewController::contentSize()
{
    auto* scroll = m_documentView ? m_documentView->scrollView() : nullptr;
    return scroll ? scroll->contentSize() : gfx::Size();
}

void VKPDFViewController::flashVerticalScrollIndicator()
{
    if (auto* scroll = m_documentView ? m_documentView->scrollView() : nullptr)
        scroll->flashScrollIndicators();
}

gfx::Point VKPDFViewController::normalisedOffset()
{
    return m_documentView ? m_documentView->normalisedOffset() : gfx::Point();
}

void VKPDFViewController::scrollToNormalisedOffset(gfx::Point normalised, bool animated, bool displayScrollIndicators)
{
    if (m_documentView)
        m_documentView->scrollToNormalisedOffset(normalised, animated, displayScrollIndicators);
}

float VKPDFViewController::contentZoom()
{
    return m_documentView ? m_documentView->contentZoom() : 0;
}

void VKPDFViewController::setContentZoom(float zoom)
{
    if (m_documentView)
        m_documentView->setContentZoom(zoom);
}

VKPageIndexRange VKPDFViewController::currentPageIndexRange()
{
    if (!m_documentView)
        return {};
    core::Range range = m_documentView->currentIndexRange();
    if (range.location == core::kNotFound)
        return {};
    return { unsigned(range.location), unsigned(range.length) };
}

unsigned VKPDFViewController::currentPageNumber()
{
    if (!m_documentView || m_documentView->currentIndexRange().location == core::kNotFound)
        return 0;
    return unsigned(m_documentView->currentIndexRange().location) + 1;
}

unsigned VKPDFViewController::pageCount()
{
    return m_document ? m_document->numPages() : 0;
}

void VKPDFViewController::gotoPageNumber(unsigned page)
{
    unsigned count = pageCount();
    if (!m_documentView || count == 0)
        return;
    page = page == 0 ? 1 : std::min(page, count);
    m_documentView->scrollToPageAtIndex(page - 1, gfx::Rect(0, 0, 0, 0), true);
}

// ---- Bars ----------------------------------------------------------------------

bool VKPDFViewController::shouldUIAutoHide() const
{
    return !toolbarModal();
}

bool VKPDFViewController::isUIHidden() const
{
    if (m_documentView && m_documentView->scrollTrackView())
        return !m_documentView->scrollTrackView()->showsPlaceholder();
    return VKDocumentViewController::isUIHidden();
}

gfx::EdgeInsets VKPDFViewController::chromeInsets()
{
    gfx::EdgeInsets insets;
    if (auto* application = ui::Application::shared()) {
        gfx::Rect status = application->statusBarFrameWhenShown();
        insets.top = std::min(status.width(), status.height());
    }
    if (auto* navigation = navigationController()) {
        insets.top += navigation->navigationBar().frame().height();
        insets.bottom = navigation->toolbar().frame().height();
    }
    return insets;
}

void VKPDFViewController::setUIHidden(bool hidden, bool animated)
{
    VKDocumentViewController::setUIHidden(hidden, animated);
    setPageIndexEdgeInsets(hidden ? gfx::EdgeInsets() : chromeInsets());
    if (m_documentView && m_documentView->scrollTrackView())
        m_documentView->scrollTrackView()->setShowsPlaceholder(!hidden);
}

void VKPDFViewController::setPageIndexEdgeInsets(gfx::EdgeInsets insets)
{
    VKDocumentViewController::setPageIndexEdgeInsets(insets);
    if (!m_documentView)
        return;
    // The vertical layout keeps its track where it was while the bars are
    // away.
    if (!(insets.top <= 0 && isVerticalLayout()))
        m_documentView->setToolbarInsets(insets);
    m_documentView->setToolbarContentInsets(insets);
}

void VKPDFViewController::hideChromeIfShown()
{
    if (!isUIHidden())
        setUIHidden(true, true);
}

// ---- Taps ----------------------------------------------------------------------

void VKPDFViewController::singleTapGestureRecognized(ui::GestureRecognizer& recognizer)
{
    if (recognizer.state() != ui::GestureRecognizer::Recognized)
        return;
    if (!m_documentView || !m_documentView->handleSingleTapRecognized(recognizer)) {
        std::optional<VKPDFLinkTarget> target;
        if (auto* pageView = pageViewForRecognizer(recognizer))
            target = pageView->linkTargetForPoint(recognizer.locationInView(pageView));
        if (!target) {
            VKDocumentViewController::singleTapGestureRecognized(recognizer);
            return;
        }
        if (auto* destination = std::get_if<std::shared_ptr<VKPDFDestination>>(&*target)) {
            if (*destination)
                showDestination(**destination);
        } else {
            openLinkURL(std::get<core::URL>(*target));
        }
    }
    if (isUIHidden())
        return;
    VKDocumentViewController::singleTapGestureRecognized(recognizer);
}

void VKPDFViewController::doubleTapRecognized(ui::GestureRecognizer& recognizer)
{
    if (pagingGestureInfoVisible())
        setPagingGestureInfoVisible(false);
    if (!m_documentView)
        return;
    VKPDFPageTaps::zoomForDoubleTap(*this, *m_documentView, recognizer);
    hideChromeIfShown();
}

void VKPDFViewController::thumbnailImageDidUpdate(const core::Notification& notification)
{
    if (m_documentView && m_document && notification.object().get() == m_document.get())
        m_documentView->reloadThumbnails();
}

// ---- Bookmarks and outline -----------------------------------------------------

void VKPDFViewController::showBookmarksControllerWithNewOffset(gfx::Point offset)
{
    m_bookmarkScreens.show(*this, offset);
}

// Twice: a layout settles the zoom on the first pass and places the
// offset right only once that is done.
void VKPDFViewController::bookmarksController(ui::ViewController& controller, const core::Value& bookmark)
{
    float zoom = bookmark.isDictionary() ? float(bookmark[VKBookmarkZoomKey].toReal()) : 0.f;
    for (int pass = 0; pass < 2; ++pass) {
        if (zoom != 0)
            setContentZoom(zoom);
        VKDocumentViewController::bookmarksController(controller, bookmark);
    }
}

void VKPDFViewController::showDestination(const core::Value& target)
{
    auto destination = target.objectAs<VKPDFDestination>();
    if (!destination) {
        core::log("Warning, outline entry without a destination");
        return;
    }
    showDestination(*destination);
}

void VKPDFViewController::outlineTableViewControllerDidEnd(VKPDFOutlineTableViewController& controller)
{
    bookmarksControllerDidEnd(controller);
}

// ---- Finding text --------------------------------------------------------------

bool VKPDFViewController::performKeyCommand(ui::KeyCommand command)
{
    if (command != ui::KeyCommand::Find)
        return VKDocumentViewController::performKeyCommand(command);
    m_search->find();
    return true;
}

void VKPDFViewController::adoptPageIndexStore(const std::shared_ptr<VKPageIndexStore>& store)
{
    if (!m_pageIndexStore)
        m_pageIndexStore = store;
}

void VKPDFViewController::viewWillDisappear(bool animated)
{
    VKDocumentViewController::viewWillDisappear(animated);
    m_search->viewerWillDisappear();
}

void VKPDFViewController::didRotate(ui::Orientation fromOrientation)
{
    VKDocumentViewController::didRotate(fromOrientation);
    m_search->viewerDidRotate();
}
