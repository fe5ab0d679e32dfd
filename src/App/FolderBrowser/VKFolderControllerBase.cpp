#include "App/FolderBrowser/VKFolderControllerBase.h"

#include "App/FolderBrowser/VKFolderInfoLabel.h"
#include "App/FolderBrowser/VKOperationProgressView.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/ButtonAdditions.h"
#include "Shell/Interface/InterfaceColors.h"
#include "App/FolderBrowser/VKFolderBrowserServices.h"
#include "FileModel/VKQuotaManager.h"
#include "HTTP/HTTPServer.h"
#include "Kit/NetReachability.h"

#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Toolbar.h"

#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"

#include <algorithm>
#include <cmath>

VKFolderControllerBase::VKFolderControllerBase(ui::TableView::Style style)
    : ui::TableViewController(style)
{
    // The observers run on the posting thread, maybe a worker, before the
    // screen is owned or while it is being destroyed: they only hand the
    // news to the main thread, where deliver() finds the screen if it
    // still lives.
    auto& center = core::NotificationCenter::defaultCenter();
    auto observe = [&](const char* name, std::function<void(VKFolderControllerBase&, const core::Notification&)> handler) {
        m_observations.push_back(center.observe(name, nullptr, [this, handler](const core::Notification& notification) {
            deliver([handler, notification](VKFolderControllerBase& self) { handler(self, notification); });
        }));
    };
    observe(VKFolderControllerOperationDidStartNotification,
        [](VKFolderControllerBase& self, const core::Notification&) { self.backgroundOperationDidStart(); });
    observe(VKFolderControllerOperationDidEndNotification,
        [](VKFolderControllerBase& self, const core::Notification&) { self.backgroundOperationDidEnd(); });
    observe(VKFolderControllerOperationProgressNotification,
        [](VKFolderControllerBase& self, const core::Notification& notification) {
            const core::Value& progress = notification.userInfo()["progress"];
            self.backgroundOperationProgressDidUpdate(progress.isNumber() ? float(progress.toReal()) : 0.0f);
        });
    for (const char* name : { NetReachability::DidUpdateNotification, HTTPServer::StatusDidChangeNotification })
        observe(name, [](VKFolderControllerBase& self, const core::Notification& notification) {
            self.networkOrServerStatusDidChange(&notification);
        });
    if (auto quota = VKQuotaManager::defaultManager())
        m_observations.push_back(quota->observeRebuildingIndex([this](const bool&, const bool&) {
            deliver([](VKFolderControllerBase& self) { self.networkOrServerStatusDidChange(nullptr); });
        }));
}

void VKFolderControllerBase::setServices(std::weak_ptr<VKFolderBrowserServices> services)
{
    m_services = std::move(services);
    if (auto* label = folderInfoLabel())
        label->setServerState(m_services);
}

bool VKFolderControllerBase::isGuest() const
{
    auto services = m_services.lock();
    return services && services->browserIsGuest();
}

VKFolderControllerBase::~VKFolderControllerBase()
{
    // Closed first: a worker's post waits for nothing of the screen after.
    m_observations.clear();
}

// ---- One screen ----------------------------------------------------------

namespace {

// The services of the screen behind `screen`, while it lives.
std::shared_ptr<VKFolderBrowserServices> servicesOf(const std::weak_ptr<core::Object>& screen)
{
    auto owner = std::static_pointer_cast<VKFolderControllerBase>(screen.lock());
    return owner ? owner->services() : nullptr;
}

// A button that shows `image` and sends `action` to the application
// through the services of `screen` when touched up inside.
std::shared_ptr<ui::BarButtonItem> servicesButtonItem(const std::shared_ptr<gfx::Image>& image, const char* action,
    std::weak_ptr<core::Object> screen, std::function<void(VKFolderBrowserServices&, const std::shared_ptr<core::Object>&)> send)
{
    auto button = buttonWithImage(image);
    button->setShowsTouchWhenHighlighted(true);
    button->addTarget(nullptr, action, [screen = std::move(screen), send](ui::Control& control, const ui::Event*) {
        if (auto services = servicesOf(screen))
            send(*services, control.shared_from_this());
    }, ui::Control::TouchUpInside);
    return barButtonItemWithCustomView(button);
}

} // namespace

