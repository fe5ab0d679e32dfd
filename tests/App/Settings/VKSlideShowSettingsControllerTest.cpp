// "Slideshow": its rows, the two list pages it opens, the summary on the
// settings' row, and the start row a presenter with a delegate gets.

#include "SettingsTestCase.h"

#include "App/Settings/VKSettingsController.h"
#include "App/Settings/VKSlideShowSettingsController.h"
#include "Shell/Settings/VKSubviewCell.h"
#include "Shell/VKNavigationController.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewCell.h"
#include "Platform/UI/Window.h"

namespace {

class StartRecorder : public VKSlideShowSettingsControllerDelegate {
public:
    void slideShowSettingsControllerDidSelectStartSlideShowButton(VKSlideShowSettingsController&) override { ++starts; }
    int starts = 0;
};

class VKSlideShowSettingsControllerTest : public test::SettingsTestCase {
protected:
    void SetUp() override
    {
        SettingsTestCase::SetUp();
        launch();
    }
};

TEST_F(VKSlideShowSettingsControllerTest, ListsChoicesStoresThemAndSumsThemUp)
{
    auto defaults = core::UserDefaults::standard();
    openSettings();
    EXPECT_EQ(dynamic_cast<VKSubviewCell&>(cell("Slideshow")).status().text(), "3 seconds, Fade In");
    tapRow("Slideshow");
    EXPECT_EQ(topPage().title(), "Slideshow");
    EXPECT_EQ(driver.cellTexts(topTable()),
        (std::vector<std::string> { "Play Each Slide For", "Slide Transition", "Repeat", "Shuffle" }));

    tapRow("Play Each Slide For");
    EXPECT_EQ(topPage().title(), "Play Slide For");
    EXPECT_EQ(driver.cellTexts(topTable()),
        (std::vector<std::string> { "1 second", "2 seconds", "3 seconds", "5 seconds", "10 seconds", "20 seconds" }));
    ASSERT_TRUE(topPage().navigationItem().rightBarButtonItem()) << "the presenter's Done";
    tapRow("10 seconds");
    EXPECT_TRUE(defaults->object("VKSlideShowTimeout").isInteger());
    EXPECT_EQ(defaults->object("VKSlideShowTimeout").toInteger(), 10);
    EXPECT_DOUBLE_EQ(defaults->doubleForKey("VKSlideShowTimeout"), 10.0);
    tapRow("5 seconds");
    tapBack();
    tapRow("Slide Transition");
    EXPECT_EQ(driver.cellTexts(topTable()), (std::vector<std::string> { "Fade In", "Reveal", "Move In", "Push Out" }));
    tapRow("Reveal");
    EXPECT_EQ(defaults->stringForKey("VKSlideShowTransitionType"), "reveal");
    tapBack();
    auto& page = dynamic_cast<VKSlideShowSettingsController&>(topPage());
    EXPECT_EQ(page.statusText(), "5 seconds, Reveal");
    tapBack();
    EXPECT_EQ(dynamic_cast<VKSubviewCell&>(cell("Slideshow")).status().text(), "5 seconds, Reveal");
    tapDone();
}

TEST_F(VKSlideShowSettingsControllerTest, SecondScreenAndDelegateAddRows)
{
    auto screen = driver.connectScreen({ 0, 0, 640, 480 }, 1);
    auto page = VKSlideShowSettingsController::slideShowSettingsController();
    auto navigation = VKNavigationController::create(page);
    auto previous = window().rootViewController() ? window().rootViewController()->shared_from_this() : nullptr;
    window().setRootViewController(navigation);
    runLoop();
    auto& table = page->tableView();
    EXPECT_EQ(driver.cellTexts(table).back(), "Display on TV");
    EXPECT_EQ(table.numberOfSections(), 1) << "no start row without a delegate";

    auto recorder = std::make_shared<StartRecorder>();
    page->setDelegate(recorder);
    runLoop();
    ASSERT_EQ(table.numberOfSections(), 2);
    auto start = table.cellForRow({ 1, 0 });
    ASSERT_TRUE(start);
    EXPECT_EQ(start->reuseIdentifier(), "StartSlideshowButton");
    EXPECT_EQ(start->textLabel().text(), "Start Slideshow");
    EXPECT_EQ(start->backgroundColor(), gfx::Color(0, 106 / 255.0f, 235 / 255.0f, 1));
    driver.tapRow(table, { 1, 0 });
    EXPECT_EQ(recorder->starts, 1);
    driver.disconnectScreen(screen);
    window().setRootViewController(std::dynamic_pointer_cast<ui::ViewController>(previous));
    runLoop();
}

} // namespace
