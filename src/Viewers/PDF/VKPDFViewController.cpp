#include "Viewers/PDF/VKPDFViewController.h"

#include "Viewers/Document/VKBookmarksController.h"
#include "Viewers/PDF/VKBookmarksNavigationController.h"
#include "Viewers/PDF/VKDocumentView.h"
#include "Viewers/PDF/VKDocumentViewVertical.h"
#include "Viewers/PDF/VKPDFPageThumbnailManager.h"
#include "Viewers/PDF/VKPDFPageView.h"
#include "Viewers/PDF/VKScrollTrackView.h"

#include "Shell/DeviceMemoryAdditions.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/InterfaceColors.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "Shell/VKApplication.h"
#include "FileModel/VKContentIndexManager.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Kit/ColorAdditions.h"
#include "Kit/VKGeometry.h"
#include "Kit/VKStringChain.h"
#include "Kit/VKTintButton.h"
#include "PDF/VKPDFDestination.h"
#include "PDF/VKPDFDocument.h"
#include "PDF/VKPDFOutlineScanner.h"
#include "PDF/VKPDFPage.h"
#include "PDF/VKPageIndexStore.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/TapGestureRecognizer.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Toolbar.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {

std::map<int, VKPDFViewController::LayoutViewFactory>& layoutFactories()
{
    static std::map<int, VKPDFViewController::LayoutViewFactory> factories;
    return factories;
}

std::mutex loadHookMutex;
std::function<void()>& loadHook()
{
    static std::function<void()> hook;
    return hook;
}

// A registered default that is on unless set off (tests run without the
// registration).
bool pdfDefaultOn(std::string_view key)
{
    core::Value value = core::UserDefaults::standard()->object(key);
    return value.isNull() ? true : core::UserDefaults::standard()->boolForKey(key);
}

const char* const layoutTitles[] = { "Vertical", "Single Pages", "Double Pages" };

} // namespace

// ---- Layout values -----------------------------------------------------------

void VKPDFViewController::setLayoutViewFactory(int layout, LayoutViewFactory factory)
{
    if (factory)
        layoutFactories()[layout] = std::move(factory);
    else
        layoutFactories().erase(layout);
}

bool VKPDFViewController::hasLayoutViewFactory(int layout)
{
    return layoutFactories().count(layout) > 0;
}

const char* VKPDFViewController::codeForLayout(int layout)
{
    switch (layout) {
    case Vertical:
        return "VKDVLV";
    case SinglePages:
        return "VKDVLHS";
    case DoublePages:
        return "VKDVLHD";
    default:
        return nullptr;
    }
}

int VKPDFViewController::layoutForCode(const std::optional<std::string>& code)
{
    if (!code)
        return NoLayout;
    for (int layout : { Vertical, SinglePages, DoublePages })
        if (*code == codeForLayout(layout))
            return layout;
    return NoLayout;
}

int VKPDFViewController::documentLayoutForPath(const std::string& path)
{
    int layout = layoutForCode(VKFileSettingsManager::defaultManager()->documentLayoutForFile(path));
    if (layout != NoLayout)
        return layout;
    return int(core::UserDefaults::standard()->integerForKey(DocumentViewLayoutKey));
}

void VKPDFViewController::setLoadHookForTesting(std::function<void()> hook)
{
    std::lock_guard lock(loadHookMutex);
    loadHook() = std::move(hook);
}

// ---- Life cycle ----------------------------------------------------------------

std::shared_ptr<VKPDFViewController> VKPDFViewController::create(const std::shared_ptr<VKFileResource>& resource,
    const std::shared_ptr<VKViewerFolderHost>& folderController)
{
    auto viewer = std::make_shared<VKPDFViewController>();
    viewer->initWithResource(resource, folderController);
    return viewer;
}

VKPDFViewController::VKPDFViewController() = default;

