#include "Viewers/Document/VKDocumentViewController.h"

#include "Viewers/Document/VKBookmarksController.h"
#include "Viewers/Document/VKDocumentLinkSheet.h"
#include "Viewers/Document/VKDocumentTitleView.h"
#include "Viewers/Document/VKPageIndexView.h"
#include "Viewers/Document/VKReadingPlace.h"

#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/LayoutConstants.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/VKAppDelegateHooks.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Kit/VKFunctions.h"
#include "Kit/VKImageOperationQueue.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/GestureRecognizer.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/ViewAnimation.h"
#include "Platform/UI/Window.h"

#include <algorithm>
#include <climits>
#include <cmath>

VKDocumentViewController::VKDocumentViewController() = default;

bool VKDocumentViewController::settingIsOn(std::string_view key)
{
    core::Value value = core::UserDefaults::standard()->object(key);
    return value.isNull() ? true : core::UserDefaults::standard()->boolForKey(key);
}

VKDocumentViewController::~VKDocumentViewController() = default;

void VKDocumentViewController::initWithResource(const std::shared_ptr<VKFileResource>& resource,
    const std::shared_ptr<VKViewerFolderHost>& folderController)
{
    VKViewController::initWithResource(resource, folderController);
    m_pagingEdgeInsets = { 64, 0, 64, 0 };
    std::weak_ptr<VKDocumentViewController> weak = sharedAs<VKDocumentViewController>();
    m_overlaySettingObservation = core::UserDefaults::standard()->observe(PageNumberOverlayEnabledKey,
        [weak](const core::Value&) {
            if (auto self = weak.lock())
                self->m_pageIndex.setNumberOverlayWanted(*self, settingIsOn(PageNumberOverlayEnabledKey));
        });
}

// Pages.

void VKDocumentViewController::setupNormalisedPageHeight()
{
    gfx::Size size = contentSize();
    if (!(size.width > 0) || !(size.height > 0))
        return;
    gfx::Rect screen = gfx::Screen::main().bounds();
    float screenfuls = screen.size.height / (size.height * screen.size.width / size.width);
    double height = std::min(1.0, double(screenfuls));
    m_normalisedPageHeight = std::isfinite(height) && height > 0 ? float(height) : 0;
    if (m_pageIndex.indexView())
        m_pageIndex.indexView()->setPageCount(pageCount());
}

unsigned VKDocumentViewController::pageCount()
{
    if (!(m_normalisedPageHeight > 0))
        return 0;
    double pages = std::ceil(1.0 / double(m_normalisedPageHeight));
    return pages >= double(INT_MAX) ? unsigned(INT_MAX) : unsigned(pages);
}

unsigned VKDocumentViewController::currentPageNumber()
{
    gfx::Size size = contentSize();
    if (!(m_normalisedPageHeight > 0) || !(size.height > 0))
        return 0;
    double ny = normalisedOffset().y;
    double viewHeight = isViewLoaded() ? view()->bounds().height() : 0;
    float middle = float(ny + 0.5 * viewHeight / size.height);
    float page = std::ceil(middle / m_normalisedPageHeight);
    unsigned count = pageCount();
    if (!(page >= 0))
        return 0;
    if (page >= float(count))
        return count;
    return unsigned(page);
}

VKPageIndexRange VKDocumentViewController::currentPageIndexRange()
{
    unsigned page = currentPageNumber();
    return { page == 0 ? 0 : page - 1, 1 };
}

gfx::Point VKDocumentViewController::normalisedOffset()
{
    gfx::Point offset = contentOffset();
    gfx::Size size = contentSize();
    return { size.width > 0 ? offset.x / size.width : 0, size.height > 0 ? offset.y / size.height : 0 };
}

gfx::Point VKDocumentViewController::contentOffsetFromNormalisedOffset(gfx::Point normalised)
{
    gfx::Size size = contentSize();
    return { normalised.x * size.width, normalised.y * size.height };
}

