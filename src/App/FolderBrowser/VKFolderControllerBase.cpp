#include "App/FolderBrowser/VKFolderControllerBase.h"

#include "Shell/Interface/BarButtonItemAdditions.h"
#include "App/FolderBrowser/VKFolderBrowserServices.h"

#include "Platform/UI/Application.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/Toolbar.h"

#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"

#include <algorithm>

VKFolderControllerBase::VKFolderControllerBase(ui::TableView::Style style)
    : ui::TableViewController(style)
    , m_barItems([this] { return shouldUseDarkControlStyle(); })
    , m_news(*this, {
          .operationStarted = [this] { backgroundOperationDidStart(); },
          .operationEnded = [this] { backgroundOperationDidEnd(); },
          .operationProgressed = [this](float progress) { backgroundOperationProgressDidUpdate(progress); },
          .statusChanged = [this](const core::Notification* notification) { networkOrServerStatusDidChange(notification); },
      })
{
}

void VKFolderControllerBase::setServices(std::weak_ptr<VKFolderBrowserServices> services)
{
    m_services = services;
    m_barItems.setServices(std::move(services));
}

bool VKFolderControllerBase::isGuest() const
{
    auto services = m_services.lock();
    return services && services->browserIsGuest();
}

VKFolderControllerBase::~VKFolderControllerBase() = default;

void VKFolderControllerBase::setEditingToolbarItems(std::vector<std::shared_ptr<ui::BarButtonItem>> items)
{
    m_editingToolbarItems = std::move(items);
}

void VKFolderControllerBase::viewDidLoad()
{
    ui::TableViewController::viewDidLoad();
    // A list is white to its end: the grey window must not show under the
    // last row, nor fill an empty folder.
    if (tableView().style() == ui::TableView::Style::Plain && tableView().backgroundColor().alpha() == 0)
        tableView().setBackgroundColor(ui::StandardColors::white());
    updateToolbarItems();
    updateEditButton();
}

void VKFolderControllerBase::viewDidUnload()
{
    ui::TableViewController::viewDidUnload();
    m_barItems.reset();
    m_editingToolbarItems.clear();
}

void VKFolderControllerBase::viewWillAppear(bool animated)
{
    ui::TableViewController::viewWillAppear(animated);
    if (!isEditing() && m_barItems.showsCurrentRun() != VKBrowserOperation::isOperationInProgress())
        updateToolbarItems();
    m_barItems.updateAppearance();
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
    m_barItems.updateAppearance();
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
    auto edit = barButtonSystemItem(ui::BarButtonItem::SystemItem::Action, target, ToggleEditingAction,
        send(&VKFolderControllerBase::toggleEditing));
    edit->setToolTip(core::localized("Edit"));
    return edit;
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
    m_barItems.forgetStaleProgress();
    m_barItems.updateServerStateImage();
}

void VKFolderControllerBase::networkOrServerStatusDidChange(const core::Notification*)
{
    m_barItems.updateServerStateImage();
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
    if (!m_barItems.showProgress(progress))
        updateToolbarItems();
}

void VKFolderControllerBase::backgroundOperationDidEnd()
{
    if (!m_barItems.hasProgressItem() || (VKBrowserOperation::isOperationInProgress() && m_barItems.showsCurrentRun()))
        return;
    updateEditButton();
    m_news.deliver([this] { updateToolbarItems(); }, true);
}

bool VKFolderControllerBase::isRootViewController() const
{
    auto* navigation = navigationController();
    return navigation && !navigation->viewControllers().empty() && navigation->viewControllers().front().get() == this;
}
