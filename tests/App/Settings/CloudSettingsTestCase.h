#pragma once

// The cloud pages' tests: the settings fixture with the fake cloud service
// running before the program launches, so that the program's own service
// ("Dropbox") talks to it, linked or not; the cloud registry, the mirror
// store and the shared session are forgotten afterwards.

#include "SettingsTestCase.h"

#include "Shell/Settings/VKSubviewCell.h"
#include "Shell/Settings/VKSwitchCell.h"
#include "Shell/VKNavigationController.h"
#include "Platform/UI/Label.h"

#include "App/FolderBrowser/VKRootFolderController.h"
#include "App/Settings/VKCloudAccountSettingsController.h"
#include "Shell/VKApplication.h"
#include "DropboxSDK/UI/DBLoginController.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "DropboxSDK/DBSession.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/TableView.h"
#include "Support/DropboxSDK/FakeCloudServer.h"

#include <memory>
#include <optional>
#include <string>

namespace test {

class CloudSettingsTestCase : public SettingsTestCase {
protected:
    virtual FakeCloudServer::Options serverOptions() const { return {}; }

    void launchWithCloud(bool linked, const DeviceScreen& device = phoneScreen)
    {
        VKCloudServicesManager::resetForTesting();
        cloud = std::make_unique<FakeCloudServer>(serverOptions());
        ASSERT_TRUE(cloud->isRunning());
        // The saved token is what the service's own session takes back.
        auto session = cloud->linkSession();
        if (!linked)
            session->unlink();
        launch(device);
        ASSERT_TRUE(dropbox());
        ASSERT_EQ(dropbox()->isLinked(), linked);
        if (linked) {
            auto store = VKCloudFileStore::sharedStore();
            if (!store->managedObjectForPath(dropbox()->localPath())) {
                auto root = store->insertObjectForPath(dropbox()->localPath());
                ASSERT_TRUE(root);
                root->setIsDirectory(true);
                ASSERT_TRUE(store->saveContext());
            }
        }
    }

    void TearDown() override
    {
        SettingsTestCase::TearDown();
        core::Thread::waitForAll(10);
        core::RunLoop::main().runUntilIdle();
        VKCloudServicesManager::resetForTesting();
        VKCloudFileStore::resetForTesting();
        DBSession::setSharedSession(nullptr);
        cloud.reset();
    }

    std::shared_ptr<VKCloudService> dropbox() const
    {
        return VKCloudServicesManager::sharedManager()->cloudServiceForRegisteredKey("Dropbox");
    }
    // Settings → Cloud Servers.
    void openCloudServers()
    {
        openSettings();
        tapRow("Cloud Servers");
    }
    VKCloudAccountSettingsController* accountPage() const
    {
        return dynamic_cast<VKCloudAccountSettingsController*>(&topPage());
    }
    // Pumps until the condition holds (20 s at most), then lets
    // animations end.
    bool waitFor(const std::function<bool()>& condition)
    {
        bool done = core::RunLoop::main().runUntil(condition, 20);
        advance(1);
        return done;
    }
    bool spinning(ui::TableViewCell* cell) const
    {
        return cell && cell->contentView().viewWithTag(VKCloudAccountSettingsController::SpinnerTag);
    }
    std::string value(ui::TableViewCell* cell) const
    {
        return cell && cell->detailTextLabel() ? cell->detailTextLabel()->text() : "<none>";
    }
    size_t count(std::string_view path) const
    {
        size_t n = 0;
        for (const auto& request : cloud->requests())
            n += request.pathOnly() == path;
        return n;
    }

    // The real root list on the browser's stack, its service row tapped:
    // the login form it presents.
    DBLoginController* openLoginFromRootList(const test::DeviceScreen& device)
    {
        launchWithCloud(false, device);
        root = VKRootFolderController::create({ VKApplication::sharedApplication()->documentsDirectory() });
        root->setServices(delegate);
        browser->setViewControllers({ root }, false);
        runLoop();
        auto& table = root->tableView();
        std::optional<ui::IndexPath> row;
        for (int section = 0; section < table.numberOfSections() && !row; ++section)
            for (int item = 0; item < table.numberOfRows(section) && !row; ++item) {
                driver.scrollToRow(table, { section, item });
                if (auto* cell = table.cellForRow({ section, item }); cell && cell->debugText() == "Dropbox")
                    row = ui::IndexPath { section, item };
            }
        if (!row)
            return nullptr;
        driver.tapRow(table, *row);
        advance(1);
        auto* sheet = dynamic_cast<ui::NavigationController*>(browser->modalViewController());
        return sheet ? dynamic_cast<DBLoginController*>(sheet->topViewController()) : nullptr;
    }
    std::unique_ptr<FakeCloudServer> cloud;
    std::shared_ptr<VKRootFolderController> root;
};

} // namespace test
