// The "Cloud Servers" page and a service's account page against the fake
// cloud service: the summary on the settings root, hiding and showing the
// services, a login pushed from the page that returns to it (and leaves
// the rest of the settings visit whole), the account's user, quota and
// local size, the reset and the unlink.

#include "CloudSettingsTestCase.h"

#include "App/FolderBrowser/VKFolderController.h"
#include "App/Settings/VKCloudSettingsController.h"
#include "FileModel/VKFileResource.h"
#include "App/Settings/VKSettingsController.h"
#include "Shell/Settings/VKSubviewCell.h"
#include "Shell/Settings/VKSwitchCell.h"
#include "Cloud/VKCloudServiceAccount.h"
#include "Cloud/VKDropboxAccount.h"
#include "DropboxSDK/MPOAuth/MPOAuthCredentialConcreteStore.h"
#include "DropboxSDK/UI/DBLoginController.h"
#include "HTTP/HTTPServer.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Switch.h"
#include "Support/Cloud/TestCloudService.h"

#include <filesystem>
#include <fstream>

namespace {

using Texts = std::vector<std::string>;

class VKCloudSettingsControllerTest : public test::CloudSettingsTestCase {
protected:
    std::string rootStatus()
    {
        return dynamic_cast<VKSubviewCell&>(cell("Cloud Servers")).status().text();
    }
    std::string rowStatus(const std::string& key)
    {
        return dynamic_cast<VKSubviewCell&>(cell(key)).status().text();
    }
    // Types into the login form on top and taps "Link"; pumps until it
    // answered.
    void logIn(const std::string& email, const std::string& password)
    {
        auto* form = dynamic_cast<DBLoginController*>(&topPage());
        ASSERT_TRUE(form);
        driver.tapRow(*form->tableView(), { 0, 0 });
        driver.type(email);
        driver.tapRow(*form->tableView(), { 0, 1 });
        driver.type(password);
        runLoop();
        ASSERT_TRUE(form->navigationItem().rightBarButtonItem()->isEnabled());
        form->didPressLogin();
        ASSERT_TRUE(waitFor([&] { return !form->isWorking(); }));
    }
    // Types both fields of `form` and taps its "Link"; pumps until the
    // form went.
    void linkWith(DBLoginController& form)
    {
        driver.tapRow(*form.tableView(), { 0, 0 });
        driver.type("demo@example.com");
        driver.tapRow(*form.tableView(), { 0, 1 });
        driver.type("demo");
        runLoop();
        ASSERT_TRUE(form.navigationItem().rightBarButtonItem() == nullptr
            || form.navigationItem().rightBarButtonItem()->isEnabled());
        form.didPressLogin();
        ASSERT_TRUE(waitFor([&] { return !browser->modalViewController(); }));
    }
    void expectTheServicesFolderOnTheRoot()
    {
        const auto& stack = browser->viewControllers();
        ASSERT_EQ(stack.size(), 2u) << ::testing::PrintToString(driver.stackTitles(*browser));
        EXPECT_EQ(stack[0], root);
        auto* folder = dynamic_cast<VKFolderController*>(stack[1].get());
        ASSERT_TRUE(folder);
        ASSERT_TRUE(folder->resource());
        EXPECT_EQ(folder->resource()->path(), dropbox()->localPath());
        EXPECT_TRUE(dropbox()->isLinked());
        EXPECT_EQ(count("/0/token"), 1u);
    }
    void writeMirrorFile(const std::string& relative, size_t size)
    {
        std::filesystem::path path = std::filesystem::path(dropbox()->localPath()) / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << std::string(size, 'x');
    }
};

class VKCloudAccountQuotaTest : public VKCloudSettingsControllerTest {
protected:
    test::FakeCloudServer::Options serverOptions() const override
    {
        test::FakeCloudServer::Options options;
        options.quota = 2000;
        return options;
    }
};

TEST_F(VKCloudSettingsControllerTest, TheRootSaysHowManyAreLinkedAndThePageListsThem)
{
    launchWithCloud(true);
    openSettings();
    EXPECT_TRUE(std::dynamic_pointer_cast<VKCloudSettingsController>(settings().pageForSlot(VKSettingsPage::CloudServers)));
    EXPECT_EQ(rootStatus(), "1 Linked");
    core::UserDefaults::standard()->set(VKHideCloudServersKey, core::Value(true));
    tapRow("Cloud Servers");
    EXPECT_EQ(topPage().title(), "Cloud Servers");
    EXPECT_EQ(topPage().navigationItem().rightBarButtonItem()->title(), "Done");
    EXPECT_EQ(driver.cellTexts(topTable()), (Texts { "Display Servers" }));
    EXPECT_FALSE(toggle("Display Servers").switchControl().isOn());
    tapBack();
    EXPECT_EQ(rootStatus(), "Hidden");
    tapDone();

    // The rows are made with the page: a service registered later shows in
    // the next visit.
    core::UserDefaults::standard()->set(VKHideCloudServersKey, core::Value(false));
    auto test = test::TestCloudService::install("Test");
    test->setLinked(true);
    openCloudServers();
    EXPECT_EQ(driver.cellTexts(topTable()), (Texts { "Display Servers", "Dropbox", "Test" }));
    EXPECT_EQ(rowStatus("Dropbox"), "Linked");
    EXPECT_EQ(rowStatus("Test"), "Linked");
    tapBack();
    EXPECT_EQ(rootStatus(), "2 Linked");
    test->setLinked(false);
    dropbox()->unlink();
    tapRow("Cloud Servers");
    EXPECT_EQ(rowStatus("Dropbox"), "Not Linked");
    tapBack();
    EXPECT_EQ(rootStatus(), "");
    tapDone();
}

TEST_F(VKCloudSettingsControllerTest, HidingFadesTheServicesOutAndBackInWhoeverWritesTheKey)
{
    launchWithCloud(true);
    openCloudServers();
    auto& table = topTable();
    ASSERT_EQ(table.numberOfSections(), 2);
    EXPECT_TRUE(toggle("Display Servers").switchControl().isOn());

    driver.toggle(toggle("Display Servers").switchControl());
    EXPECT_TRUE(core::UserDefaults::standard()->boolForKey(VKHideCloudServersKey));
    runLoop();
    EXPECT_EQ(table.numberOfSections(), 1);
    advance(1);
    // The switch stays on screen, off, and turns the services back on.
    EXPECT_FALSE(toggle("Display Servers").switchControl().isOn());
    driver.toggle(toggle("Display Servers").switchControl());
    runLoop();
    EXPECT_EQ(table.numberOfSections(), 2);
    advance(1);
    driver.toggle(toggle("Display Servers").switchControl());
    runLoop();
    advance(1);
    EXPECT_EQ(table.numberOfSections(), 1);

    // Another writer, on another thread.
    auto writer = core::Thread::detach("writer", [] { core::UserDefaults::standard()->set(VKHideCloudServersKey, core::Value(false)); });
    ASSERT_TRUE(core::Thread::waitForAll(10));
    runLoop();
    EXPECT_EQ(table.numberOfSections(), 2);
    EXPECT_EQ(driver.cellTexts(table), (Texts { "Display Servers", "Dropbox" }));
    EXPECT_TRUE(toggle("Display Servers").switchControl().isOn());
    advance(1);

    // With no service registered, showing them adds no section.
    core::UserDefaults::standard()->set(VKHideCloudServersKey, core::Value(true));
    runLoop();
    VKCloudServicesManager::resetForTesting();
    core::UserDefaults::standard()->set(VKHideCloudServersKey, core::Value(false));
    runLoop();
    EXPECT_EQ(table.numberOfSections(), 1);
    tapDone();
}

TEST_F(VKCloudSettingsControllerTest, ALoginPushedFromThePageReturnsToItAndTheVisitEndsWhole)
{
    launchWithCloud(false);
    bool serverWasEnabled = core::UserDefaults::standard()->boolForKey("VKServerEnabled");
    ASSERT_TRUE(server().isStarted());
    openSettings();
    tapRow("Server");
    driver.toggle(toggle("Server Enabled").switchControl());
    tapBack();
    tapRow("Cloud Servers");
    tapRow("Dropbox");
    EXPECT_EQ(driver.stackTitles(settingsNavigation()), (Texts { "Settings", "Cloud Servers", "Link Account" }));

    // A refusal leaves the form where it is.
    logIn("demo@example.com", "wrong");
    ASSERT_TRUE(driver.alert());
    EXPECT_EQ(driver.alert()->title(), "Unable to Login");
    driver.pressAlertButton(0);
    runLoop();
    auto* form = dynamic_cast<DBLoginController*>(&topPage());
    ASSERT_TRUE(form);
    form->passwordField()->setText("");
    driver.tapRow(*form->tableView(), { 0, 1 });
    driver.type("demo");
    runLoop();
    form->didPressLogin();
    ASSERT_TRUE(waitFor([&] { return dynamic_cast<DBLoginController*>(&topPage()) == nullptr; }));

    // Back on the page, still in the settings, the row linked.
    EXPECT_EQ(driver.stackTitles(settingsNavigation()), (Texts { "Settings", "Cloud Servers" }));
    EXPECT_EQ(rowStatus("Dropbox"), "Linked");
    EXPECT_EQ(core::UserDefaults::standard()->stringForKey(VKDropboxAccountUserNameKey), "demo@example.com");
    EXPECT_TRUE(VKCloudFileStore::sharedStore()->managedObjectForPath(dropbox()->localPath()));

    // "Done" still ends the visit, and the server follows the switch.
    tapDone();
    EXPECT_FALSE(browser->modalViewController());
    EXPECT_EQ(server().isStarted(), !serverWasEnabled);
    EXPECT_EQ(core::UserDefaults::standard()->boolForKey("VKServerEnabled"), !serverWasEnabled);
}

TEST_F(VKCloudSettingsControllerTest, TheAccountPageShowsUserQuotaAndLocalStorage)
{
    launchWithCloud(true);
    core::UserDefaults::standard()->set(VKDropboxAccountUserNameKey, core::Value("demo@example.com"));
    writeMirrorFile("a.txt", 3000);
    writeMirrorFile("Sub/b.bin", 5000);
    cloud->addFault(R"({"endpoint":"account/info","delay":0.5})");
    openCloudServers();
    tapRow("Dropbox");
    auto* page = accountPage();
    ASSERT_TRUE(page);
    EXPECT_EQ(page->title(), "Dropbox");
    EXPECT_EQ(page->navigationItem().rightBarButtonItem()->title(), "Done");
    EXPECT_EQ(driver.cellTexts(topTable()), (Texts { "User", "Space Used", "Local Storage", "Reset Local Storage", "Unlink Account" }));
    EXPECT_EQ(value(&cell("User")), "demo@example.com");
    // The quota is on its way: its spinner turns, 10 points from the right.
    ASSERT_TRUE(spinning(page->quotaInfoCell()));
    auto* spinner = page->quotaInfoCell()->contentView().viewWithTag(VKCloudAccountSettingsController::SpinnerTag);
    auto content = page->quotaInfoCell()->contentView().bounds();
    EXPECT_EQ(spinner->frame().origin.x + spinner->frame().size.width, content.size.width - 10);
    EXPECT_EQ(spinner->frame().origin.y, std::floor((content.size.height - spinner->frame().size.height) / 2));

    ASSERT_TRUE(waitFor([&] { return !spinning(page->quotaInfoCell()) && !spinning(page->localStorageCell()); }));
    EXPECT_NE(value(page->quotaInfoCell()).find("% of "), std::string::npos) << value(page->quotaInfoCell());
    EXPECT_GE(page->localStorageSize(), 8000);
    EXPECT_EQ(value(page->localStorageCell()), VKBytesFormatter::sharedFormatter().formatBytesAsString(uint64_t(page->localStorageSize())));
    EXPECT_EQ(count("/0/account/info"), 1u);

    // Each appearance asks for the quota again; the local size is counted
    // once per page. A failed quota load leaves the spinner turning.
    int64_t counted = page->localStorageSize();
    writeMirrorFile("c.txt", 100000);
    tapBack();
    tapRow("Dropbox");
    ASSERT_TRUE(waitFor([&] { return count("/0/account/info") == 2; }));
    EXPECT_EQ(page->localStorageSize(), counted);
    tapDone();

    // A new visit whose quota load fails keeps the spinner turning.
    cloud->addFault(R"({"endpoint":"account/info","status":503})");
    openCloudServers();
    tapRow("Dropbox");
    page = accountPage();
    ASSERT_TRUE(page);
    ASSERT_TRUE(waitFor([&] { return count("/0/account/info") == 3; }));
    advance(1);
    EXPECT_TRUE(spinning(page->quotaInfoCell()));
    tapDone();
}

TEST_F(VKCloudAccountQuotaTest, SpaceUsedIsTheShareOfTheTotal)
{
    using Page = VKCloudAccountSettingsController;
    auto& formatter = VKBytesFormatter::sharedFormatter();
    EXPECT_EQ(Page::quotaText(1073741824, 2147483648), "50.0% of " + formatter.formatBytesAsString(2147483648));
    EXPECT_EQ(Page::quotaText(50000000000, 100000000000), "50.0% of " + formatter.formatBytesAsString(100000000000));
    EXPECT_EQ(Page::quotaText(1, 3), "33.3% of " + formatter.formatBytesAsString(3));
    // No total: the used bytes alone, never "nan%".
    EXPECT_EQ(Page::quotaText(5000, 0), formatter.formatBytesAsString(5000));
    EXPECT_EQ(Page::quotaText(-1, 0), formatter.formatBytesAsString(0));

    launchWithCloud(true);
    std::ofstream(std::filesystem::path(cloud->root()) / "half.bin") << std::string(1000, 'h');
    openCloudServers();
    tapRow("Dropbox");
    auto* page = accountPage();
    ASSERT_TRUE(page);
    ASSERT_TRUE(waitFor([&] { return !spinning(page->quotaInfoCell()); }));
    EXPECT_EQ(value(page->quotaInfoCell()), "50.0% of " + formatter.formatBytesAsString(2000));
    tapDone();
}

TEST_F(VKCloudSettingsControllerTest, ResetEmptiesTheMirrorOnceAsked)
{
    launchWithCloud(true);
    writeMirrorFile("a.txt", 4000);
    openCloudServers();
    tapRow("Dropbox");
    auto* page = accountPage();
    ASSERT_TRUE(page);
    ASSERT_TRUE(waitFor([&] { return page->localStorageSize() >= 0; }));
    EXPECT_GE(page->localStorageSize(), 4000);

    tapRow("Reset Local Storage");
    auto sheet = driver.actionSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->title(), "Reset local storage for Dropbox?\nThis will cancel any existing uploads and downloads.");
    EXPECT_EQ(sheet->tag(), VKCloudAccountSettingsController::ResetSheetTag);
    EXPECT_EQ(sheet->buttonTitle(sheet->destructiveButtonIndex()), "Reset Local Storage?");
    EXPECT_EQ(sheet->buttonTitle(sheet->cancelButtonIndex()), "Cancel");
    driver.pressSheetButton(sheet->cancelButtonIndex());
    advance(1);
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(dropbox()->localPath()) / "a.txt"));

    tapRow("Reset Local Storage");
    sheet = driver.actionSheet();
    ASSERT_TRUE(sheet);
    driver.pressSheetButton(sheet->destructiveButtonIndex());
    advance(1);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(dropbox()->localPath()) / "a.txt"));
    EXPECT_EQ(page->localStorageSize(), 0);
    EXPECT_EQ(value(page->localStorageCell()), VKBytesFormatter::sharedFormatter().formatBytesAsString(0));

    // Nothing left to reset: the row asks nothing.
    tapRow("Reset Local Storage");
    EXPECT_TRUE(driver.shownChoices().empty());
    tapBack();
    tapRow("Dropbox");
    runLoop();
    EXPECT_EQ(page->localStorageSize(), 0);
    tapDone();
}