void VKFolderControllerBase::deliver(std::function<void(VKFolderControllerBase&)> handler)
{
    std::weak_ptr<int> alive = m_lifetime;
    auto run = [this, alive, handler = std::move(handler)] {
        if (alive.expired())
            return;
        auto keep = weak_from_this().lock();
        if (keep)
            handler(*this);
    };
    if (core::Thread::isMainThread())
        run();
    else
        core::performOnMainThread(std::move(run));
}

void VKFolderControllerBase::setEditingToolbarItems(std::vector<std::shared_ptr<ui::BarButtonItem>> items)
{
    m_editingToolbarItems = std::move(items);
}

void VKFolderControllerBase::viewDidLoad()
{
    ui::TableViewController::viewDidLoad();
    updateToolbarItems();
    updateEditButton();
}

void VKFolderControllerBase::viewDidUnload()
{
    ui::TableViewController::viewDidUnload();
    m_serverStateItem.reset();
    m_folderInfoItem.reset();
    m_progressItem.reset();
    m_progressItemRun = VKBrowserOperation::NoRun;
    m_editingToolbarItems.clear();
}

void VKFolderControllerBase::viewWillAppear(bool animated)
{
    ui::TableViewController::viewWillAppear(animated);
    bool showsRunningOperation = m_progressItem && m_progressItemRun == VKBrowserOperation::currentRun();
    if (!isEditing() && showsRunningOperation != VKBrowserOperation::isOperationInProgress())
        updateToolbarItems();
    updateToolbarItemsAppearanceForCurrentOrientation();
    updateEditButton();

    if (auto delegate = services())
        delegate->setOrientationLocked(false);
    if (auto* application = ui::Application::shared()) {
        application->setStatusBarHidden(false, ui::Application::StatusBarAnimation::None);
        application->setStatusBarStyle(ui::Application::StatusBarStyle::Default, animated);
    }
    auto* navigation = navigationController();
    if (!navigation)
        return;
    navigation->setToolbarHidden(false, animated);
    auto delegate = services();
    auto tint = delegate ? delegate->browserBarTint() : std::nullopt;
    auto& bar = navigation->navigationBar();
    bar.setBarStyle(ui::NavigationBar::Style::Default);
    bar.setTintColor(tint);
    bar.setTranslucent(false);
    auto& toolbar = navigation->toolbar();
    toolbar.setBarStyle(ui::NavigationBar::Style::Default);
    toolbar.setTintColor(tint);
    toolbar.setTranslucent(false);
}

bool VKFolderControllerBase::shouldAutorotate(ui::Orientation orientation)
{
    ui::ViewController* presented = modalViewController();
    if (!presented)
        if (auto* navigation = navigationController())
            presented = navigation->modalViewController();
    return presented ? presented->shouldAutorotate(orientation) : true;
}

void VKFolderControllerBase::didRotate(ui::Orientation fromOrientation)
{
    ui::TableViewController::didRotate(fromOrientation);
    updateToolbarItemsAppearanceForCurrentOrientation();
}

// ---- The edit button -------------------------------------------------------

void VKFolderControllerBase::updateEditButton()
{
    if (isGuest()) {
        navigationItem().setRightBarButtonItem(nullptr, true);
        return;
    }
    navigationItem().setRightBarButtonItem(editButtonItem(), true);
}

std::shared_ptr<ui::BarButtonItem> VKFolderControllerBase::editButtonItem()
{
    std::weak_ptr<core::Object> weak = weak_from_this();
    auto target = weak.lock();
    auto send = [weak](void (VKFolderControllerBase::*action)(const std::shared_ptr<core::Object>&)) {
        return [weak, action](ui::BarButtonItem& item) {
            if (auto self = std::dynamic_pointer_cast<VKFolderControllerBase>(weak.lock()))
                ((*self).*action)(item.shared_from_this());
        };
    };
    if (VKBrowserOperation::isOperationInProgress()) {
        auto item = barButtonItemWithTitle(core::localized("Cancel"), ui::BarButtonItem::Style::Done, target,
            CancelCurrentOperationAction, send(&VKFolderControllerBase::cancelCurrentOperation));
        item->setEnabled(VKBrowserOperation::canCancelCurrentOperation());
        return item;
    }
    if (isEditing())
        return barButtonItemWithTitle(core::localized("Done"), ui::BarButtonItem::Style::Done, target,
            ToggleEditingAction, send(&VKFolderControllerBase::toggleEditing));
    return barButtonSystemItem(ui::BarButtonItem::SystemItem::Action, target, ToggleEditingAction,
        send(&VKFolderControllerBase::toggleEditing));
}

