#include "App/FolderBrowser/VKRootFolderController.h"

#include "App/FolderBrowser/VKFolderController.h"
#include "App/FolderBrowser/VKFolderInfoLabel.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServiceAccount.h"
#include "Cloud/VKCloudServicesManager.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableViewCell.h"

#include <algorithm>

namespace {

constexpr const char* HideCloudServersKey = "VKHideCloudServers";

} // namespace

std::shared_ptr<VKRootFolderController> VKRootFolderController::create(std::vector<std::string> localDirectories)
{
    auto controller = std::make_shared<VKRootFolderController>(std::move(localDirectories));
    controller->startObserving();
    return controller;
}

VKRootFolderController::VKRootFolderController(std::vector<std::string> localDirectories)
    : VKFolderControllerBase(ui::TableView::Style::Plain)
    , m_dataSource(VKRootFolderDataSource::create(std::move(localDirectories), listedCloudServiceKeys()))
{
    // The product's name, the same in every language.
    setTitle("Tandry");
}

std::vector<std::string> VKRootFolderController::listedCloudServiceKeys()
{
    if (core::UserDefaults::standard()->boolForKey(HideCloudServersKey))
        return {};
    return VKCloudServicesManager::sharedManager()->registeredServiceKeys();
}

void VKRootFolderController::startObserving()
{
    std::weak_ptr<VKRootFolderController> weak = std::static_pointer_cast<VKRootFolderController>(shared_from_this());
    m_observations.push_back(core::UserDefaults::standard()->observe(HideCloudServersKey, [weak](const core::Value&) {
        // Settings may change on any thread; the list follows on the main one.
        core::RunLoop::main().post(weak, [](VKRootFolderController& controller) {
            controller.hideCloudServersDidChange();
        });
    }));
    m_observations.push_back(core::NotificationCenter::defaultCenter().observe(VKCloudServiceAccountDidLoginNotification,
        nullptr, [weak](const core::Notification& notification) {
            if (auto controller = weak.lock())
                controller->cloudServiceAccountDidLogin(notification);
        }));
}

void VKRootFolderController::setLocalDirectories(std::vector<std::string> directories)
{
    m_dataSource->setLocalDirectories(std::move(directories));
    if (isViewLoaded())
        tableView().reloadData();
}

void VKRootFolderController::viewDidLoad()
{
    VKFolderControllerBase::viewDidLoad();
    tableView().setDataSource(m_dataSource);
    navigationItem().setLeftBarButtonItem(barItems().helpItem());
}

void VKRootFolderController::updateToolbarItems()
{
    VKFolderControllerBase::updateToolbarItems();
    if (!toolbarItems().empty())
        return;
    auto info = barItems().folderInfoItem();
    if (auto* label = folderInfoLabel()) {
        label->setState(3);
        label->setTouchesCycleState(false);
    }
    bool guest = isGuest();
    setToolbarItems({ barItems().serverStateItem(), flexibleSpaceBarButtonItem(), info, flexibleSpaceBarButtonItem(),
        guest ? fixedSpaceBarButtonItemWithWidth(32) : barItems().settingsItem() });
}

std::shared_ptr<gfx::Image> VKRootFolderController::iconForCloudServiceName(const std::string& name)
{
    // The name comes from the service: one plain file name, or no icon.
    if (name.empty() || name.find('/') != std::string::npos || name.find('\0') != std::string::npos
        || name.find("..") != std::string::npos)
        return nullptr;
    return ui::Images::imageNamed(name + "Icon.png");
}

void VKRootFolderController::willDisplayCell(ui::TableView&, ui::TableViewCell& cell, ui::IndexPath path)
{
    if (m_dataSource->isLocalIndexPath(path)) {
        const auto& directories = m_dataSource->localDirectories();
        if (path.row < 0 || size_t(path.row) >= directories.size())
            return;
        auto application = VKApplication::sharedApplication();
        std::string directory = core::path::standardizingPath(directories[size_t(path.row)]);
        const char* image = "Folder-32.png";
        if (directory == core::path::standardizingPath(application->documentsDirectory()))
            image = "DocumentFolder-32.png";
        else if (directory == core::path::standardizingPath(application->publicDirectory()))
            image = "PublicFolder-32.png";
        cell.imageView().setImage(ui::Images::imageNamed(image));
        return;
    }
    if (auto service = m_dataSource->cloudServiceForIndexPath(path)) {
        if (auto icon = iconForCloudServiceName(service->name()))
            cell.imageView().setImage(icon);
    }
}

void VKRootFolderController::didSelectRow(ui::TableView& table, ui::IndexPath path)
{
    auto service = m_dataSource->cloudServiceForIndexPath(path);
    if (service && !service->isLinked()) {
        auto account = service->account();
        auto login = account ? account->loginViewController() : nullptr;
        if (login) {
            auto navigation = VKNavigationController::create(login);
            navigation->setModalPresentationStyle(ui::ViewController::PresentationStyle::FormSheet);
            presentModalViewController(navigation, true);
        }
        table.deselectRow(path, false);
        return;
    }
    auto resource = m_dataSource->resourceForIndexPath(path);
    if (!resource) {
        table.deselectRow(path, false);
        return;
    }
    if (auto* navigation = navigationController())
        navigation->pushViewController(VKFolderController::folderControllerWithResource(resource, services()), true);
}

void VKRootFolderController::cloudServiceAccountDidLogin(const core::Notification& notification)
{
    auto account = std::dynamic_pointer_cast<VKCloudServiceAccount>(notification.object());
    auto service = account ? account->associatedCloudService() : nullptr;
    if (!service)
        return;
    auto resource = VKCloudFileResource::resourceWithPath(service->localPath());
    auto* navigation = navigationController();
    if (!resource || !navigation)
        return;
    navigation->popToRootViewController(false);
    navigation->pushViewController(VKFolderController::folderControllerWithResource(resource, services()), true);
}

void VKRootFolderController::hideCloudServersDidChange()
{
    auto keys = listedCloudServiceKeys();
    if (keys == m_dataSource->cloudServiceKeys())
        return;
    if (!isViewLoaded()) {
        m_dataSource->setCloudServiceKeys(std::move(keys));
        return;
    }
    // The sections are compared before and after rather than assumed: with
    // no local roots, or no services, the services' section is section 0 or
    // none at all.
    auto& table = tableView();
    std::optional<int> before = m_dataSource->cloudServiceSection();
    m_dataSource->setCloudServiceKeys(std::move(keys));
    std::optional<int> after = m_dataSource->cloudServiceSection();
    if (before.has_value() == after.has_value()) {
        table.reloadData();
        return;
    }
    table.beginUpdates();
    if (before)
        table.deleteSections({ *before }, ui::TableView::RowAnimation::Fade);
    else
        table.insertSections({ *after }, ui::TableView::RowAnimation::Fade);
    table.endUpdates();
}
