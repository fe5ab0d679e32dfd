// The bar pieces every folder screen shows, on their own without a screen:
// buttons that reach the services handed in after they were made (and none
// once those went), the style asked when it matters, and the progress item
// following the browser's runs.

#include "App/FolderBrowser/VKFolderBarItems.h"

#include "App/FolderBrowser/VKFolderInfoLabel.h"
#include "App/FolderBrowser/VKOperationProgressView.h"
#include "Shell/Interface/InterfaceColors.h"
#include "Support/FakeFolderBrowserServices.h"
#include "Support/UITestCase.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Button.h"

namespace {

using Strings = std::vector<std::string>;

class VKFolderBarItemsTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        test::UITestCase::SetUp();
        VKBrowserOperation::resetOperationForTesting();
    }
    void TearDown() override
    {
        VKBrowserOperation::resetOperationForTesting();
        test::UITestCase::TearDown();
    }
    static void touch(const std::shared_ptr<ui::BarButtonItem>& item)
    {
        dynamic_cast<ui::Control&>(*item->customView()).sendActions(ui::Control::TouchUpInside);
    }
};

TEST_F(VKFolderBarItemsTest, ButtonsReachTheServicesOfTheirScreenWhenTouched)
{
    bool dark = false;
    VKFolderBarItems items([&dark] { return dark; });
    auto settings = items.settingsItem();
    auto help = items.helpItem();
    auto server = items.serverStateItem();
    EXPECT_EQ(items.serverStateItem(), server);
    // Nothing to tell yet: the touches are dropped.
    touch(settings);

    auto services = std::make_shared<test::FakeFolderBrowserServices>();
    items.setServices(services);
    touch(settings);
    touch(help);
    touch(server);
    EXPECT_EQ(services->shown, (Strings { "settings", "help", "server info" }));

    // Other services later: the buttons made before reach them.
    auto next = std::make_shared<test::FakeFolderBrowserServices>();
    items.setServices(next);
    touch(settings);
    EXPECT_EQ(next->shown, (Strings { "settings" }));
    next.reset();
    touch(help);
    EXPECT_EQ(services->shown.size(), 3u);

    // The style is asked as the pieces are made and restyled.
    auto* label = dynamic_cast<VKFolderInfoLabel*>(items.folderInfoItem()->customView().get());
    ASSERT_TRUE(label);
    EXPECT_EQ(label->textColor(), gfx::Color::white(1));
    dark = true;
    items.updateAppearance();
    EXPECT_EQ(label->textColor(), iPadBarButtonItemDarkTextColor());
    items.reset();
    EXPECT_FALSE(items.folderInfoLabel());
    EXPECT_NE(items.serverStateItem(), server);
}

TEST_F(VKFolderBarItemsTest, TheProgressItemBelongsToItsRun)
{
    VKFolderBarItems items([] { return true; });
    EXPECT_TRUE(items.showProgress(0.5f)) << "no item: nothing to rebuild";
    auto first = VKBrowserOperation::startOperationWithLabel("Copying 3 Items", false);
    auto item = items.progressItem();
    ASSERT_TRUE(items.progressView());
    EXPECT_EQ(items.progressView()->style(), 1);
    EXPECT_TRUE(items.showsCurrentRun());
    EXPECT_TRUE(items.showProgress(std::nanf("")));
    EXPECT_EQ(items.progressView()->progress(), 0.0f);
    EXPECT_TRUE(items.showProgress(2));
    EXPECT_EQ(items.progressView()->progress(), 1.0f);
    items.forgetStaleProgress();
    EXPECT_EQ(items.progressItem(), item);

    // Turning indeterminate wants a new item, in the dark spinner's style.
    VKBrowserOperation::setIsOperationIndeterminate(true);
    EXPECT_FALSE(items.showProgress(0.5f));
    EXPECT_FALSE(items.hasProgressItem());
    EXPECT_EQ(items.progressView(), nullptr);
    items.progressItem();
    EXPECT_EQ(items.progressView()->style(), 3);

    // A run started after this one ended is not this item's.
    VKBrowserOperation::cancelOperation();
    VKBrowserOperation::endOperation(first);
    VKBrowserOperation::startOperationWithLabel("Moving 1 Item", false);
    EXPECT_TRUE(items.hasProgressItem());
    EXPECT_FALSE(items.showsCurrentRun());
    items.forgetStaleProgress();
    EXPECT_FALSE(items.hasProgressItem());
}

} // namespace
