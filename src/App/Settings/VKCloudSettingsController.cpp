#include "App/Settings/VKCloudSettingsController.h"

#include "App/Settings/VKCloudAccountSettingsController.h"
#include "Shell/Settings/VKSubviewCell.h"
#include "Shell/Settings/VKSwitchCell.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServiceAccount.h"
#include "Cloud/VKCloudServicesManager.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableView.h"

#include <fmt/format.h>

std::shared_ptr<VKCloudSettingsController> VKCloudSettingsController::cloudSettingsController()
{
    auto page = std::make_shared<VKCloudSettingsController>();
    page->observe();
    return page;
}

VKCloudSettingsController::VKCloudSettingsController()
{
    setTitle(core::localized("Cloud Servers", "Settings"));
}

void VKCloudSettingsController::observe()
{
    std::weak_ptr<VKCloudSettingsController> weak = std::static_pointer_cast<VKCloudSettingsController>(shared_from_this());
    m_observations.push_back(core::UserDefaults::standard()->observe(VKHideCloudServersKey, [weak](const core::Value&) {
        // Any thread may write the key; the page follows on the main one.
        core::RunLoop::main().post(weak, [](VKCloudSettingsController& page) {
            page.hideCloudServersDidChange();
        });
    }));
}

std::string VKCloudSettingsController::statusText()
{
    if (core::UserDefaults::standard()->boolForKey(VKHideCloudServersKey))
        return core::localized("Hidden", "Settings");
    size_t linked = VKCloudServicesManager::sharedManager()->linkedServiceKeys().size();
    if (linked == 0)
        return {};
    if (linked == 1)
        return core::localized("1 Linked", "Settings");
    return fmt::format(fmt::runtime(core::localized("{} Linked", "Settings")), linked);
}

void VKCloudSettingsController::loadTableGroups()
{
    setTableGroups(makeTableGroups());
}

VKSettingsGroups VKCloudSettingsController::makeTableGroups()
{
    auto displayServers = VKSwitchCell::initWithLabel(core::localized("Display Servers", "Settings"), VKHideCloudServersKey);
    displayServers->setNegateValue(true);
    VKSettingsGroups groups { { displayServers } };
    if (!core::UserDefaults::standard()->boolForKey(VKHideCloudServersKey)) {
        Group services;
        for (const auto& key : VKCloudServicesManager::sharedManager()->registeredServiceKeys())
            services.push_back(VKSubviewCell::initWithLabel(key, VKCloudAccountSettingsController::initWithServiceKey(key)));
        if (!services.empty())
            groups.push_back(std::move(services));
    }
    return groups;
}

void VKCloudSettingsController::hideCloudServersDidChange()
{
    if (!isViewLoaded()) {
        // The groups are built when the view loads.
        return;
    }
    // The counts are compared rather than assumed: without a registered
    // service there is no section to fade in.
    size_t before = tableGroups().size();
    setTableGroups(makeTableGroups(), false);
    size_t after = tableGroups().size();
    auto& table = tableView();
    if (after == before) {
        table.reloadData();
        return;
    }
    table.beginUpdates();
    if (after < before)
        table.deleteSections({ 1 }, ui::TableView::RowAnimation::Fade);
    else
        table.insertSections({ 1 }, ui::TableView::RowAnimation::Fade);
    table.endUpdates();
    // A grouped section faded out leaves its rounded frame behind until the
    // table lays its sections out afresh.
    core::RunLoop::main().performAfter(sharedAs<VKCloudSettingsController>(), ui::TableView::RowAnimationDuration, [](VKCloudSettingsController& page) {
        if (page.isViewLoaded())
            page.tableView().reloadData();
    });
}

void VKCloudSettingsController::didSelectRow(ui::TableView& table, ui::IndexPath path)
{
    table.deselectRow(path, true);
    auto* cell = dynamic_cast<VKSubviewCell*>(cellAt(path));
    auto page = cell ? std::dynamic_pointer_cast<VKCloudAccountSettingsController>(cell->subviewController()) : nullptr;
    auto* navigation = navigationController();
    if (!page || !navigation)
        return;
    auto service = page->cloudService();
    auto account = page->account();
    if (!service || !account)
        return;
    if (service->isLinked()) {
        // The same button as this page's: a bar item draws in one bar at a
        // time, so the page gets its own that does what this one does.
        if (const auto& shared = navigationItem().rightBarButtonItem()) {
            auto item = shared->customView() ? shared : ui::BarButtonItem::create(shared->title(), shared->style());
            if (item != shared) {
                item->addTarget(page, "sendActions", [weak = std::weak_ptr<ui::BarButtonItem>(shared)](ui::BarButtonItem&) {
                    if (auto original = weak.lock())
                        original->sendActions();
                });
            }
            page->navigationItem().setRightBarButtonItem(item);
        }
        page->presentUsingNavigationController(*navigation, true);
        return;
    }
    if (auto login = account->loginViewController())
        navigation->pushViewController(login, true);
}