VKPDFViewController::~VKPDFViewController()
{
    stopLoading();
    releaseSearchObjects();
    removeTemporaryIndex();
    if (m_passwordAlert)
        m_passwordAlert->setDelegate({});
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
                self->m_documentView->setPagingEnabled(pdfDefaultOn(PagingGestureEnabledKey));
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
    m_doubleTapRecognizer->addTarget(self, "doubleTapRecognized", [weak](ui::GestureRecognizer& recognizer) {
        if (auto self = weak.lock())
            self->doubleTapRecognized(recognizer);
    });
    view()->addGestureRecognizer(m_doubleTapRecognizer);
    singleTapGestureRecognizer()->requireToFail(m_doubleTapRecognizer);

    auto search = barButtonSystemItem(ui::BarButtonItem::SystemItem::Search, self, "searchButtonWasPressed",
        [weak](ui::BarButtonItem&) {
            if (auto self = weak.lock())
                self->searchButtonWasPressed();
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
    stopLoading();
    m_thumbnailObservation = {};
    m_pageRangeObservation = {};
    if (m_passwordAlert) {
        m_passwordAlert->setDelegate({});
        m_passwordAlert.reset();
    }
    releaseSearchObjects();
    if (m_documentView) {
        m_documentView->setDelegate({});
        m_documentView->removeFromSuperview();
    }
    m_documentView.reset();
    m_documentLayout = NoLayout;
    m_doubleTapRecognizer.reset();
    m_pageLayoutItem.reset();
    m_pageIndexStore.reset();
    m_outlineScanner.reset();
    m_outlineController.reset();
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

void VKPDFViewController::stopLoading()
{
    if (m_loadThread)
        m_loadThread->cancel();
    m_loadThread.reset();
    ++m_loadGeneration;
}

void VKPDFViewController::attemptLoadOnBackgroundThread()
{
    stopLoading();
    m_reloading = m_document != nullptr && m_documentView != nullptr;
    startActivityIndicatorWithStyle(ui::ActivityIndicator::Style::WhiteLarge, SpinnerDelay);
    std::shared_ptr<VKFileResource> item = resource();
    std::string path = item ? item->path() : std::string();
    std::optional<std::string> password = m_password;
    unsigned generation = m_loadGeneration;
    std::weak_ptr<VKPDFViewController> weak = sharedAs<VKPDFViewController>();
    m_loadThread = core::Thread::detach("VKPDFLoad", [weak, item, path, password, generation] {
        std::function<void()> hook;
        {
            std::lock_guard lock(loadHookMutex);
            hook = loadHook();
        }
        if (hook)
            hook();
        core::Error error;
        auto document = VKPDFDocument::initWithPath(path, password, &error);
        std::shared_ptr<VKPDFOutlineScanner> scanner;
        if (document) {
            scanner = VKPDFOutlineScanner::initWithDocumentRef(document->documentRef());
            // Read every page's box here, so the main thread never parses.
            document->pageGeometry(0);
        }
        // The search index's file is found (the item's UUID, read or
        // written in its attribute) and opened here too, off the main thread.
        std::shared_ptr<VKPageIndexStore> indexStore;
        if (document && item)
            if (auto indexPath = VKContentIndexManager::sharedManager()->contentIndexPathForResource(*item))
                indexStore = VKPageIndexStore::storeForPath(*indexPath);
        // One hand-back carries everything; a viewer gone or a newer
        // attempt drops it.
        core::RunLoop::main().post([weak, generation, document, scanner, indexStore, error]() mutable {
            auto self = weak.lock();
            if (!self || self->m_loadGeneration != generation)
                return;
            self->m_loadThread.reset();
            if (document)
                self->documentLoadingThreadDidSucceed(std::move(document), std::move(scanner), std::move(indexStore));
            else
                self->documentLoadingThreadDidFailWithError(error);
        });
    });
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
        m_outlineController.reset();
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
    auto options = error.userInfo().find(VKLocalizedRecoveryOptionsErrorKey);
    if (options != error.userInfo().end() && options->second.isArray()) {
        showPasswordAlert(error);
        return;
    }
    if (contentDidLoad())
        return;
    auto alert = ui::AlertView::create(error.localizedDescription(), error.localizedFailureReason(), {},
        core::localized("OK"));
    alert->show();
}

void VKPDFViewController::showPasswordAlert(const core::Error& error)
{
    std::string title = error.localizedDescription() + ":\n" + error.localizedFailureReason() + "\n";
    if (m_passwordAlert)
        m_passwordAlert->setDelegate({});
    m_passwordAlert = VKPopupAlert::create(title, std::static_pointer_cast<VKPopupAlertDelegate>(sharedAs<VKPDFViewController>()));
    m_passwordAlert->setCancelButtonIndex(m_passwordAlert->addCancelButtonWithTitle(core::localized("Cancel")));
    for (auto& option : error.userInfo().at(VKLocalizedRecoveryOptionsErrorKey).array())
        m_passwordAlert->addButtonWithTitle(option.toString());
    m_passwordAlert->addTextFieldWithPlaceholder(core::localized("Password"), "");
    m_passwordAlert->textField()->setSecureTextEntry(true);
    m_passwordAlert->show();
}

void VKPDFViewController::popupAlert(VKPopupAlert& alert, int buttonIndex)
{
    if (&alert == m_passwordAlert.get())
        m_passwordAlert.reset();
    if (alert.tag() == VKAlertViewTagSystemCancelled)
        return;
    if (buttonIndex == alert.cancelButtonIndex()) {
        if (navigationController())
            navigationController()->popViewController(true);
        return;
    }
    m_password = alert.textField() ? alert.textField()->text() : std::string();
    attemptLoadOnBackgroundThread();
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
        m_documentView->setDelegate({});
        m_documentView->removeFromSuperview();
        m_documentView.reset();
    }
    gfx::Rect frame = view()->bounds();
    bool singleFirst = pdfDefaultOn(DoublePageSingleFirstKey);
    if (auto found = layoutFactories().find(layout); found != layoutFactories().end() && layout != Vertical)
        m_documentView = found->second(frame, singleFirst);
    if (!m_documentView)
        m_documentView = VKDocumentViewVertical::create(frame);
    m_documentView->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    auto self = sharedAs<VKPDFViewController>();
    m_documentView->setDelegate(std::static_pointer_cast<VKDocumentViewDelegate>(self));
    m_documentView->setDataSource(std::static_pointer_cast<VKDocumentViewDataSource>(self));
    m_documentView->setPagingEnabled(pdfDefaultOn(PagingGestureEnabledKey));
    m_documentView->setThumbnailsEnabled(true);
    contentView()->addSubview(m_documentView);
    setUIHidden(false, true);
}

std::shared_ptr<ui::BarButtonItem> VKPDFViewController::pageLayoutBarButtonItem()
{
    if (m_pageLayoutItem)
        return m_pageLayoutItem;
    auto image = ui::Images::imageNamed("VKButtonBarSettings.png");
    auto button = VKTintButton::create(gfx::Rect(0, 0, 44, 44));
    VKTintButton::TintImages tints;
    gfx::Color darkGrey = gfx::Color::white(1.0f / 3);
    tints[darkGrey] = image;
    tints[iPadBarButtonItemTintColor()] = ui::Images::imageNamed("VKButtonBarSettingsDark.png");
    button->setTintImages(std::move(tints));
    button->setTintColor(darkGrey);
    button->setShowsTouchWhenHighlighted(true);
    std::weak_ptr<VKPDFViewController> weak = sharedAs<VKPDFViewController>();
    button->addTarget(shared_from_this(), "pageLayoutButtonWasPressed",
        [weak](ui::Control&, const ui::Event*) {
            if (auto self = weak.lock())
                self->pageLayoutButtonWasPressed();
        },
        ui::Control::TouchUpInside);
    m_pageLayoutItem = barButtonItemWithCustomView(button);
    return m_pageLayoutItem;
}

std::vector<std::shared_ptr<ui::BarButtonItem>> VKPDFViewController::createToolbarItems()
{
    auto items = VKDocumentViewController::createToolbarItems();
    if (!items.empty())
        items.pop_back();
    items.push_back(pageLayoutBarButtonItem());
    return items;
}

void VKPDFViewController::pageLayoutButtonWasPressed()
{
    if (!contentView())
        return;
    setUIHidden(false, false);
    auto sheet = VKActionSheet::create(core::localized("Page Layout"),
        std::static_pointer_cast<ui::ActionSheetDelegate>(sharedAs<VKPDFViewController>()));
    sheet->setTag(PageLayoutActionSheetTag);
    int current = m_documentLayout == SinglePages ? 1 : m_documentLayout == DoublePages ? 2 : 0;
    for (int i = 0; i < 3; ++i) {
        std::string title = core::localized(layoutTitles[i]);
        if (i == current) {
            std::string format = core::localized("✔ %@   ");
            if (auto at = format.find("%@"); at != std::string::npos)
                format.replace(at, 2, title);
            title = format;
        }
        sheet->addButtonWithTitle(title, VerticalButtonTag + i);
    }
    sheet->setCancelButtonIndex(sheet->addButton(core::localized("Cancel")));
    showActionSheet(*this, *sheet, pageLayoutBarButtonItem());
}

void VKPDFViewController::actionSheetClickedButtonWithTag(VKActionSheet& sheet, int tag)
{
    if (tag < VerticalButtonTag || tag > DoublePagesButtonTag || sheet.tag() != PageLayoutActionSheetTag) {
        VKDocumentViewController::actionSheetClickedButtonWithTag(sheet, tag);
        return;
    }
    if (!resource())
        return;
    // The stored offset is each layout's own measure (the vertical one counts
    // the bars' inset and the gaps), so the page the reader was on is kept
    // by number where the new layout reads the offset as another page.
    // A zoom is each layout's own measure too (a spread's fitted zoom is
    // half a single page's), so the new layout starts fitted instead of
    // taking the old one's number.
    const unsigned page = currentPageNumber();
    storePersistentState();
    const std::string& path = resource()->path();
    auto settings = VKFileSettingsManager::defaultManager();
    if (!settings->setDocumentLayout(codeForLayout(tag - VerticalButtonTag + 1), path))
        core::log("Warning, setDocumentLayout failed: {}", path);
    if (!settings->setContentZoom(0, path))
        core::log("Warning, setContentZoom failed: {}", path);
    setupDocumentView();
    loadPersistentState();
    if (page != 0 && currentPageNumber() != page)
        gotoPageNumber(page);
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

VKPDFPageView* VKPDFViewController::pageViewForRecognizer(ui::GestureRecognizer& recognizer)
{
    if (!m_documentView)
        return nullptr;
    for (ui::View* view = m_documentView->hitTest(recognizer.locationInView(m_documentView.get())); view;
         view = view->superview()) {
        if (auto* pageView = dynamic_cast<VKPDFPageView*>(view))
            return pageView;
        if (view == m_documentView.get())
            break;
    }
    return nullptr;
}

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

bool VKPDFViewController::openLinkURL(const core::URL& url)
{
    std::string scheme = url.scheme();
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (scheme != "http" && scheme != "https" && scheme != "mailto") {
        core::log("Warning, link not followed: {}", url.absoluteString());
        return false;
    }
    auto* application = ui::Application::shared();
    return application && application->openURL(url);
}

void VKPDFViewController::showDestination(const VKPDFDestination& destination)
{
    int page = destination.pageNumber();
    if (!m_documentView || destination.isInvalid() || page < 1 || unsigned(page) > pageCount()) {
        core::log("Warning, destination outside the document: {}", destination.description());
        return;
    }
    // Destinations measure from the page's foot, the layouts from its top;
    // one that names no height shows the page's top.
    gfx::Rect anchor = destination.anchorRect();
    anchor.origin.y = destination.hasVerticalPosition() ? 1 - anchor.y() - anchor.height() : 0;
    m_documentView->scrollToPageAtIndex(size_t(page - 1), anchor, true);
}

void VKPDFViewController::doubleTapRecognized(ui::GestureRecognizer& recognizer)
{
    if (pagingGestureInfoVisible())
        setPagingGestureInfoVisible(false);
    if (!m_documentView)
        return;
    auto* pageView = pageViewForRecognizer(recognizer);
    gfx::Rect text = pageView ? pageView->textRectForPoint(recognizer.locationInView(pageView)) : gfx::Rect();
    if (pageView && text.width() > 0) {
        gfx::Rect b = view()->bounds();
        gfx::Rect t = pageView->convertRect(text, view().get());
        float margin = 0.02f * t.width();
        gfx::Rect column(t.x() - margin, recognizer.locationInView(view().get()).y, t.width() + 2 * margin, 0);
        if (VKValueNearToValue(b.x(), column.x()) && VKValueNearToValue(b.width(), column.width())) {
            m_documentView->zoomOutAroundPoint(recognizer.locationInView(m_documentView.get()), true);
        } else {
            gfx::Rect zoom = VKZoomRectToEncloseRect(b, column);
            m_documentView->zoomToScaledRect(view()->convertRect(zoom, m_documentView.get()), true);
        }
    } else {
        m_documentView->doubleTapRecognized(recognizer);
    }
    hideChromeIfShown();
}

void VKPDFViewController::thumbnailImageDidUpdate(const core::Notification& notification)
{
    if (m_documentView && m_document && notification.object().get() == m_document.get())
        m_documentView->reloadThumbnails();
}

// ---- Data source ---------------------------------------------------------------

size_t VKPDFViewController::numberOfPagesInDocumentView(VKDocumentView&)
{
    return pageCount();
}

gfx::Size VKPDFViewController::documentViewSizeForPageAtIndex(VKDocumentView&, size_t index)
{
    if (!m_document || index >= m_document->numPages())
        return {};
    gfx::Rect box = m_document->pageGeometry(uint32_t(index)).rotatedBox;
    return { std::ceil(box.width()), std::ceil(box.height()) };
}

std::shared_ptr<ui::View> VKPDFViewController::documentViewViewForPageAtIndex(VKDocumentView&, size_t index)
{
    if (!m_document)
        return nullptr;
    return VKPDFPageView::pageViewWithPage(VKPDFPage::pageWithDocument(m_document, int(index) + 1), m_pageIndexStore);
}

std::optional<std::string> VKPDFViewController::documentViewTitleForPageAtIndex(VKDocumentView&, size_t index)
{
    if (!m_outlineScanner)
        return std::nullopt;
    auto chain = m_outlineScanner->outlinesForPageNumber(uint32_t(index) + 1);
    if (!chain)
        return std::nullopt;
    std::string text = chain->concreteString();
    for (auto link = chain->stringChain(); link; link = link->stringChain())
        text = link->concreteString() + "\n" + text;
    return text;
}

unsigned VKPDFViewController::maxDepthForDocumentView(VKDocumentView&)
{
    return m_outlineScanner ? m_outlineScanner->maxDepth() : 0;
}

gfx::Size VKPDFViewController::documentViewThumbnailSizeForIndex(VKDocumentView& view, size_t index)
{
    return documentViewSizeForPageAtIndex(view, index);
}

std::shared_ptr<gfx::Image> VKPDFViewController::documentViewThumbnailImageForIndex(VKDocumentView&, size_t index,
    float length)
{
    hideChromeIfShown();
    if (!m_document || !resource())
        return nullptr;
    return VKPDFPageThumbnailManager::sharedManager().thumbnailForDocument(m_document, uint32_t(index) + 1,
        resource()->UUID(), length);
}

// ---- Delegate ------------------------------------------------------------------

void VKPDFViewController::documentViewScrollViewWillBeginDragging(VKDocumentView&, ui::ScrollView&)
{
    hideChromeIfShown();
}

void VKPDFViewController::documentViewDidIgnorePaging(VKDocumentView&, int direction)
{
    indicateSearchTruncation(direction == -1 ? Down : Up);
}

void VKPDFViewController::documentViewWillAddPageView(VKDocumentView&, ui::View& view, size_t)
{
    if (auto* pageView = dynamic_cast<VKPDFPageView*>(&view))
        if (pageView->highlightedTextRange().location != core::kNotFound)
            pageView->setHighlightedTextRange(pageView->highlightedTextRange());
}

// ---- Bookmarks and outline -----------------------------------------------------

void VKPDFViewController::showBookmarksControllerWithNewOffset(gfx::Point offset)
{
    auto* navigation = navigationController();
    if (!resource() || !navigation)
        return;
    setUIHidden(false, false);
    auto self = sharedAs<VKPDFViewController>();
    auto bookmarks = VKBookmarksController::initWithFileAtPath(resource()->path());
    bookmarks->setDelegate(std::static_pointer_cast<VKBookmarksControllerDelegate>(self));
    std::shared_ptr<ui::ViewController> shown;
    if (offset.y >= 0) {
        bookmarks->addBookmarkWithOffset(offset, contentZoom());
        shown = ui::NavigationController::create(bookmarks);
    } else {
        if (!m_outlineController) {
            m_outlineController = VKPDFOutlineTableViewController::initWithOutlineList(
                m_document ? m_document->outlineList() : nullptr);
            m_outlineController->setDelegate(std::static_pointer_cast<VKPDFOutlineTableViewControllerDelegate>(self));
        }
        if (m_outlineController->isEmpty())
            shown = ui::NavigationController::create(bookmarks);
        else
            shown = VKBookmarksNavigationController::initWithBookmarksController(bookmarks, m_outlineController);
    }
    navigation->presentModalViewController(shown, true);
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