void VKFolderControllerBase::toggleEditing(const std::shared_ptr<core::Object>&)
{
    setEditing(!isEditing(), true);
    updateEditButton();
}

void VKFolderControllerBase::cancelCurrentOperation(const std::shared_ptr<core::Object>&)
{
    VKBrowserOperation::cancelOperation();
}

std::shared_ptr<ui::BarButtonItem> VKFolderControllerBase::findBarButtonItemWithAction(std::string_view action) const
{
    if (action.empty())
        return nullptr;
    for (const auto& item : isEditing() ? m_editingToolbarItems : toolbarItems())
        if (auto found = item ? findAction(*item) : std::nullopt; found && *found == action)
            return item;
    return nullptr;
}

// ---- The toolbar -----------------------------------------------------------

void VKFolderControllerBase::updateToolbarItems()
{
    if (!VKBrowserOperation::isOperationInProgress() || m_progressItemRun != VKBrowserOperation::currentRun()) {
        m_progressItem.reset();
        m_progressItemRun = VKBrowserOperation::NoRun;
    }
    updateServerStateImage();
}

void VKFolderControllerBase::networkOrServerStatusDidChange(const core::Notification*)
{
    updateServerStateImage();
}

void VKFolderControllerBase::updateServerStateImage()
{
    auto* button = serverStateButton();
    if (!button)
        return;
    const char* name = "HTTPServerStopped.png";
    if (core::UserDefaults::standard()->boolForKey("VKServerEnabled")) {
        auto delegate = services();
        auto reachability = delegate ? delegate->netReachability() : nullptr;
        auto quota = VKQuotaManager::defaultManager();
        bool active = reachability && reachability->isReachableUsingWifi() && NetReachability::getWifiIPAddress()
            && !(quota && quota->rebuildingIndex());
        name = active ? "HTTPServerActive.png" : "HTTPServerPaused.png";
    }
    button->setImage(ui::Images::imageNamed(name), ui::Control::Normal);
}

void VKFolderControllerBase::applyAppearance(ui::Label& label) const
{
    if (shouldUseDarkControlStyle()) {
        label.setTextColor(iPadBarButtonItemDarkTextColor());
        label.setShadowColor(iPadBarButtonItemDarkTextShadowColor());
    } else {
        label.setTextColor(gfx::Color::white(1));
        label.setShadowColor(whiteTextShadowColor());
    }
}

void VKFolderControllerBase::updateToolbarItemsAppearanceForCurrentOrientation()
{
    if (auto* label = folderInfoLabel())
        applyAppearance(*label);
    if (auto* view = operationProgressView())
        applyAppearance(view->label());
}

// ---- The operation's news --------------------------------------------------

void VKFolderControllerBase::backgroundOperationDidStart()
{
    auto* navigation = navigationController();
    if (!navigation || navigation->topViewController() != this)
        return;
    updateToolbarItems();
    updateEditButton();
}

void VKFolderControllerBase::backgroundOperationProgressDidUpdate(float progress)
{
    auto* view = operationProgressView();
    if (!view)
        return;
    if (view->isIndeterminate() != VKBrowserOperation::isOperationIndeterminate()) {
        m_progressItem.reset();
        m_progressItemRun = VKBrowserOperation::NoRun;
        updateToolbarItems();
        return;
    }
    if (!view->isIndeterminate())
        view->setProgress(std::isnan(progress) ? 0.0f : std::clamp(progress, 0.0f, 1.0f));
}

void VKFolderControllerBase::backgroundOperationDidEnd()
{
    if (!m_progressItem || (VKBrowserOperation::isOperationInProgress() && m_progressItemRun == VKBrowserOperation::currentRun()))
        return;
    updateEditButton();
    std::weak_ptr<int> alive = m_lifetime;
    std::weak_ptr<core::Object> weak = weak_from_this();
    core::performOnMainThread([alive, weak] {
        auto self = std::dynamic_pointer_cast<VKFolderControllerBase>(weak.lock());
        if (self && !alive.expired())
            self->updateToolbarItems();
    });
}

// ---- The items -------------------------------------------------------------