void VKDocumentViewController::currentOffsetDidChange()
{
    unsigned count = pageCount();
    if (count == 0)
        return;
    // Scrolled by a key or the wheel, the document is read: the help goes
    // at once, and with it what covered the page.
    if (m_pagingHelp.isVisible() && !m_placingDocument && contentOffset() != m_offsetUnderHelp)
        m_pagingHelp.hide(false);
    if (m_titleView) {
        m_titleView->setPageCount(count);
        m_titleView->setPageIndexRange(currentPageIndexRange());
    }
    m_pageIndex.pagesDidChange(count, currentPageNumber());
}

// Scrolling.

void VKDocumentViewController::scrollToContentOffset(gfx::Point offset, bool animated, bool displayScrollIndicators)
{
    gfx::Size size = contentSize();
    gfx::Rect visible = contentView() ? contentView()->bounds() : gfx::Rect();
    auto clamp = [](double value, double extent) {
        double clamped = std::max(0.0, std::min(value, extent));
        return std::isfinite(clamped) ? float(clamped) : 0.f;
    };
    gfx::Point target { clamp(offset.x, double(size.width) - visible.width()),
        clamp(offset.y, double(size.height) - visible.height()) };
    if (animated) {
        ui::ViewAnimation::begin();
        setContentOffset(target);
        ui::ViewAnimation::commit();
    } else {
        setContentOffset(target);
    }
    if (displayScrollIndicators)
        flashVerticalScrollIndicator();
}

void VKDocumentViewController::scrollToNormalisedOffset(gfx::Point normalised, bool animated,
    bool displayScrollIndicators)
{
    scrollToContentOffset(contentOffsetFromNormalisedOffset(normalised), animated, displayScrollIndicators);
}

void VKDocumentViewController::flashVerticalScrollIndicator()
{
    gfx::Size size = contentSize();
    if (size.height == 0)
        return;
    ui::View* indicator = verticalScrollIndicator();
    if (!indicator || !indicator->superview())
        return;
    gfx::Rect visible = contentView() ? contentView()->bounds() : indicator->superview()->bounds();
    VKScrollSigns::flashIndicator(*indicator, size, visible, contentOffset().y);
}

void VKDocumentViewController::scrollToHome()
{
    scrollToNormalisedOffset({ normalisedOffset().x, 0 }, false, true);
}

void VKDocumentViewController::scrollToEnd()
{
    scrollToNormalisedOffset({ normalisedOffset().x, 1.0f }, false, true);
}

bool VKDocumentViewController::canPageInDirection(int direction)
{
    float y = contentOffset().y;
    if (direction == Down) {
        double visible = contentView() ? contentView()->bounds().height() : 0;
        return double(y) < double(contentSize().height) - visible;
    }
    if (direction == Up)
        return y > 0;
    return false;
}

void VKDocumentViewController::scrollViewByPageInDirection(int direction, bool animated)
{
    if (!canPageInDirection(direction)) {
        indicateSearchTruncation(direction);
        return;
    }
    float step = (contentView() ? contentView()->bounds().height() : 0) - PagingOverlap;
    if (direction == Up)
        step = -step;
    gfx::Point offset = contentOffset();
    scrollToContentOffset({ offset.x, offset.y + step }, animated, true);
}

int VKDocumentViewController::pagingDirectionForTapPoint(gfx::Point point) const
{
    gfx::Rect b = const_cast<VKDocumentViewController*>(this)->view()->bounds();
    if (point.y < m_pagingEdgeInsets.top)
        return Up;
    if (point.y > b.maxY() - m_pagingEdgeInsets.bottom)
        return Down;
    if (point.x < m_pagingEdgeInsets.left)
        return Left;
    if (point.x > b.maxX() - m_pagingEdgeInsets.right)
        return Right;
    return None;
}

void VKDocumentViewController::singleTapGestureRecognized(ui::GestureRecognizer& recognizer)
{
    if (pagingGestureInfoVisible()) {
        setPagingGestureInfoVisible(false);
        return;
    }
    if (contentDidLoad() && settingIsOn(PagingGestureEnabledKey)) {
        int direction = pagingDirectionForTapPoint(recognizer.locationInView(view().get()));
        if (direction != None) {
            scrollViewByPageInDirection(direction, true);
            if (isUIHidden())
                return;
        }
    }
    VKViewController::singleTapGestureRecognized(recognizer);
}

void VKDocumentViewController::indicateSearchTruncation(int direction)
{
    indicateSearchImage(direction == Down ? "VKReachedEnd.png" : "VKReachedBeginning.png");
}

