// The root settings page, shown through the application delegate: its
// groups and pages, "Done", the pages opened directly, re-reading the
// stores on return, the rebuild question and the slots later pages fill.

#include "SettingsTestCase.h"

#include "App/Settings/VKPasscodeSettingsController.h"
#include "App/Settings/VKQuotaSettingsController.h"
#include "App/Settings/VKRemoteAccessSettingsController.h"
#include "App/Settings/VKSettingsController.h"
#include "App/Settings/VKTextEncodingsController.h"
#include "Shell/Interface/InterfaceColors.h"
#include "Shell/Settings/VKSortOrderSettingsController.h"
#include "Shell/Settings/VKSubviewCell.h"
#include "Shell/Settings/VKSwitchCell.h"
#include "Shell/Settings/VKTableSubviewController.h"
#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "FileModel/VKQuotaManager.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Switch.h"
#include "Platform/UI/TableView.h"

namespace {

using Texts = std::vector<std::string>;

struct SettingsRecorder : VKSettingsControllerDelegate {
    int ends = 0;
    void settingsControllerDidEnd(VKSettingsController&) override { ++ends; }
};

class CustomPage : public VKTableSubviewController {
public:
    CustomPage() { setTitle("Passcode Lock"); }
    std::string statusText() override { return "Custom"; }
};

class VKSettingsControllerTest : public test::SettingsTestCase {
protected:
    void SetUp() override
    {
        SettingsTestCase::SetUp();
        launch();
    }
    std::vector<std::string> rowTexts(int section)
    {
        Texts texts;
        for (auto& cell : settings().groups().at(size_t(section)))
            texts.push_back(cell->debugText());
        return texts;
    }
};

TEST_F(VKSettingsControllerTest, GroupsRowsAndPagesOfTheRoot)
{
    core::UserDefaults::standard()->set("VKDocumentDisableDataDetectors", core::Value(false));
    openSettings();
    auto& root = settings();
    EXPECT_EQ(root.title(), "Settings");
    EXPECT_EQ(root.titles(), (Texts { "Remote Access", "Local Access", "General", "Documents", "Servers", "Startup", "Disk Quota", "" }));
    EXPECT_EQ(rowTexts(0), (Texts { "Server" }));
    EXPECT_EQ(rowTexts(2), (Texts { "Sort Order", "Display File Extensions", "Show Hidden Files" }));
    EXPECT_EQ(rowTexts(3), (Texts { "Page Number Overlay", "Paging Gestures", "Link Detection", "Default Text Encoding", "PDF", "Slideshow" }));
    EXPECT_EQ(rowTexts(5), (Texts { "Load Last Document", "Show Server Info" }));
    EXPECT_EQ(rowTexts(6), (Texts { "Disk Quota" }));
    EXPECT_TRUE(dynamic_cast<VKSwitchCell&>(cell("Link Detection")).switchControl().isOn());

    // The pages, in table order, without the text encodings'.
    auto& pages = root.subcontrollers();
    ASSERT_EQ(pages.size(), 7u);
    EXPECT_TRUE(std::dynamic_pointer_cast<VKRemoteAccessSettingsController>(pages[0]));
    EXPECT_TRUE(std::dynamic_pointer_cast<VKSortOrderSettingsController>(pages[2]));
    EXPECT_TRUE(std::dynamic_pointer_cast<VKQuotaSettingsController>(pages[6]));
    Texts titles;
    for (auto& page : pages)
        titles.push_back(page->title());
    EXPECT_EQ(titles, (Texts { "Remote Access", "Passcode Lock", "Sort Order", "PDF Settings", "Slideshow", "Cloud Servers", "Disk Quota" }));
    auto encodings = root.pageForSlot(VKSettingsPage::TextEncodings);
    ASSERT_TRUE(std::dynamic_pointer_cast<VKTextEncodingsController>(encodings));
    EXPECT_EQ(encodings->statusText(), "UTF-8");
    EXPECT_TRUE(std::dynamic_pointer_cast<VKPasscodeSettingsController>(pages[1]));
    EXPECT_EQ(dynamic_cast<VKSubviewCell&>(cell("Passcode Lock")).status().text(), "Off");

    // "Done" on the root and every page of the list, the root without a
    // back button; the text encodings' page has none.
    auto done = root.navigationItem().rightBarButtonItem();
    ASSERT_TRUE(done);
    EXPECT_EQ(done->title(), "Done");
    EXPECT_EQ(done->style(), ui::BarButtonItem::Style::Done);
    EXPECT_TRUE(root.navigationItem().hidesBackButton());
    for (auto& page : pages)
        EXPECT_EQ(page->navigationItem().rightBarButtonItem()->title(), "Done") << page->title();
    EXPECT_FALSE(encodings->navigationItem().rightBarButtonItem());

    // The version row: centred, 18 points, in the value colour.
    auto& version = cell("Tandry v1.0.0 (1)");
    EXPECT_EQ(version.tag(), VKSettingsController::VersionCellTag);
    EXPECT_EQ(version.textLabel().font().pointSize(), 18);
    EXPECT_EQ(version.textLabel().textColor(), tableViewCellTextValueColor());
    EXPECT_EQ(version.textLabel().textAlignment(), gfx::TextAlignment::Center);

    // A page keeps the root's title on its back button and has "Done".
    tapRow("Show Hidden Files"); // a switch row: nothing opens
    EXPECT_EQ(&topPage(), &root);
    tapRow("Slideshow");
    EXPECT_EQ(topPage().title(), "Slideshow");
    EXPECT_EQ(settingsNavigation().navigationBar().backButtonTitle(), "Settings");
    tapDone();
    EXPECT_FALSE(browser->modalViewController());
}

TEST_F(VKSettingsControllerTest, DoneTellsTheDelegateOnce)
{
    auto settings = VKSettingsController::initWithOrientation(ui::Orientation::Portrait);
    auto recorder = std::make_shared<SettingsRecorder>();
    settings->setDelegate(recorder);
    auto navigation = ui::NavigationController::create(settings);
    browser->presentModalViewController(navigation, false);
    runLoop();
    settings->pushSettingsGroup(VKSettingsController::RemoteAccessGroup, false);
    runLoop();
    driver.tapBarItem(*navigation->topViewController()->navigationItem().rightBarButtonItem());
    EXPECT_EQ(recorder->ends, 1);
    browser->dismissModalViewController(false);
    runLoop();
}

TEST_F(VKSettingsControllerTest, GroupsOpenTheirPagesDirectly)
{
    openSettings(VKSettingsController::RemoteAccessGroup);
    EXPECT_EQ(Texts(ui::testing::Driver::stackTitles(settingsNavigation())), (Texts { "Settings", "Remote Access" }));
    EXPECT_EQ(topPage().navigationItem().rightBarButtonItem()->title(), "Done");
    tapDone();
    openSettings(VKSettingsController::PasscodeGroup);
    EXPECT_EQ(Texts(ui::testing::Driver::stackTitles(settingsNavigation())), (Texts { "Settings", "Passcode Lock" }));
    settings().pushSettingsGroup(3, false);
    runLoop();
    EXPECT_TRUE(logContains("Warning, no subview controller for settings group: 3"));
    EXPECT_EQ(settingsNavigation().viewControllers().size(), 2u);
    tapDone();
}

TEST_F(VKSettingsControllerTest, ComingBackShowsWhatTheStoresHold)
{
    auto defaults = core::UserDefaults::standard();
    application().setStatusBarStyle(ui::Application::StatusBarStyle::BlackOpaque);
    openSettings();
    EXPECT_EQ(application().statusBarStyle(), ui::Application::StatusBarStyle::Default);
    defaults->set("VKFileSortOrder", core::Value(int64_t(2)));
    tapRow("Sort Order");
    auto& hidden = dynamic_cast<VKSwitchCell&>(*settings().groups()[2][2]);
    EXPECT_FALSE(hidden.switchControl().isOn());
    defaults->set("VKShowHiddenFiles", core::Value(true)); // behind the page's back
    tapRow("Sort by Date");
    EXPECT_EQ(defaults->object("VKFileSortOrder"), core::Value(int64_t(4)));
    tapBack();
    EXPECT_TRUE(hidden.switchControl().isOn());
    EXPECT_EQ(dynamic_cast<VKSubviewCell&>(cell("Sort Order")).status().text(), "Sort by Date");
    tapDone();
}

TEST_F(VKSettingsControllerTest, TheVersionRowOffersToRebuildTheQuotaIndex)
{
    auto quota = VKQuotaManager::defaultManager();
    const std::string counted = VKApplication::sharedApplication()->publicDirectory() + "/counted.bin";
    makeFile("Documents/counted.bin", std::string(4096, 'x'));
    ASSERT_TRUE(core::fs::exists(counted));
    EXPECT_EQ(quota->sizeForPath(counted), 0u);
    openSettings();
    tapRow("Tandry v1.0.0 (1)");
    auto alert = driver.alert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "");
    EXPECT_EQ(alert->message(), "Rebuild Disk Quota Index?");
    EXPECT_EQ(alert->buttonTitle(0), "Rebuild");
    EXPECT_EQ(alert->buttonTitle(1), "Cancel");
    EXPECT_EQ(alert->cancelButtonIndex(), 1);
    EXPECT_EQ(alert->tag(), VKSettingsController::RebuildAlertTag);
    EXPECT_EQ(topTable().indexPathForSelectedRow(), std::nullopt);
    driver.pressAlertButton("Cancel");
    advance(1);
    EXPECT_EQ(quota->sizeForPath(counted), 0u);