std::shared_ptr<ui::BarButtonItem> VKFolderControllerBase::operationProgressViewBarButtonItem()
{
    if (!m_progressItem) {
        int style = 1;
        if (VKBrowserOperation::isOperationIndeterminate())
            style = shouldUseDarkControlStyle() ? 3 : 2;
        gfx::Size size = VKOperationProgressView::standardSizeForToolbarItem();
        auto view = VKOperationProgressView::create(style, { 0, 0, size.width, size.height });
        view->setText(VKBrowserOperation::operationLabel());
        // A label somewhat longer than the standard width ("Expanding
        // Archive.zip" beside the spinner) widens the item rather than
        // being cut; a longer one is cut at the widest.
        float width = std::max(size.width, view->sizeThatFits({ MaximumProgressItemWidth, size.height }).width);
        view->setFrame({ 0, 0, width, size.height });
        applyAppearance(view->label());
        m_progressItem = barButtonItemWithCustomView(view);
        m_progressItemRun = VKBrowserOperation::currentRun();
    }
    if (auto* view = operationProgressView(); view && !view->isIndeterminate())
        view->setProgress(VKBrowserOperation::operationProgress());
    return m_progressItem;
}

VKOperationProgressView* VKFolderControllerBase::operationProgressView() const
{
    return m_progressItem ? dynamic_cast<VKOperationProgressView*>(m_progressItem->customView().get()) : nullptr;
}

std::shared_ptr<gfx::Image> VKFolderControllerBase::settingsBarButtonImage() const
{
    return ui::Images::imageNamed(shouldUseDarkControlStyle() ? "VKButtonBarSettingsDark.png" : "VKButtonBarSettings.png");
}

std::shared_ptr<gfx::Image> VKFolderControllerBase::helpBarButtonImage() const
{
    return ui::Images::imageNamed(shouldUseDarkControlStyle() ? "VKButtonBarHelpDark.png" : "VKButtonBarHelp.png");
}

std::shared_ptr<ui::BarButtonItem> VKFolderControllerBase::settingsBarButtonItem()
{
    return servicesButtonItem(settingsBarButtonImage(), ShowSettingsAction, weak_from_this(),
        [](VKFolderBrowserServices& delegate, const std::shared_ptr<core::Object>& sender) { delegate.browserShowSettings(sender); });
}

std::shared_ptr<ui::BarButtonItem> VKFolderControllerBase::helpBarButtonItem()
{
    return servicesButtonItem(helpBarButtonImage(), ShowHelpAction, weak_from_this(),
        [](VKFolderBrowserServices& delegate, const std::shared_ptr<core::Object>& sender) { delegate.browserShowHelp(sender); });
}

std::shared_ptr<ui::BarButtonItem> VKFolderControllerBase::serverStateBarButtonItem()
{
    if (!m_serverStateItem) {
        auto button = ui::Button::create(ui::Button::Type::Custom,
            { 0, 0, ServerStateButtonSize, ServerStateButtonSize });
        button->addTarget(nullptr, ShowServerInfoAction, [screen = weak_from_this()](ui::Control& control, const ui::Event*) {
            if (auto services = servicesOf(screen))
                services->browserShowServerInfo(control.shared_from_this());
        }, ui::Control::TouchUpInside);
        m_serverStateItem = barButtonItemWithCustomView(button);
        updateServerStateImage();
    }
    return m_serverStateItem;
}

ui::Button* VKFolderControllerBase::serverStateButton() const
{
    return m_serverStateItem ? dynamic_cast<ui::Button*>(m_serverStateItem->customView().get()) : nullptr;
}

std::shared_ptr<ui::BarButtonItem> VKFolderControllerBase::folderInfoBarButtonItem()
{
    if (!m_folderInfoItem) {
        auto label = VKFolderInfoLabel::create({ 0, 0, 100, 20 });
        label->setServerState(m_services);
        label->setBackgroundColor(gfx::Color());
        label->setShadowOffset({ 0, 1 });
        applyAppearance(*label);
        m_folderInfoItem = barButtonItemWithCustomView(label);
    }
    return m_folderInfoItem;
}

VKFolderInfoLabel* VKFolderControllerBase::folderInfoLabel() const
{
    return m_folderInfoItem ? dynamic_cast<VKFolderInfoLabel*>(m_folderInfoItem->customView().get()) : nullptr;
}

bool VKFolderControllerBase::isRootViewController() const
{
    auto* navigation = navigationController();
    return navigation && !navigation->viewControllers().empty() && navigation->viewControllers().front().get() == this;
}
