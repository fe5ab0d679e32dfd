// A folder screen on the base as a person sees it, in its three states:
// idle (the folder information in the toolbar), copying (the progress bar
// at 40 % and Cancel) and expanding an archive (the spinner). Driven
// through Cancel, rotation and the clock, checked for a tidy toolbar, and
// rendered with real text at phone and tablet size in both orientations
// into build/screens/folder_browser/; the copying screen at phone size is
// guarded by a golden.

#include "TestFolderScreen.h"

#include "App/FolderBrowser/VKOperationProgressView.h"

#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/ProgressView.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Toolbar.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"

#include <fmt/format.h>

namespace {

using BrowserOperation = VKBrowserOperation;
using test::TestFolderScreen;

class FolderScreenBaseScreensTest : public test::FolderScreenTestCase {
protected:
    std::shared_ptr<TestFolderScreen> showOn(const test::DeviceScreen& device)
    {
        test::useDeviceScreen(window(), device);
        screen = show(TestFolderScreen::create("Documents"));
        return screen;
    }
    // Copying 3 items, 40 % done.
    void startCopy()
    {
        auto run = BrowserOperation::startOperationWithLabel("Copying 3 Items", false);
        BrowserOperation::setOperationProgress(0.4f, run);
        runLoop();
    }

    // Every item inside the bar, apart, in order; buttons a whole touch
    // wide; the middle item between its neighbours with room to spare.
    void expectTidyToolbar(float height)
    {
        auto& toolbar = navigation->toolbar();
        toolbar.layoutIfNeeded();
        EXPECT_EQ(toolbar.frame().height(), height);
        const auto& items = screen->toolbarItems();
        ASSERT_EQ(items.size(), 6u);
        float previous = 0;
        for (size_t i : { 0, 1, 3, 5 }) {
            auto view = items[i]->view();
            ASSERT_TRUE(view) << i;
            gfx::Rect frame = view->frame();
            EXPECT_GE(frame.minX(), previous) << i;
            EXPECT_GE(frame.minY(), 0) << i;
            EXPECT_LE(frame.maxY(), height) << i;
            EXPECT_LE(frame.maxX(), toolbar.bounds().width()) << i;
            previous = frame.maxX();
        }
        EXPECT_GE(items[1]->view()->frame().width(), 44);
        EXPECT_GE(items[5]->view()->frame().width(), 44);
        // Even margins: the help button stands as far from the right edge
        // as the server button from the left.
        EXPECT_EQ(toolbar.bounds().width() - items[5]->view()->frame().maxX(), items[0]->view()->frame().minX());
        gfx::Rect centre = items[3]->view()->frame();
        EXPECT_GE(centre.minX(), items[1]->view()->frame().maxX() + 5);
        EXPECT_LE(centre.maxX(), items[5]->view()->frame().minX() - 5);
    }
    // The label whole inside the progress view, and the bar under it or
    // the spinner beside it.
    void expectTidyProgress(const std::string& text, bool indeterminate)
    {
        auto* progress = screen->barItems().progressView();
        ASSERT_TRUE(progress);
        progress->layoutIfNeeded();
        EXPECT_EQ(progress->text(), text);
        EXPECT_EQ(progress->isIndeterminate(), indeterminate);
        gfx::Rect bounds = progress->bounds();
        gfx::Rect label = progress->label().frame();
        gfx::Rect indicator = progress->indicator().frame();
        EXPECT_TRUE(bounds.contains(label)) << label.width();
        EXPECT_TRUE(bounds.contains(indicator));
        EXPECT_FALSE(label.intersects(indicator));
        // Whole, at worst shrunk to the label's minimum size.
        float needed = ui::Fonts::sizeOfString(text, ui::Fonts::boldSystemFont(progress->label().minimumFontSize())).width;
        EXPECT_LE(needed, label.width() + 0.5f);
        if (!indeterminate) {
            EXPECT_LE(label.maxY(), bounds.midY());
            EXPECT_GE(indicator.minY(), bounds.midY());
        }
    }
    void shoot(const std::string& name)
    {
        test::saveScreen(driver, sourcePath("build/screens/folder_browser"), name, gfx::Screen::main().scale());
    }

    std::shared_ptr<TestFolderScreen> screen;
};

TEST_F(FolderScreenBaseScreensTest, GoldenOfTheCopyAtPhoneSize)
{
    showOn(test::phoneScreen);
    startCopy();
    auto picture = ui::Renderer::renderScreenImage(ui::RenderOptions {});
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "folder-base-copying-phone-portrait"));
}

TEST_F(FolderScreenBaseScreensTest, ThreeStatesAtPhoneAndTabletSizeInBothOrientations)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    for (const auto* device : { &test::phoneScreen, &test::tabletScreen }) {
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
            bool upright = orientation == ui::Orientation::Portrait;
            std::string suffix = fmt::format("{}-{}", device->name, upright ? "portrait" : "landscape");
            SCOPED_TRACE(suffix);
            showOn(*device);
            if (!upright) {
                ASSERT_TRUE(driver.rotate(orientation));
            }
            advance(1);
            float height = !upright && !device->tablet ? 32 : 44;

            expectTidyToolbar(height);
            EXPECT_EQ(screen->folderInfoLabel()->text(), "12 Items, 3.4 MB");
            shoot("base-idle-" + suffix);

            startCopy();
            expectTidyToolbar(height);
            expectTidyProgress("Copying 3 Items", false);
            auto cancel = screen->navigationItem().rightBarButtonItem();
            ASSERT_TRUE(cancel);
            EXPECT_EQ(cancel->title(), "Cancel");
            shoot("base-copying-" + suffix);
            driver.tapBarItem(*cancel);
            advance(0.2);
            runLoop();
            EXPECT_FALSE(BrowserOperation::isOperationInProgress());
            EXPECT_EQ(screen->centreItem(), screen->barItems().folderInfoItem());

            BrowserOperation::startOperationWithLabel("Expanding Archive.zip", true);
            advance(0.5);
            expectTidyToolbar(height);
            expectTidyProgress("Expanding Archive.zip", true);
            EXPECT_TRUE(dynamic_cast<ui::ActivityIndicator&>(screen->barItems().progressView()->indicator()).isAnimating());
            shoot("base-expanding-" + suffix);
            finishOperation();

            if (!upright) {
                ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
                advance(1);
            }
        }
    }
}

} // namespace