void VKDocumentViewController::indicateSearchRotation(int direction)
{
    indicateSearchImage(direction == Down ? "VKLoopForward.png" : "VKLoopBackward.png");
}

void VKDocumentViewController::indicateSearchImage(const std::string& name)
{
    m_scrollSigns.showImage(*view(), name);
}

// Loading and state.

void VKDocumentViewController::contentLoadDidSucceed()
{
    setContentLoading(false);
    setContentDidLoad(true);
    stopActivityIndicator();
    if (!contentView())
        return;
    if (pageCount() == 0)
        setupNormalisedPageHeight();
    addPageIndex();
    currentOffsetDidChange();
    core::RunLoop::main().performAfter(sharedAs<VKDocumentViewController>(), 0, [](VKDocumentViewController& self) {
        self.loadPersistentState();
    });
    setToolbarItemsEnabled(true);
    if (!offerPagingHelp())
        setUIHiddenAfterDelay(true, VKUIHideDelay);
}

void VKDocumentViewController::contentSizeDidChange()
{
    if (contentIsLoading() || !contentDidLoad() || !contentView())
        return;
    setupNormalisedPageHeight();
    if (pageCount() >= 2 && !m_pageIndex.indexView()) {
        addPageIndex();
        offerPagingHelp();
    }
    currentOffsetDidChange();
}

void VKDocumentViewController::addPageIndex()
{
    if (pageCount() < 2)
        return;
    if (settingIsOn(PageNumberOverlayEnabledKey))
        m_pageIndex.addNumberOverlay(*this);
    m_pageIndex.addIndex(*this, VKViewController::isUIHidden());
}

bool VKDocumentViewController::offerPagingHelp()
{
    auto defaults = core::UserDefaults::standard();
    if (defaults->boolForKey(PagingGestureInfoShownKey) || !settingIsOn(PagingGestureEnabledKey) || pageCount() < 2)
        return false;
    defaults->set(PagingGestureInfoShownKey, core::Value(true));
    setPagingGestureInfoVisible(true);
    return true;
}

void VKDocumentViewController::loadPersistentState()
{
    // The document put back where it was read is not the reader scrolling.
    m_placingDocument = true;
    VKReadingPlace::restore(*this);
    m_placingDocument = false;
    m_offsetUnderHelp = contentOffset();
}

void VKDocumentViewController::storePersistentState()
{
    VKReadingPlace::store(*this);
}

void VKDocumentViewController::showBookmarksControllerWithNewOffset(gfx::Point offset)
{
    auto* navigation = navigationController();
    if (!resource() || !navigation)
        return;
    auto bookmarks = VKBookmarksController::initWithFileAtPath(resource()->path());
    bookmarks->setDelegate(std::static_pointer_cast<VKBookmarksControllerDelegate>(sharedAs<VKDocumentViewController>()));
    if (offset.y >= 0)
        bookmarks->addBookmarkWithOffset(offset);
    navigation->presentModalViewController(ui::NavigationController::create(bookmarks), true);
}

void VKDocumentViewController::showBookmarksController()
{
    showBookmarksControllerWithNewOffset({ -1, -1 });
}

void VKDocumentViewController::addBookmarkWithOffset(gfx::Point offset)
{
    showBookmarksControllerWithNewOffset(offset);
}

void VKDocumentViewController::bookmarksControllerDidEnd(ui::ViewController&)
{
    if (auto* navigation = navigationController())
        navigation->dismissModalViewController(true);
}

void VKDocumentViewController::bookmarksController(ui::ViewController&, const core::Value& bookmark)
{
    auto number = [&](const char* key) {
        return bookmark.isDictionary() ? float(bookmark[key].toReal()) : 0.f;
    };
    scrollToNormalisedOffset({ number(VKBookmarkInsetKey), number(VKBookmarkOffsetKey) }, false, false);
}

// Bars, page index and bubble.

bool VKDocumentViewController::isUIHidden() const
{
    if (m_pageIndex.indexView())
        return m_pageIndex.indexView()->alpha() == 0;
    return VKViewController::isUIHidden();
}

