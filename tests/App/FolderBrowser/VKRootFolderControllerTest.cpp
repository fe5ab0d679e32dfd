// The root list: its sections and rows, the screen's bars and icons, what a
// tap opens, a completed login, and the servers' section hidden and shown
// in one batch whatever the sections were.

#include "RootFolderTestCase.h"

#include "App/FolderBrowser/VKFolderController.h"
#include "App/FolderBrowser/VKFolderInfoLabel.h"
#include "App/FolderBrowser/VKRootFolderController.h"
#include "App/FolderBrowser/VKRootFolderDataSource.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/VKApplication.h"
#include "Platform/Core/Device.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudServiceAccount.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewCell.h"
#include "Platform/UI/Window.h"
#include "Support/Cloud/TestCloudServiceAccount.h"

#include <gtest/gtest.h>

namespace {

class VKRootFolderControllerTest : public test::RootFolderTestCase {
protected:
    std::vector<std::string> roots() const { return { documents(), publicFolder() }; }
    std::shared_ptr<VKRootFolderController> showRoot(std::vector<std::string> directories)
    {
        root = VKRootFolderController::create(std::move(directories));
        root->setServices(delegate);
        navigation = VKNavigationController::create(root);
        delegate->setNavigationController(navigation);
        window().setRootViewController(navigation);
        runLoop();
        return root;
    }
    ui::TableView& table() { return root->tableView(); }
    std::vector<std::string> headers()
    {
        std::vector<std::string> result;
        for (int section = 0; section < table().numberOfSections(); ++section)
            result.push_back(root->dataSource()->titleForHeader(table(), section).value_or("(none)"));
        return result;
    }
    static void hideServers(bool hidden)
    {
        core::UserDefaults::standard()->set("VKHideCloudServers", core::Value(hidden));
        runLoop();
    }
    static std::shared_ptr<gfx::Image> image(const char* name) { return ui::Images::imageNamed(name); }