TEST_F(VKCloudSettingsControllerTest, UnlinkAfterARevokedTokenAndLinkAgain)
{
    launchWithCloud(true);
    writeMirrorFile("Docs/a.txt", 100);
    auto store = VKCloudFileStore::sharedStore();
    auto docs = store->insertObjectForPath(dropbox()->localPath() + "/Docs");
    ASSERT_TRUE(docs);
    ASSERT_TRUE(store->saveContext());
    cloud->revoke(DBSession::sharedSession()->credentialStore()->accessToken().value_or(""));
    openCloudServers();
    tapRow("Dropbox");
    auto* page = accountPage();
    ASSERT_TRUE(page);
    ASSERT_TRUE(waitFor([&] { return count("/0/account/info") == 1; }));
    advance(1);
    EXPECT_TRUE(spinning(page->quotaInfoCell()));

    tapRow("Unlink Account");
    auto sheet = driver.actionSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->title(), "Unlink Dropbox?\nThis will remove the local storage and cancel all cloud operations.");
    EXPECT_EQ(sheet->tag(), VKCloudAccountSettingsController::UnlinkSheetTag);
    EXPECT_EQ(sheet->buttonTitle(sheet->destructiveButtonIndex()), "Unlink?");
    driver.pressSheetButton(sheet->destructiveButtonIndex());
    advance(1);
    EXPECT_FALSE(dropbox()->isLinked());
    EXPECT_FALSE(dropbox()->account()->userName());
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(dropbox()->localPath()) / "Docs"));
    EXPECT_FALSE(store->managedObjectForPath(dropbox()->localPath() + "/Docs"));
    EXPECT_EQ(driver.stackTitles(settingsNavigation()), (Texts { "Settings", "Cloud Servers" }));
    EXPECT_EQ(rowStatus("Dropbox"), "Not Linked");

    // The row now offers the login; a fresh token brings the quota back.
    tapRow("Dropbox");
    logIn("demo@example.com", "demo");
    EXPECT_EQ(driver.stackTitles(settingsNavigation()), (Texts { "Settings", "Cloud Servers" }));
    EXPECT_EQ(rowStatus("Dropbox"), "Linked");
    tapRow("Dropbox");
    ASSERT_EQ(accountPage(), page);
    ASSERT_TRUE(waitFor([&] { return !spinning(page->quotaInfoCell()) && page->localStorageSize() >= 0; }));
    EXPECT_NE(value(page->quotaInfoCell()).find("% of "), std::string::npos);
    EXPECT_EQ(value(&cell("User")), "demo@example.com");
    tapDone();
}