    tapRow("Tandry v1.0.0 (1)");
    driver.pressAlertButton("Rebuild");
    advance(1);
    // The recount runs on a worker and ends through the main loop.
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !quota->rebuildingIndex(); }, 20));
    EXPECT_EQ(quota->sizeForPath(counted), 4096u);
    tapDone();
}

TEST_F(VKSettingsControllerTest, LaterPagesComeFromTheirSlots)
{
    VKSettingsController::setPageFactoryForTesting(VKSettingsPage::Passcode, [] { return std::make_shared<CustomPage>(); });
    openSettings(VKSettingsController::PasscodeGroup);
    EXPECT_TRUE(dynamic_cast<CustomPage*>(&topPage()));
    EXPECT_EQ(topPage().navigationItem().rightBarButtonItem()->title(), "Done");
    tapBack();
    EXPECT_EQ(dynamic_cast<VKSubviewCell&>(cell("Passcode Lock")).status().text(), "Custom");
    tapDone();
    // Put back, the slot makes its own page again.
    VKSettingsController::setPageFactoryForTesting(VKSettingsPage::Passcode, nullptr);
    openSettings(VKSettingsController::PasscodeGroup);
    EXPECT_TRUE(dynamic_cast<VKPasscodeSettingsController*>(&topPage()));
    tapDone();
}

// Opened and closed again and again, the settings leave nothing behind
// (the fixture fails on views or controllers left alive).
TEST_F(VKSettingsControllerTest, OpeningAndClosingLeavesNothingAlive)
{
    std::weak_ptr<core::Object> last;
    for (int i = 0; i < 20; ++i) {
        openSettings(i % 2 ? VKSettingsController::RemoteAccessGroup : 0);
        last = settings().weak_from_this();
        if (i % 3 == 0) {
            tapRow(i % 2 ? "Authentication" : "Sort Order");
            tapBack();
        }
        tapDone();
        EXPECT_TRUE(last.expired()) << i;
    }
}

} // namespace
