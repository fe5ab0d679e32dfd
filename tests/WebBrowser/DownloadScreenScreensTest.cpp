// The downloads screen with real text at phone and tablet size, both ways
// up (build/screens/webbrowser/download-screen-*.png): the Browser tab with
// a badge, the Downloads tab, the destination sheet and the folder picker;
// and a golden of the tab toolbar in phone landscape.

#include "DownloadScreenTestCase.h"

#include "App/FolderBrowser/VKFolderController.h"
#include "App/FolderBrowser/VKFolderPickerController.h"
#include "Shell/Interface/VKTabBarButton.h"
#include "Shell/VKNavigationController.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Window.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"
#include "WebBrowser/VKDownloadViewController.h"
#include "WebBrowser/VKRegisterWebBrowser.h"

#include <fmt/format.h>

namespace {

using test::RotatingNavigation;

class DownloadScreenScreensTest : public test::DownloadScreenTestCase {
protected:
    void SetUp() override
    {
        DownloadScreenTestCase::SetUp();
        server->setResource("a", "length=100000&stall_after=1000&token=a&disposition=Holiday%20Photos.zip");
        server->setResource("b", fmt::format("length={}&stall_after={}&token=b&disposition=Annual%20Report.pdf", 4 << 20, 1 << 20));
        running = { start("/resource/a"), start("/resource/b") };
        waitFor([&] { return running[0]->size() == 1000 && running[1]->size() == uint64_t(1 << 20); });
    }
    void TearDown() override
    {
        if (root && root->modalViewController())
            root->dismissModalViewController(false);
        window().setRootViewController(nullptr);
        screen.reset();
        root.reset();
        server->release("a");
        server->release("b");
        waitFor([&] { return !manager()->hasActiveDownloads(); });
        DownloadScreenTestCase::TearDown();
    }
    void open(const test::DeviceScreen& device)
    {
        if (root && root->modalViewController())
            root->dismissModalViewController(false);
        window().setRootViewController(nullptr);
        screen.reset();
        this->device = device;
        test::useDeviceScreen(window(), device);
        root = std::make_shared<RotatingNavigation>();
        root->setViewControllers({ VKFolderController::create(VKFileResource::resourceWithPath(documents())) }, false);
        window().setRootViewController(root);
        advance(1);
        screen = VKDownloadViewController::initWithCurrentFolder(VKFileResource::resourceWithPath(documents()));
        root->presentModalViewController(screen, false);
        advance(1);
    }
    void shootAll(const test::DeviceScreen& device);

    std::vector<std::shared_ptr<VKDownloadFileResource>> running;
    std::shared_ptr<RotatingNavigation> root;
    std::shared_ptr<VKDownloadViewController> screen;
};

void DownloadScreenScreensTest::shootAll(const test::DeviceScreen& device)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
        open(device);
        screen->showWebBrowser();
        advance(1);
        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(orientation));
            advance(1);
        }
        shoot("download-screen", "browser");
        screen->webBrowserControllerHandleDownloadForRequest(*screen->webBrowserController(), request("/bytes/10"));
        advance(1);
        shoot("download-screen", "destination-sheet");
        driver.pressSheetButton("Choose a Folder");
        advance(1);
        shoot("download-screen", "folder-picker");
        if (auto picker = std::dynamic_pointer_cast<VKFolderPickerController>(screen->modalViewController() ? screen->modalViewController()->sharedAs<ui::ViewController>() : nullptr))
            screen->didCancelFolderPickerController(*picker);
        advance(1);
        screen->downloadHistoryButton()->sendActions(ui::Control::TouchDown);
        advance(1);
        shoot("download-screen", "downloads");
        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
            advance(1);
        }
    }
}

TEST_F(DownloadScreenScreensTest, Phone)
{
    shootAll(test::phoneScreen);
}

TEST_F(DownloadScreenScreensTest, Tablet)
{
    shootAll(test::tabletScreen);
}

// The tab toolbar on the phone turned (a 32-point bar): items spaced out,
// tabs and badge whole.
TEST_F(DownloadScreenScreensTest, TabToolbarGolden)
{
    core::UserDefaults::standard()->set(VKDownloadViewController::CurrentDownloadViewKey, core::Value(int64_t(0)));
    open(test::phoneScreen);
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    advance(1);
    ui::Toolbar& bar = screen->toolbar();
    EXPECT_FLOAT_EQ(bar.bounds().height(), 32);
    EXPECT_EQ(screen->downloadHistoryButton()->badgeValue(), "2");
    auto picture = ui::Renderer::renderImage(bar);
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "download-screen-toolbar-phone-landscape"));
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
}

} // namespace