TEST_F(VKCloudSettingsControllerTest, APageGoneBeforeItsCountDropsTheAnswer)
{
    launchWithCloud(true);
    for (int i = 0; i < 200; ++i)
        writeMirrorFile("many/" + std::to_string(i), 10);
    for (int round = 0; round < 3; ++round) {
        openCloudServers();
        tapRow("Dropbox");
        settingsNavigation().popToRootViewController(false);
        tapDone();
    }
    ASSERT_TRUE(core::Thread::waitForAll(10));
    runLoop();
}

} // namespace

TEST_F(VKCloudSettingsControllerTest, OnAPhoneTheRootListsServiceRowLinksAndOpensItsFolder)
{
    auto* form = openLoginFromRootList(test::phoneScreen);
    ASSERT_TRUE(form);
    EXPECT_EQ(form->title(), "Link Account");
    linkWith(*form);
    expectTheServicesFolderOnTheRoot();
}

TEST_F(VKCloudSettingsControllerTest, OnATabletTheFormIsASheetOverTheRootList)
{
    auto* form = openLoginFromRootList(test::tabletScreen);
    ASSERT_TRUE(form);
    EXPECT_EQ(browser->modalViewController()->modalPresentationStyle(), ui::ViewController::PresentationStyle::FormSheet);
    // The sheet covers part of the window; the root list shows around it.
    auto sheet = browser->modalViewController()->view()->convertRect(
        browser->modalViewController()->view()->bounds(), nullptr);
    EXPECT_LT(sheet.size.width, 768);
    EXPECT_GT(sheet.origin.x, 0);
    linkWith(*form);
    expectTheServicesFolderOnTheRoot();
}