    std::shared_ptr<VKRootFolderController> root;
};

TEST_F(VKRootFolderControllerTest, SectionsFollowTheRootsAndServices)
{
    ui::TableView table;
    auto source = VKRootFolderDataSource::create(roots(), { "Test" });
    installService("Test", true);
    EXPECT_EQ(source->numberOfSections(table), 2);
    EXPECT_EQ(source->titleForHeader(table, 0), "Test Device");
    EXPECT_EQ(source->titleForHeader(table, 1), "Servers");
    EXPECT_EQ(source->numberOfRows(table, 0), 2);
    EXPECT_EQ(source->numberOfRows(table, 1), 1);
    EXPECT_EQ(source->titleForIndexPath({ 0, 0 }), "Documents");
    EXPECT_EQ(source->titleForIndexPath({ 0, 1 }), "Public");
    EXPECT_EQ(source->titleForIndexPath({ 1, 0 }), "Test");

    // A device without a name.
    core::UserDefaults::standard()->set("DeviceName", core::Value(std::string()));
    EXPECT_EQ(VKRootFolderDataSource::localSectionTitle(), core::Device::current()->name().empty() ? "Local Documents"
                                                                                                   : core::Device::current()->name());

    // No local roots: the services are section 0.
    source->setLocalDirectories({});
    EXPECT_EQ(source->numberOfSections(table), 1);
    EXPECT_EQ(source->titleForHeader(table, 0), "Servers");
    EXPECT_EQ(source->numberOfRows(table, 0), 1);
    EXPECT_TRUE(source->cloudServiceForIndexPath({ 0, 0 }));

    // No services: one section; nothing at all: none.
    source->setLocalDirectories(roots());
    source->setCloudServiceKeys({});
    EXPECT_EQ(source->numberOfSections(table), 1);
    EXPECT_EQ(source->numberOfRows(table, 1), 0);
    EXPECT_FALSE(source->titleForHeader(table, 1));
    source->setLocalDirectories({});
    EXPECT_EQ(source->numberOfSections(table), 0);
}

TEST_F(VKRootFolderControllerTest, ResourcesServicesAndCells)
{
    auto linked = installService("Linked", true);
    installService("Unlinked", false);
    ui::TableView table;
    auto source = VKRootFolderDataSource::create(roots(), { "Linked", "Unlinked" });
    auto local = source->resourceForIndexPath({ 0, 1 });
    ASSERT_TRUE(local);
    EXPECT_EQ(local->path(), publicFolder());
    EXPECT_FALSE(source->cloudServiceForIndexPath({ 0, 0 }));
    auto cloud = std::dynamic_pointer_cast<VKCloudFileResource>(source->resourceForIndexPath({ 1, 0 }));
    ASSERT_TRUE(cloud);
    EXPECT_EQ(cloud->path(), linked->localPath());
    EXPECT_FALSE(source->resourceForIndexPath({ 1, 1 }));
    EXPECT_TRUE(source->cloudServiceForIndexPath({ 1, 1 }));
    EXPECT_FALSE(source->resourceForIndexPath({ 1, 2 }));
    EXPECT_FALSE(source->resourceForIndexPath({ 2, 0 }));
    EXPECT_FALSE(source->resourceForIndexPath({ 0, -1 }));

    struct MyCell : ui::TableViewCell {
        using ui::TableViewCell::TableViewCell;
    };
    source->setCellClass([](const std::string& identifier) {
        return std::make_shared<MyCell>(ui::TableViewCell::Style::Default, identifier);
    });
    auto cell = source->cellForRow(table, { 1, 0 });
    ASSERT_TRUE(std::dynamic_pointer_cast<MyCell>(cell));
    EXPECT_EQ(cell->reuseIdentifier(), "VKRootFolderCell");
    EXPECT_EQ(cell->accessoryType(), ui::TableViewCell::Accessory::DisclosureIndicator);
    EXPECT_EQ(cell->imageView().image(), image("Folder-32.png"));
    EXPECT_EQ(cell->textLabel().text(), "Linked");
}

TEST_F(VKRootFolderControllerTest, TheScreenItsBarsAndIcons)
{
    installService("Test", true);
    showRoot({ documents(), publicFolder(), makeFolder(documents("Other")) });
    EXPECT_EQ(root->title(), "Tandry");
    EXPECT_FALSE(root->navigationItem().rightBarButtonItem());
    ASSERT_TRUE(root->navigationItem().leftBarButtonItem());
    EXPECT_EQ(findAction(*root->navigationItem().leftBarButtonItem()), VKFolderControllerBase::ShowHelpAction);

    auto items = root->toolbarItems();
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0], root->barItems().serverStateItem());
    EXPECT_TRUE(items[1]->isFlexibleSpace());
    EXPECT_EQ(items[2], root->barItems().folderInfoItem());
    EXPECT_EQ(root->folderInfoLabel()->state(), 3);
    EXPECT_TRUE(items[3]->isFlexibleSpace());
    EXPECT_EQ(findAction(*items[4]), VKFolderControllerBase::ShowSettingsAction);
    // The toolbar is built once; a tap on the label does not cycle it.
    root->updateToolbarItems();
    EXPECT_EQ(root->toolbarItems(), items);
    EXPECT_FALSE(root->folderInfoLabel()->isUserInteractionEnabled());
    EXPECT_EQ(root->folderInfoLabel()->state(), 3);

    EXPECT_EQ(table().cellForRow({ 0, 0 })->imageView().image(), image("DocumentFolder-32.png"));
    EXPECT_EQ(table().cellForRow({ 0, 1 })->imageView().image(), image("PublicFolder-32.png"));
    EXPECT_EQ(table().cellForRow({ 0, 2 })->imageView().image(), image("Folder-32.png"));
    EXPECT_EQ(table().cellForRow({ 0, 2 })->textLabel().text(), "Other");
    // "TestIcon.png" is not in the bundle: the folder stays.
    EXPECT_EQ(table().cellForRow({ 1, 0 })->imageView().image(), image("Folder-32.png"));
    EXPECT_FALSE(VKRootFolderController::iconForCloudServiceName("../Folder-32.png"));
    EXPECT_FALSE(VKRootFolderController::iconForCloudServiceName("a/b"));
}

TEST_F(VKRootFolderControllerTest, AGuestGetsASpaceForSettings)
{
    delegate->setGuestModeForTesting(true);
    showRoot(roots());
    auto items = root->toolbarItems();
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[4]->systemItem(), ui::BarButtonItem::SystemItem::FixedSpace);
    EXPECT_EQ(items[4]->width(), 32);
}