void VKDocumentViewController::setUIHidden(bool hidden, bool animated)
{
    if (m_pageIndex.followBars(hidden, m_pageIndex.indexView() && isUIHidden())) {
        VKViewController::setUIHidden(true, false);
        return;
    }
    VKViewController::setUIHidden(hidden, animated);
}

bool VKDocumentViewController::shouldSingleTapHideUI() const
{
    return !m_blockTapHidesUI && VKViewController::shouldSingleTapHideUI();
}

gfx::EdgeInsets VKDocumentViewController::barInsets()
{
    gfx::EdgeInsets insets;
    if (!navigationController())
        return insets;
    // The status bar counts only where the view lies under it: a view
    // placed below it would otherwise keep its content 20 points too low.
    float underStatusBar = VKStatusBarHeight;
    if (auto application = ui::Application::shared(); application && view()->window()) {
        gfx::Rect shared = application->statusBarFrameWhenShown().intersection(view()->convertRect(view()->bounds(), nullptr));
        underStatusBar = shared.isEmpty() ? 0 : std::min(shared.width(), shared.height());
    }
    insets.top = navigationController()->navigationBar().frame().height() + underStatusBar;
    insets.bottom = navigationController()->toolbar().frame().height();
    return insets;
}

void VKDocumentViewController::setPageIndexViewSuppressed(bool suppressed)
{
    m_pageIndex.setSuppressed(suppressed, VKViewController::isUIHidden());
}

void VKDocumentViewController::setPageIndexEdgeInsets(gfx::EdgeInsets insets)
{
    m_pageIndex.setEdgeInsets(*this, insets);
    m_pagingHelp.setEdgeInsets(insets);
}

// The go-to-page bar.

void VKDocumentViewController::showGotoPageController()
{
    if (!m_gotoBar)
        m_gotoBar = std::make_shared<VKGoToPageBar>(*this);
    m_gotoBar->show();
}

void VKDocumentViewController::removeGotoSearchBar()
{
    if (m_gotoBar)
        m_gotoBar->remove();
}

bool VKDocumentViewController::isSearchBarActive() const
{
    return m_gotoBar && m_gotoBar->isActive();
}

void VKDocumentViewController::cancelCurrentSearch()
{
    if (m_gotoBar)
        m_gotoBar->removeSoon();
}

ui::SearchBar* VKDocumentViewController::gotoSearchBar() const
{
    return m_gotoBar ? m_gotoBar->bar() : nullptr;
}

void VKDocumentViewController::cancelButtonClicked(ui::SearchBar& bar)
{
    if (m_gotoBar)
        m_gotoBar->cancelButtonClicked(bar);
}

void VKDocumentViewController::gotoPageNumber(unsigned page)
{
    double y = (double(page) - 1) * double(m_normalisedPageHeight);
    scrollToNormalisedOffset({ normalisedOffset().x, float(y) }, false, true);
}

// Toolbar and sheets.

std::vector<std::shared_ptr<ui::BarButtonItem>> VKDocumentViewController::createToolbarItems()
{
    std::weak_ptr<VKDocumentViewController> weak = sharedAs<VKDocumentViewController>();
    auto self = shared_from_this();
    auto item = [&](ui::BarButtonItem::SystemItem kind, const char* action, std::function<void(VKDocumentViewController&)> run) {
        return barButtonSystemItem(kind, self, action, [weak, run](ui::BarButtonItem&) {
            if (auto controller = weak.lock())
                run(*controller);
        });
    };
    return {
        item(ui::BarButtonItem::SystemItem::Action, ShowDocumentActionSheetAction,
            [](VKDocumentViewController& c) { c.showDocumentActionSheet(nullptr); }),
        flexibleSpaceBarButtonItem(),
        item(ui::BarButtonItem::SystemItem::Add, AddBookmarkAction, [](VKDocumentViewController& c) { c.addBookmark(); }),
        flexibleSpaceBarButtonItem(),
        item(ui::BarButtonItem::SystemItem::Bookmarks, ShowBookmarksAction,
            [](VKDocumentViewController& c) { c.showBookmarks(); }),
        flexibleSpaceBarButtonItem(),
        item(ui::BarButtonItem::SystemItem::Trash, DeleteItemAction, [](VKDocumentViewController& c) { c.deleteItem(nullptr); }),
    };
}

