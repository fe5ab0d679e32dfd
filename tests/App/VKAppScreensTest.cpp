#include "App/VKAppScreens.h"

#include "App/Help/VKHelpController.h"
#include "App/Settings/VKSettingsController.h"
#include "App/Settings/VKSettingsControllerDelegate.h"
#include "Shell/VKNavigationController.h"
#include "Platform/UI/NavigationController.h"
#include "Support/UITestCase.h"

namespace {

class NoSettingsDelegate : public VKSettingsControllerDelegate { };

class VKAppScreensTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        browser = VKNavigationController::create(std::make_shared<ui::ViewController>());
        window().setRootViewController(browser);
        runLoop();
    }
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        browser.reset();
        UITestCase::TearDown();
    }
    static ui::NavigationController* presented(ui::ViewController& over)
    {
        return dynamic_cast<ui::NavigationController*>(over.modalViewController());
    }
    std::shared_ptr<VKNavigationController> browser;
    std::shared_ptr<NoSettingsDelegate> settingsDelegate = std::make_shared<NoSettingsDelegate>();
};

TEST_F(VKAppScreensTest, TheSettingsComeOnceAndTheHelpGoesOverThem)
{
    VKAppScreens::showSettings(nullptr, 0, {}, settingsDelegate);
    EXPECT_TRUE(logContains("Warning, showSettings without a navigation controller"));

    browser->topViewController()->setEditing(true, false);
    VKAppScreens::showSettings(browser.get(), 0, {}, settingsDelegate);
    advance(1);
    EXPECT_FALSE(browser->topViewController()->isEditing());
    auto* settings = presented(*browser);
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->modalPresentationStyle(), ui::ViewController::PresentationStyle::FormSheet);
    auto* root = dynamic_cast<VKSettingsController*>(settings->viewControllers().front().get());
    ASSERT_TRUE(root);
    EXPECT_EQ(root->delegate(), settingsDelegate);

    // Not twice: the second is refused while the first is up.
    VKAppScreens::showSettings(browser.get(), 4, {}, settingsDelegate);
    EXPECT_TRUE(logContains("Warning, showSettings while another screen is presented"));
    EXPECT_EQ(presented(*browser), settings);

    // The help goes over the settings, at the top of the modal chain.
    VKAppScreens::showHelpPage(browser.get(), {}, "general_quota", "Disk Quota", false);
    auto* help = presented(*settings);
    ASSERT_TRUE(help);
    EXPECT_TRUE(dynamic_cast<VKHelpController*>(help->viewControllers().front().get()));
    EXPECT_EQ(help->viewControllers().size(), 2u) << "the page open over the topics";
    help->dismissModalViewController(false);
    settings->dismissModalViewController(false);
    advance(1);
}

} // namespace