TEST_F(VKRootFolderControllerTest, TapsOpenFoldersAndLoginForms)
{
    auto linked = installService("Linked", true);
    auto unlinked = installService("Unlinked", false);
    auto login = std::make_shared<ui::ViewController>();
    unlinked->testAccount()->setLoginViewController(login);
    showRoot(roots());

    driver.tap(*table().cellForRow({ 0, 1 }));
    advance(1);
    ASSERT_EQ(navigation->viewControllers().size(), 2u);
    auto opened = std::dynamic_pointer_cast<VKFolderController>(navigation->viewControllers().back());
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->folderPath(), publicFolder());
    navigation->popToRootViewController(false);
    runLoop();

    driver.tap(*table().cellForRow({ 1, 0 }));
    advance(1);
    ASSERT_EQ(navigation->viewControllers().size(), 2u);
    opened = std::dynamic_pointer_cast<VKFolderController>(navigation->viewControllers().back());
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->folderPath(), linked->localPath());
    navigation->popToRootViewController(false);
    runLoop();

    // The unlinked service opens its login form in a form sheet.
    driver.tap(*table().cellForRow({ 1, 1 }));
    advance(1);
    auto presented = dynamic_cast<VKNavigationController*>(navigation->modalViewController());
    ASSERT_TRUE(presented);
    EXPECT_EQ(presented->modalPresentationStyle(), ui::ViewController::PresentationStyle::FormSheet);
    EXPECT_EQ(presented->viewControllers().front(), login);
    EXPECT_FALSE(table().indexPathForSelectedRow());
    EXPECT_EQ(navigation->viewControllers().size(), 1u);
    navigation->dismissModalViewController(false);
    runLoop();
}

TEST_F(VKRootFolderControllerTest, ALoginLandsInTheServicesFolder)
{
    auto service = installService("Test", true);
    showRoot(roots());
    push(documents());
    push(makeFolder(documents("Deep")));
    ASSERT_EQ(navigation->viewControllers().size(), 3u);
    core::NotificationCenter::defaultCenter().post(VKCloudServiceAccountDidLoginNotification, service->account());
    advance(1);
    ASSERT_EQ(navigation->viewControllers().size(), 2u);
    EXPECT_EQ(navigation->viewControllers().front(), root);
    auto opened = std::dynamic_pointer_cast<VKFolderController>(navigation->viewControllers().back());
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->folderPath(), service->localPath());

    // A service whose folder gives no resource: nothing happens.
    auto empty = test::TestCloudService::install("Empty");
    push(documents());
    core::NotificationCenter::defaultCenter().post(VKCloudServiceAccountDidLoginNotification, empty->account());
    advance(1);
    EXPECT_EQ(navigation->viewControllers().size(), 3u);
}

TEST_F(VKRootFolderControllerTest, HidingTheServersChangesExactlyTheirSection)
{
    installService("Test", true);
    // With local roots: section 1 goes and comes.
    showRoot(roots());
    EXPECT_EQ(headers(), (std::vector<std::string> { "Test Device", "Servers" }));
    hideServers(true);
    EXPECT_EQ(headers(), (std::vector<std::string> { "Test Device" }));
    hideServers(false);
    EXPECT_EQ(headers(), (std::vector<std::string> { "Test Device", "Servers" }));
    EXPECT_EQ(table().numberOfRows(1), 1);

    // Without local roots the services are section 0, which goes and comes.
    root->setLocalDirectories({});
    EXPECT_EQ(headers(), (std::vector<std::string> { "Servers" }));
    hideServers(true);
    EXPECT_EQ(table().numberOfSections(), 0);
    hideServers(false);
    EXPECT_EQ(headers(), (std::vector<std::string> { "Servers" }));
    EXPECT_EQ(table().numberOfRows(0), 1);
}

TEST_F(VKRootFolderControllerTest, WithoutServicesHidingChangesNothing)
{
    showRoot(roots());
    EXPECT_EQ(table().numberOfSections(), 1);
    hideServers(true);
    hideServers(false);
    EXPECT_EQ(headers(), (std::vector<std::string> { "Test Device" }));
    // Hidden at the start: none listed until shown.
    hideServers(true);
    installService("Test", true);
    showRoot(roots());
    EXPECT_EQ(table().numberOfSections(), 1);
    hideServers(false);
    EXPECT_EQ(headers(), (std::vector<std::string> { "Test Device", "Servers" }));
}

} // namespace
