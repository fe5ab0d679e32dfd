// The delegate shows the help over the browser: the topics as a form
// sheet, or one page already open over them.

#include "App/VKAppDelegate.h"

#include "App/Help/VKHelpController.h"
#include "App/Help/VKHelpViewController.h"
#include "Shell/VKNavigationController.h"
#include "FileModel/VKFileResource.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/Window.h"
#include "Support/FakeReachability.h"
#include "Support/UITestCase.h"

namespace {

class VKAppDelegateHelpTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        test::FakeReachability::install();
        delegate = VKAppDelegate::create();
        browser = VKNavigationController::create(std::make_shared<ui::ViewController>());
        delegate->setNavigationController(browser);
        window().setRootViewController(browser);
        runLoop();
    }
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        delegate->setNavigationController(nullptr);
        browser.reset();
        delegate.reset();
        UITestCase::TearDown();
    }
    ui::NavigationController* presentedHelp(ui::ViewController& over)
    {
        return dynamic_cast<ui::NavigationController*>(over.modalViewController());
    }

    std::shared_ptr<VKAppDelegate> delegate;
    std::shared_ptr<VKNavigationController> browser;
};

TEST_F(VKAppDelegateHelpTest, TheTopicsComeAsAnAnimatedFormSheet)
{
    delegate->showHelp(nullptr);
    auto* help = presentedHelp(*browser);
    ASSERT_TRUE(help);
    EXPECT_EQ(help->modalPresentationStyle(), ui::ViewController::PresentationStyle::FormSheet);
    EXPECT_TRUE(ui::ViewController::isModalTransitionRunning());
    advance(1);
    ASSERT_EQ(help->viewControllers().size(), 1u);
    auto* root = dynamic_cast<VKHelpController*>(help->topViewController());
    ASSERT_TRUE(root);
    EXPECT_EQ(root->contentType(), VKHelpControllerContentTypeRoot);
    EXPECT_EQ(root->tableStyle(), ui::TableView::Style::Grouped);

    // Done takes it away again.
    driver.tapBarItem(*root->navigationItem().rightBarButtonItem());
    advance(1);
    EXPECT_FALSE(browser->modalViewController());
}

TEST_F(VKAppDelegateHelpTest, OnePageOpensOverTheTopicsWithTheGivenAnimation)
{
    delegate->showHelpViewControllerWithName("general_quota", "Disk Quota", false);
    auto* help = presentedHelp(*browser);
    ASSERT_TRUE(help);
    EXPECT_FALSE(ui::ViewController::isModalTransitionRunning());
    ASSERT_EQ(help->viewControllers().size(), 2u);
    EXPECT_TRUE(dynamic_cast<VKHelpController*>(help->viewControllers()[0].get()));
    auto* page = dynamic_cast<VKHelpViewController*>(help->topViewController());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->title(), "Disk Quota");
    EXPECT_EQ(page->resource()->name(), "general_quota.html");
    EXPECT_TRUE(page->navigationItem().rightBarButtonItem());
    browser->dismissModalViewController(false);

    // Over a screen already presented (the settings), and animated.
    auto settings = std::make_shared<ui::ViewController>();
    browser->presentModalViewController(settings, false);
    delegate->showHelpViewControllerWithName("connecting_quickstart", "Quick Start", true);
    EXPECT_TRUE(ui::ViewController::isModalTransitionRunning());
    advance(1);
    ASSERT_TRUE(presentedHelp(*settings));
    EXPECT_EQ(presentedHelp(*settings)->topViewController()->title(), "Quick Start");
    browser->dismissModalViewController(false);

    // Without a browser nothing shows.
    delegate->setNavigationController(nullptr);
    delegate->showHelp(nullptr);
    EXPECT_TRUE(logContains("Warning, showHelp without a navigation controller"));
}

} // namespace
