#pragma once

#include "App/FolderBrowser/VKFolderControllerBase.h"
#include "App/FolderBrowser/VKRootFolderDataSource.h"

#include <memory>
#include <string>
#include <vector>

namespace core {
class Notification;
}

// The first screen of the browser outside guest mode: the local document
// folders and, unless the user hides them ("VKHideCloudServers"), the cloud
// services. A tap opens the folder, or the login form of a service that is
// not linked; a login that completes anywhere lands in the service's folder.
class VKRootFolderController : public VKFolderControllerBase {
public:
    static std::shared_ptr<VKRootFolderController> create(std::vector<std::string> localDirectories);
    explicit VKRootFolderController(std::vector<std::string> localDirectories);

    const std::shared_ptr<VKRootFolderDataSource>& dataSource() const { return m_dataSource; }
    // Reloads the table when it is loaded.
    void setLocalDirectories(std::vector<std::string> directories);

    void viewDidLoad() override;
    // The root list has no edit button.
    std::shared_ptr<ui::BarButtonItem> editButtonItem() override { return nullptr; }
    // Built once: server, space, both addresses, space, settings (a guest
    // gets a fixed space in its place).
    void updateToolbarItems() override;

    void willDisplayCell(ui::TableView& table, ui::TableViewCell& cell, ui::IndexPath path) override;
    void didSelectRow(ui::TableView& table, ui::IndexPath path) override;

    void cloudServiceAccountDidLogin(const core::Notification& notification);
    // Fades the services' section out or in as the setting asks, in one
    // batch update of exactly the sections that went or came.
    void hideCloudServersDidChange();

    // The icon of a service row: "<name>Icon.png" when the bundle has it.
    static std::shared_ptr<gfx::Image> iconForCloudServiceName(const std::string& name);

private:
    void startObserving();
    static std::vector<std::string> listedCloudServiceKeys();

    std::shared_ptr<VKRootFolderDataSource> m_dataSource;
    std::vector<core::Observation> m_observations;
};