void VKDocumentViewController::showBookmarks()
{
    if (contentView())
        showBookmarksController();
}

void VKDocumentViewController::addBookmark()
{
    if (contentView())
        addBookmarkWithOffset(normalisedOffset());
}

void VKDocumentViewController::addButtonsToActionSheet(VKActionSheet& sheet)
{
    if (pageCount() >= 2)
        sheet.addButtonWithTitle(core::localized("Go to Page"), GoToPageButtonTag);
    VKViewController::addButtonsToActionSheet(sheet);
    auto hooks = VKAppDelegateHooks::current();
    bool locked = hooks && hooks->isOrientationLocked();
    sheet.addButtonWithTitle(core::localized(locked ? "Unlock Orientation" : "Lock Orientation"),
        OrientationLockButtonTag);
}

void VKDocumentViewController::actionSheetClickedButtonWithTag(VKActionSheet& sheet, int tag)
{
    if (tag == GoToPageButtonTag)
        showGotoPageController();
    else if (!VKDocumentLinkSheet::answer(*this, sheet, tag))
        VKViewController::actionSheetClickedButtonWithTag(sheet, tag);
}

void VKDocumentViewController::handleOpenEventForURLRequest(const core::URLRequest& request)
{
    VKDocumentLinkSheet::offer(*this, request);
}

// The paging help.

bool VKDocumentViewController::pagingGestureInfoVisible() const
{
    return m_pagingHelp.isVisible();
}

void VKDocumentViewController::setPagingGestureInfoVisible(bool visible)
{
    if (!visible)
        m_pagingHelp.hide();
    else if (m_pagingHelp.show(*view(), documentViewLayout() == 1)) {
        m_offsetUnderHelp = contentOffset();
        setUIHiddenAfterDelay(true, 0.5);
    }
}

// Life cycle.

void VKDocumentViewController::viewDidLoad()
{
    // Made first, so that content that loads at once already reports to it.
    m_titleView = VKDocumentTitleView::create(gfx::Rect(0, 0, 300, 44));
    VKViewController::viewDidLoad();
    navigationItem().setTitleView(m_titleView);
    setTitleFromResource();
    currentOffsetDidChange();
}

void VKDocumentViewController::setTitleFromResource()
{
    VKViewController::setTitleFromResource();
    if (m_titleView)
        m_titleView->setTitle(title());
}

void VKDocumentViewController::viewWillAppear(bool animated)
{
    VKViewController::viewWillAppear(animated);
    VKImageOperationQueue::sharedQueue()->removeAllPendingOperations();
    setToolbarItemsEnabled(contentDidLoad());
    if (contentView() && !contentView()->superview())
        view()->addSubview(contentView());
}

void VKDocumentViewController::viewDidAppear(bool animated)
{
    VKViewController::viewDidAppear(animated);
    if (modalViewController() || (navigationController() && navigationController()->modalViewController()))
        setUIHiddenAfterDelay(true, VKUIHideDelay);
}

void VKDocumentViewController::viewWillDisappear(bool animated)
{
    removeGotoSearchBar();
    VKViewController::viewWillDisappear(animated);
}

void VKDocumentViewController::viewDidUnload()
{
    m_scrollSigns.forget();
    m_pagingHelp.forget();
    VKViewController::viewDidUnload();
}

void VKDocumentViewController::willRotate(ui::Orientation orientation, double duration)
{
    m_rotationContentOffset = normalisedOffset();
    m_pageIndex.willRotate();
    VKViewController::willRotate(orientation, duration);
}

void VKDocumentViewController::didRotate(ui::Orientation fromOrientation)
{
    VKViewController::didRotate(fromOrientation);
    if (m_titleView) {
        m_titleView->updatePageLabel();
        m_titleView->sizeToFit();
        m_titleView->setNeedsLayout();
    }
    m_pageIndex.didRotate(*this);
    scrollToNormalisedOffset(m_rotationContentOffset, false, false);
}

bool VKDocumentViewController::shouldAutorotate(ui::Orientation orientation)
{
    if (gotoSearchBar())
        return orientation == interfaceOrientation();
    return VKViewController::shouldAutorotate(orientation);
}
