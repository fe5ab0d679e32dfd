#include "Viewers/Document/VKDocumentViewController.h"

#include "Viewers/Document/VKDocumentLinkHooks.h"
#include "Viewers/Document/VKDocumentTitleView.h"
#include "Viewers/Document/VKGoToPagePlaceholderView.h"
#include "Viewers/Document/VKPageIndexView.h"
#include "Viewers/Document/VKPageNumberOverlay.h"

#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/LayoutConstants.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/VKRepeatButton.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "Shell/VKAppDelegateHooks.h"
#include "Shell/VKApplication.h"
#include "App/Viewers/VKViewerFolderHost.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Kit/VKFunctions.h"
#include "Kit/VKGeometry.h"
#include "Kit/VKImageOperationQueue.h"
#include "Kit/URLAdditions.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/GestureRecognizer.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Pasteboard.h"
#include "Platform/UI/TapGestureRecognizer.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/ViewAnimation.h"
#include "Platform/UI/Window.h"
#include "Downloads/VKDownloadManager.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <fmt/format.h>

namespace {

// A registered default that is on unless set off (tests run without the
// registration).
bool defaultOn(std::string_view key)
{
    core::Value value = core::UserDefaults::standard()->object(key);
    return value.isNull() ? true : core::UserDefaults::standard()->boolForKey(key);
}

} // namespace

std::shared_ptr<ui::Label> VKCreateInfoLabel(const gfx::Rect& frame, std::string_view text, unsigned autoresizingMask)
{
    auto label = ui::Label::create(frame, text);
    label->setAutoresizingMask(autoresizingMask);
    label->setFont(gfx::Font::boldSystemFont(18));
    label->setTextColor(gfx::Color::white(1));
    label->setShadowColor(gfx::Color::white(0));
    label->setShadowOffset({ 0, 1 });
    label->setBackgroundColor(gfx::Color::white(0.2f, 0.8f));
    label->setTextAlignment(gfx::TextAlignment::Center);
    label->layer().setCornerRadius(10);
    return label;
}

unsigned VKPageNumberFromText(std::string_view text)
{
    unsigned long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = std::min<unsigned long long>(value * 10 + unsigned(c - '0'), INT_MAX);
    }
    return unsigned(value);
}

VKDocumentViewController::VKDocumentViewController() = default;

VKDocumentViewController::~VKDocumentViewController()
{
    if (m_gotoPlaceholder)
        m_gotoPlaceholder->setDocumentController(nullptr);
}

void VKDocumentViewController::initWithResource(const std::shared_ptr<VKFileResource>& resource,
    const std::shared_ptr<VKViewerFolderHost>& folderController)
{
    VKViewController::initWithResource(resource, folderController);
    m_pageIndexEdgeInsets = {};
    m_pagingEdgeInsets = { 64, 0, 64, 0 };
    std::weak_ptr<VKDocumentViewController> weak = sharedAs<VKDocumentViewController>();
    m_overlaySettingObservation = core::UserDefaults::standard()->observe(PageNumberOverlayEnabledKey,
        [weak](const core::Value&) {
            if (auto self = weak.lock())
                self->pageNumberOverlaySettingDidChange();
        });
}

// The contract.

gfx::Point VKDocumentViewController::contentOffset()
{
    VKRaiseNotImplemented(*this, "contentOffset");
}

void VKDocumentViewController::setContentOffset(gfx::Point)
{
    VKRaiseNotImplemented(*this, "setContentOffset:");
}

gfx::Size VKDocumentViewController::contentSize()
{
    VKRaiseNotImplemented(*this, "contentSize");
}

ui::View* VKDocumentViewController::verticalScrollIndicator()
{
    VKRaiseNotImplemented(*this, "verticalScrollIndicator");
}

void VKDocumentViewController::loadContentView()
{
    VKRaiseNotImplemented(*this, "loadContentView");
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
    if (m_pageIndexView)
        m_pageIndexView->setPageCount(pageCount());
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
    if (m_titleView) {
        m_titleView->setPageCount(count);
        m_titleView->setPageIndexRange(currentPageIndexRange());
    }
    if (m_pageNumberOverlay) {
        m_pageNumberOverlay->setPageCount(count);
        m_pageNumberOverlay->setPageNumber(currentPageNumber());
    }
    if (m_pageUpButton || m_pageDownButton) {
        gfx::Point offset = contentOffset();
        double limit = double(contentSize().height) - double(view()->bounds().height());
        if (m_pageUpButton)
            m_pageUpButton->setEnabled(offset.y > 0);
        if (m_pageDownButton)
            m_pageDownButton->setEnabled(double(offset.y) < limit);
    }
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
    gfx::Rect frame = indicator->frame();
    gfx::Rect scroller = indicator->superview()->bounds();
    double range = double(size.height) - scroller.height();
    gfx::Rect target = frame;
    if (range > 0) {
        gfx::Rect visible = contentView() ? contentView()->bounds() : scroller;
        float height = std::max(36.f, std::floor(visible.height() * visible.height() / size.height));
        target.size.height = height;
        target.origin.x = scroller.maxX() - frame.width() - 1;
        indicator->setFrame(target);
        float offsetY = contentOffset().y;
        target.origin.y = float(offsetY + (offsetY / range) * (scroller.height() - height));
    }
    ui::ViewAnimation::begin();
    indicator->setAlpha(1);
    indicator->setFrame(target);
    ui::ViewAnimation::commit();
    ui::ViewAnimation::begin();
    ui::ViewAnimation::setDelay(1.0);
    indicator->setAlpha(0);
    ui::ViewAnimation::commit();
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
    if (contentDidLoad() && defaultOn(PagingGestureEnabledKey)) {
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
    auto image = ui::Images::imageNamed(name);
    if (!m_searchIndicationView) {
        m_searchIndicationView = ui::ImageView::create(image);
        m_searchIndicationView->setUserInteractionEnabled(false);
        view()->addSubview(m_searchIndicationView);
    } else {
        m_searchIndicationView->setImage(image);
        view()->bringSubviewToFront(m_searchIndicationView.get());
    }
    m_searchIndicationView->sizeToFit();
    gfx::Rect own(gfx::Point(), m_searchIndicationView->bounds().size);
    m_searchIndicationView->setFrame(VKRectCenteredRectInRect(own, view()->bounds()));
    m_searchIndicationView->setAlpha(1);
    ui::ViewAnimation::begin("VKIndicateSearchImageFade");
    ui::ViewAnimation::setDuration(SearchImageFadeDuration);
    m_searchIndicationView->setAlpha(0);
    ui::ViewAnimation::commit();
}

// Page buttons.

void VKDocumentViewController::setPageButtons(std::shared_ptr<VKRepeatButton> up, std::shared_ptr<VKRepeatButton> down)
{
    m_pageUpButton = std::move(up);
    m_pageDownButton = std::move(down);
}

void VKDocumentViewController::pageUpRepeat()
{
    scrollViewByPageInDirection(Up, true);
}

void VKDocumentViewController::pageDownRepeat()
{
    scrollViewByPageInDirection(Down, true);
}

void VKDocumentViewController::pageUpDownBegan()
{
    setUIHidden(false, false);
    m_blockTapHidesUI = true;
}

void VKDocumentViewController::pageUpDownEnded(VKRepeatButton& sender)
{
    if (!sender.isRepeating())
        scrollViewByPageInDirection(&sender == m_pageUpButton.get() ? Up : Down, true);
    m_blockTapHidesUI = false;
    setUIHiddenAfterDelay(true, VKUIHideDelay);
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
    if (pageCount() >= 2) {
        if (defaultOn(PageNumberOverlayEnabledKey))
            addPageNumberOverlay();
        addPageIndexOverlay();
    }
    currentOffsetDidChange();
    std::weak_ptr<VKDocumentViewController> weak = sharedAs<VKDocumentViewController>();
    core::RunLoop::main().performAfter(0, [weak] {
        if (auto self = weak.lock())
            self->loadPersistentState();
    });
    setToolbarItemsEnabled(true);
    auto defaults = core::UserDefaults::standard();
    if (!defaults->boolForKey(PagingGestureInfoShownKey) && defaultOn(PagingGestureEnabledKey) && pageCount() >= 2) {
        defaults->set(PagingGestureInfoShownKey, core::Value(true));
        setPagingGestureInfoVisible(true);
        return;
    }
    setUIHiddenAfterDelay(true, VKUIHideDelay);
}

void VKDocumentViewController::loadPersistentState()
{
    if (!resource() || !contentView())
        return;
    auto settings = VKFileSettingsManager::defaultManager();
    const std::string& path = resource()->path();
    float zoom = settings->contentZoomForFile(path);
    if (zoom != 0)
        setContentZoom(zoom);
    scrollToNormalisedOffset({ settings->contentInsetForFile(path), settings->contentOffsetForFile(path) }, false, true);
}

void VKDocumentViewController::storePersistentState()
{
    if (!resource() || !contentView() || !core::fs::exists(resource()->path()))
        return;
    auto settings = VKFileSettingsManager::defaultManager();
    const std::string& path = resource()->path();
    gfx::Point normalised = normalisedOffset();
    if (!settings->setContentOffset(normalised.y, path))
        core::log("Warning, setContentOffset failed: {}", path);
    if (!settings->setContentInset(normalised.x, path))
        core::log("Warning, setContentInset failed: {}", path);
    if (!settings->setContentZoom(contentZoom(), path))
        core::log("Warning, setContentZoom failed: {}", path);
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
    if (m_pageIndexView)
        return m_pageIndexView->alpha() == 0;
    return VKViewController::isUIHidden();
}

void VKDocumentViewController::setUIHidden(bool hidden, bool animated)
{
    if (m_pageIndexView) {
        if (isUIHidden() && m_pageIndexView->alpha() == 1.0f) {
            hidePageIndexOverlayAnimated(true);
            VKViewController::setUIHidden(true, false);
            return;
        }
        if (m_pageIndexView->isHighlighted()) {
            if (!hidden && m_pageNumberOverlay)
                m_pageNumberOverlay->fadeOut(true, false);
        } else if (hidden) {
            m_pageIndexView->fadeOut(true, true);
        } else {
            if (!m_pageIndexSuppressed)
                m_pageIndexView->fadeOut(false, true);
            if (m_pageNumberOverlay)
                m_pageNumberOverlay->fadeOut(true, false);
        }
    }
    VKViewController::setUIHidden(hidden, animated);
}

bool VKDocumentViewController::shouldSingleTapHideUI() const
{
    return !m_blockTapHidesUI && VKViewController::shouldSingleTapHideUI();
}

void VKDocumentViewController::addPageIndexOverlay()
{
    if (m_pageIndexView || !contentView())
        return;
    m_pageIndexView = VKPageIndexView::create();
    m_pageIndexView->setPageCount(pageCount());
    if (m_pageIndexSuppressed || VKViewController::isUIHidden())
        m_pageIndexView->fadeOut(true, false);
    contentView()->addSubview(m_pageIndexView);
    m_pageIndexView->setFrame(pageIndexViewFrame());
    std::weak_ptr<VKDocumentViewController> weak = sharedAs<VKDocumentViewController>();
    auto self = shared_from_this();
    m_pageIndexView->addTarget(self, "handlePageIndexViewControlEvent",
        [weak](ui::Control&, const ui::Event*) {
            if (auto controller = weak.lock())
                controller->handlePageIndexViewControlEvent();
        },
        ui::Control::TouchDown | ui::Control::TouchUpInside | ui::Control::TouchUpOutside | ui::Control::TouchCancel);
    m_pageIndexView->addTarget(self, "pageIndexValueDidChange",
        [weak](ui::Control&, const ui::Event*) {
            if (auto controller = weak.lock())
                controller->pageIndexValueDidChange();
        },
        ui::Control::ValueChanged);
}

gfx::Rect VKDocumentViewController::pageIndexViewFrame()
{
    gfx::Rect b = view()->bounds();
    float width = m_pageIndexView ? m_pageIndexView->frame().width() : VKPageIndexView::Width;
    gfx::EdgeInsets insets = m_pageIndexEdgeInsets;
    if (insets == gfx::EdgeInsets() && wantsFullScreenLayout())
        insets = barInsets();
    float y = b.minY() + 5 + insets.top;
    return gfx::Rect(b.maxX() - width - 2 - insets.right, y, width, b.maxY() - 5 - insets.bottom - y);
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

void VKDocumentViewController::handlePageIndexViewControlEvent()
{
    bool tracking = m_pageIndexView->isTracking();
    m_blockTapHidesUI = tracking;
    if (tracking) {
        if (m_pageNumberOverlay)
            m_pageNumberOverlay->fadeOut(false, false);
        setUIHidden(true, false);
    } else {
        if (m_pageNumberOverlay)
            m_pageNumberOverlay->fadeOut(true, true, VKUIHideDelay);
        m_pageIndexView->fadeOut(true, true);
    }
}

void VKDocumentViewController::pageIndexValueDidChange()
{
    scrollToNormalisedOffset({ normalisedOffset().x, m_pageIndexView->value() }, false, false);
}

void VKDocumentViewController::setPageIndexViewSuppressed(bool suppressed)
{
    m_pageIndexSuppressed = suppressed;
    if (!m_pageIndexView)
        return;
    if (suppressed)
        m_pageIndexView->fadeOut(true, true);
    else if (!VKViewController::isUIHidden())
        m_pageIndexView->fadeOut(false, true);
}

void VKDocumentViewController::setPageIndexEdgeInsets(gfx::EdgeInsets insets)
{
    m_pageIndexEdgeInsets = insets;
    if (m_pageIndexView)
        m_pageIndexView->setFrame(pageIndexViewFrame());
}

void VKDocumentViewController::hidePageIndexOverlayAnimated(bool animated)
{
    if (m_pageIndexView)
        m_pageIndexView->fadeOut(true, animated);
    if (m_pageNumberOverlay)
        m_pageNumberOverlay->fadeOut(true, animated);
}

void VKDocumentViewController::addPageNumberOverlay()
{
    if (m_pageNumberOverlay || !contentView())
        return;
    m_pageNumberOverlay = VKPageNumberOverlay::create(gfx::Rect(6, 6, 78, 34));
    m_pageNumberOverlay->setAlpha(0);
    m_pageNumberOverlay->setPageCount(pageCount());
    m_pageNumberOverlay->setPageNumber(currentPageNumber());
    contentView()->addSubview(m_pageNumberOverlay);
}

void VKDocumentViewController::removePageNumberOverlay()
{
    if (!m_pageNumberOverlay)
        return;
    m_pageNumberOverlay->removeFromSuperview();
    m_pageNumberOverlay.reset();
}

void VKDocumentViewController::pageNumberOverlaySettingDidChange()
{
    if (defaultOn(PageNumberOverlayEnabledKey) && pageCount() >= 2)
        addPageNumberOverlay();
    else
        removePageNumberOverlay();
}

// The go-to-page bar.

void VKDocumentViewController::showGotoPageController()
{
    if (!contentView() || m_gotoSearchBar || !navigationController())
        return;
    unsigned count = pageCount();
    std::string placeholder = count < 2 ? core::localized("Go to page")
                                        : fmt::format("{} of {}", currentPageNumber(), count);
    ui::NavigationBar& bar = navigationController()->navigationBar();
    m_gotoSearchBar = ui::SearchBar::create(bar.bounds());
    m_gotoSearchBar->setDelegate(std::dynamic_pointer_cast<ui::SearchBarDelegate>(shared_from_this()));
    m_gotoSearchBar->setBarStyle(ui::NavigationBar::Style::BlackTranslucent);
    // The whole bar at every width (the window turned or resized under it).
    m_gotoSearchBar->setAutoresizingMask(ui::View::FlexibleWidth);
    ui::TextField& field = m_gotoSearchBar->textField();
    field.setKeyboardType(ui::TextField::KeyboardType::NumberPad);
    field.setAutocapitalizationType(ui::TextField::AutocapitalizationType::None);
    field.setAutocorrectionType(ui::TextField::AutocorrectionType::No);
    m_gotoSearchBar->setShowsCancelButton(true);
    m_gotoSearchBar->setPlaceholder(placeholder);
    bar.addSubview(m_gotoSearchBar);
    if (bar.topItem())
        bar.topItem()->setHidesBackButton(true, false);
    singleTapGestureRecognizer()->setEnabled(false);
    m_gotoPlaceholder = VKGoToPagePlaceholderView::create(contentView()->bounds(), this);
    contentView()->addSubview(m_gotoPlaceholder);
    m_gotoSearchBar->cancelButton().setTitle(core::localized("Go"), ui::Control::Normal);
    m_gotoSearchBar->becomeFirstResponder();
}

void VKDocumentViewController::cancelButtonClicked(ui::SearchBar& bar)
{
    if (&bar == m_gotoSearchBar.get())
        gotoSearchBarDone(bar);
}

void VKDocumentViewController::searchButtonClicked(ui::SearchBar& bar)
{
    if (&bar == m_gotoSearchBar.get())
        gotoSearchBarDone(bar);
}

void VKDocumentViewController::gotoSearchBarDone(ui::SearchBar& bar)
{
    std::string text = bar.text();
    removeGotoSearchBar();
    if (!text.empty())
        gotoPageNumber(std::max(1u, VKPageNumberFromText(text)));
    setUIHiddenAfterDelay(true, VKUIHideDelay);
}

void VKDocumentViewController::removeGotoSearchBar()
{
    if (!m_gotoSearchBar)
        return;
    m_gotoSearchBar->resignFirstResponder();
    auto bar = std::move(m_gotoSearchBar);
    auto placeholder = std::move(m_gotoPlaceholder);
    if (placeholder)
        placeholder->setDocumentController(nullptr);
    core::RunLoop::main().performAfter(0, [bar, placeholder] {
        bar->removeFromSuperview();
        if (placeholder)
            placeholder->removeFromSuperview();
    });
    singleTapGestureRecognizer()->setEnabled(true);
    if (navigationController() && navigationController()->navigationBar().topItem())
        navigationController()->navigationBar().topItem()->setHidesBackButton(false, false);
}

bool VKDocumentViewController::isSearchBarActive() const
{
    return m_gotoSearchBar && m_gotoSearchBar->textField().isFirstResponder();
}

void VKDocumentViewController::cancelCurrentSearch()
{
    std::weak_ptr<VKDocumentViewController> weak = sharedAs<VKDocumentViewController>();
    core::RunLoop::main().performAfter(0, [weak] {
        if (auto self = weak.lock())
            self->removeGotoSearchBar();
    });
}

void VKDocumentViewController::gotoPageNumber(unsigned page)
{
    double y = (double(page) - 1) * double(m_normalisedPageHeight);
    scrollToNormalisedOffset({ normalisedOffset().x, float(y) }, false, true);
}

void VKDocumentViewController::textDidBeginEditing(ui::SearchBar&)
{
    view()->setBackgroundColor(gfx::Color::white(0, 0.3f));
    m_blockTapHidesUI = true;
}

void VKDocumentViewController::textDidEndEditing(ui::SearchBar&)
{
    view()->setBackgroundColor(gfx::Color());
    m_blockTapHidesUI = false;
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
    const core::Value& info = sheet.userInfo();
    std::optional<core::URL> url = info.isString() ? core::URL::parse(info.toString()) : std::nullopt;
    if (!url && (tag == OpenLinkButtonTag || tag == DownloadLinkButtonTag || tag == CopyLinkButtonTag))
        return;
    core::URLRequest request(url.value_or(core::URL()));
    switch (tag) {
    case GoToPageButtonTag:
        showGotoPageController();
        return;
    case OpenLinkButtonTag:
        openLink(request);
        return;
    case DownloadLinkButtonTag:
        downloadLink(request);
        return;
    case CopyLinkButtonTag:
        ui::Pasteboard::general()->setURL(request.url());
        return;
    default:
        VKViewController::actionSheetClickedButtonWithTag(sheet, tag);
    }
}

std::string VKDocumentViewController::linkTargetFolder() const
{
    if (folderController())
        if (auto folder = folderController()->folderResource())
            return folder->path();
    // A viewer opened without a folder screen downloads beside its file.
    return resource() ? core::path::deletingLastPathComponent(resource()->path()) : std::string();
}

void VKDocumentViewController::openLink(const core::URLRequest& request)
{
    auto application = VKApplication::sharedApplication();
    if (isAppleRegisteredURL(request.url())) {
        if (application)
            application->openURLNoChecks(request.url());
        return;
    }
    auto hooks = VKDocumentLinkHooks::current();
    if (hooks && navigationController()) {
        hooks->openLinkInBrowser(request, linkTargetFolder(), *navigationController());
        return;
    }
    core::log("Opening link outside the application: {}", request.url().absoluteString());
    if (application)
        application->openURLNoChecks(request.url());
}

void VKDocumentViewController::downloadLink(const core::URLRequest& request)
{
    std::string folder = linkTargetFolder();
    if (!folder.empty())
        VKDownloadManager::sharedManager()->startWebDownloadWithRequest(request, folder);
}

void VKDocumentViewController::handleOpenEventForURLRequest(const core::URLRequest& request)
{
    const core::URL& url = request.url();
    std::string scheme = url.scheme();
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (scheme == "tel") {
        if (auto application = VKApplication::sharedApplication())
            application->openURLNoChecks(url);
        return;
    }
    auto sheet = VKActionSheet::create(url.absoluteString(),
        std::dynamic_pointer_cast<ui::ActionSheetDelegate>(shared_from_this()));
    sheet->setTag(LinkActionSheetTag);
    sheet->setUserInfo(core::Value(url.absoluteString()));
    sheet->addButtonWithTitle(core::localized("Open"), OpenLinkButtonTag);
    sheet->addButtonWithTitle(core::localized("Copy"), CopyLinkButtonTag);
    if (!core::path::pathExtension(url.path()).empty() && !isAppleRegisteredURL(url))
        sheet->addButtonWithTitle(core::localized("Download"), DownloadLinkButtonTag);
    sheet->setCancelButtonIndex(sheet->addButton(core::localized("Cancel")));
    showActionSheet(*this, *sheet, view());
}

// The paging help.

bool VKDocumentViewController::pagingGestureInfoVisible() const
{
    auto view = m_pagingGestureInfoView.lock();
    return view && !view->isHidden();
}

void VKDocumentViewController::setPagingGestureInfoVisible(bool visible)
{
    auto existing = m_pagingGestureInfoView.lock();
    if (existing && !visible) {
        ui::ViewAnimation::begin();
        ui::ViewAnimation::setDuration(1.0);
        existing->setAlpha(0);
        ui::ViewAnimation::commit();
        std::weak_ptr<ui::View> weakView = existing;
        core::RunLoop::main().performAfter(1.0, [weakView] {
            if (auto view = weakView.lock())
                view->removeFromSuperview();
        });
        m_pagingGestureInfoView.reset();
        return;
    }
    if (existing || !visible)
        return;
    auto help = ui::View::create(view()->bounds().insetBy(5, 5));
    help->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    gfx::Rect h = help->bounds();
    std::string first;
    float margin;
    if (documentViewLayout() == 1) {
        help->addSubview(VKCreateInfoLabel(gfx::Rect(0, 0, h.width(), 50), core::localized("Tap this region to page up"),
            ui::View::FlexibleWidth | ui::View::FlexibleBottomMargin));
        help->addSubview(VKCreateInfoLabel(gfx::Rect(0, h.maxY() - 50, h.width(), 50),
            core::localized("Tap this region to page down"), ui::View::FlexibleWidth | ui::View::FlexibleTopMargin));
        first = core::localized("Use the paging gesture regions to page up and down whilst reading a document.");
        margin = 50;
    } else {
        help->addSubview(VKCreateInfoLabel(gfx::Rect(0, 0, 30, h.height()), "",
            ui::View::FlexibleRightMargin | ui::View::FlexibleHeight));
        help->addSubview(VKCreateInfoLabel(gfx::Rect(h.maxX() - 30, 0, 30, h.height()), "",
            ui::View::FlexibleLeftMargin | ui::View::FlexibleHeight));
        first = core::localized("Use the paging gesture regions to page left and right whilst reading a document.");
        margin = 60;
    }
    std::string message = fmt::format("{} {}", first,
        core::localized("Tapping anywhere else displays the toolbars as normal.\n\nThis feature can be switched off in settings."));
    gfx::Font font = gfx::Font::boldSystemFont(15);
    float width = std::max(0.f, std::min(h.width() - 2 * margin, 300.f));
    gfx::Size size = gfx::textEngine()->sizeOfString(message, font, { width, h.height() }, gfx::LineBreakMode::WordWrap);
    unsigned flexible = ui::View::FlexibleLeftMargin | ui::View::FlexibleRightMargin | ui::View::FlexibleTopMargin
        | ui::View::FlexibleBottomMargin;
    gfx::Rect frame(std::floor((h.width() - size.width) * 0.5f), std::floor((h.height() - size.height) * 0.5f),
        size.width, size.height);
    auto label = VKCreateInfoLabel(frame, message, flexible);
    label->setFont(font);
    label->setNumberOfLines(10);
    auto backdrop = ui::View::create(frame.insetBy(-15, -15));
    backdrop->setAutoresizingMask(flexible);
    backdrop->setBackgroundColor(label->backgroundColor());
    backdrop->layer().setCornerRadius(10);
    label->setBackgroundColor(gfx::Color());
    help->addSubview(backdrop);
    help->addSubview(label);
    view()->addSubview(help);
    m_pagingGestureInfoView = help;
    setUIHiddenAfterDelay(true, 0.5);
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
    m_searchIndicationView.reset();
    m_pagingGestureInfoView.reset();
    VKViewController::viewDidUnload();
}

void VKDocumentViewController::willRotate(ui::Orientation orientation, double duration)
{
    m_rotationContentOffset = normalisedOffset();
    if (m_pageIndexView)
        m_pageIndexView->setHidden(true);
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
    if (m_pageIndexView) {
        m_pageIndexView->setHidden(m_pageIndexSuppressed);
        m_pageIndexView->setFrame(pageIndexViewFrame());
    }
    scrollToNormalisedOffset(m_rotationContentOffset, false, false);
}

bool VKDocumentViewController::shouldAutorotate(ui::Orientation orientation)
{
    if (m_gotoSearchBar)
        return orientation == interfaceOrientation();
    return VKViewController::shouldAutorotate(orientation);
}
