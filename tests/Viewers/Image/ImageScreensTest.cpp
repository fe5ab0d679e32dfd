// The image viewer's screens as a person sees them: a photo at fit with
// its bars, at actual size panned, half-way through a push, the slide show
// with its bars hidden, a cloud picture's progress, the too-large alert,
// the sheet, the slide show on a second screen, the three slide-show
// settings pages, a large drawing and a picture with transparent parts.
// Rendered with real text at phone and tablet size in both orientations
// into build/screens/image/; three are compared with goldens drawn with
// the deterministic text engine.

#include "ImageViewerTestCase.h"

#include "Viewers/Image/VKImageLayer.h"
#include "Viewers/Image/VKImageView.h"

#include "App/Settings/VKSlideShowSettingsController.h"
#include "App/Settings/VKSlideShowTimeoutSettingsController.h"
#include "App/Settings/VKSlideShowTransitionSettingsController.h"
#include "Shell/Interface/VKPlaceholderView.h"
#include "Shell/VKNavigationController.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/ProgressView.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/ScreenWindows.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/Window.h"
#include "Support/Command.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"

#include <fmt/format.h>

namespace test {
namespace {

// The folder the viewer came from, turning with the device.
class Folder : public ui::TableViewController {
public:
    bool shouldAutorotate(ui::Orientation) override { return true; }
};

class StartRecorder : public VKSlideShowSettingsControllerDelegate {
public:
    void slideShowSettingsControllerDidSelectStartSlideShowButton(VKSlideShowSettingsController&) override { }
};

class ImageScreensTest : public ImageViewerTestCase {
protected:
    void SetUp() override
    {
        ImageViewerTestCase::SetUp();
        const char* scenes[][3] = {
            { "Harbour.jpg", "gradient:#7fb8e6-#1f5f3a", "circle 600,420 600,260" },
            { "Dunes.jpg", "gradient:#f6d49a-#b5651d", "rectangle 200,500 1000,700" },
            { "Lake.jpg", "gradient:#b3d9ff-#0b3d91", "ellipse 600,450 300,120 0,360" },
        };
        for (auto& [name, gradient, shape] : scenes) {
            std::string path = pathInHome(std::string("Pictures/") + name);
            ASSERT_EQ(runCommand({ "convert", "-size", "1200x900", gradient, "-fill", "#f0a030", "-draw", shape, "-quality",
                          "90", path })
                          .status,
                0);
            host->files.push_back(VKFileResource::resourceWithPath(path));
        }
        // A drawing far larger than any screen, and a picture with
        // transparent parts over the viewer's background.
        makeFile("Pictures/Plan.svg",
            "<svg xmlns='http://www.w3.org/2000/svg' width='4096' height='4096'><rect width='4096' height='4096' "
            "fill='#f4f1e8'/><circle cx='2048' cy='2048' r='1600' fill='none' stroke='#1f5f3a' stroke-width='120'/>"
            "<rect x='1200' y='1200' width='1696' height='1696' fill='#f0a030'/></svg>");
        ASSERT_EQ(runCommand({ "convert", "-size", "600x400", "xc:none", "-fill", "#1f5f3a", "-draw", "circle 300,200 300,40",
                      pathInHome("Pictures/Logo.png") })
                      .status,
            0);
    }

    void showFolder(const DeviceScreen& device, ui::Orientation orientation)
    {
        useDeviceScreen(window(), device);
        window().makeKeyAndVisible();
        window().setRootViewController(nullptr);
        auto list = std::make_shared<Folder>();
        list->setTitle("Pictures");
        navigation = VKNavigationController::create(list);
        navigation->setToolbarHidden(false);
        window().setRootViewController(navigation);
        runLoop();
        if (application().statusBarOrientation() != orientation) {
            ASSERT_TRUE(driver.rotate(orientation));
            advance(1);
        }
        open(host->files[0]);
        advance(1);
    }
    void close()
    {
        viewer->stopSlideShowAndUpdateButton(false);
        window().setRootViewController(nullptr);
        navigation.reset();
        viewer.reset();
        advance(1);
    }
    void shoot(const std::string& name)
    {
        saveScreen(driver, sourcePath("build/screens/image"), name, gfx::Screen::main().scale());
    }
    void shootSettings(ui::ViewController& presenter, const std::string& suffix)
    {
        auto page = VKSlideShowSettingsController::slideShowSettingsController();
        auto recorder = std::make_shared<StartRecorder>();
        page->setDelegate(recorder);
        auto navigation = VKNavigationController::create(page);
        presenter.presentModalViewController(navigation, false);
        advance(1);
        shoot("settings-" + suffix);
        page->timeoutController()->presentUsingNavigationController(*navigation, false);
        advance(1);
        shoot("settings-timeout-" + suffix);
        navigation->popViewController(false);
        page->transitionController()->presentUsingNavigationController(*navigation, false);
        advance(1);
        shoot("settings-transition-" + suffix);
        presenter.dismissModalViewController(false);
        advance(1);
    }

    void shootAll(const DeviceScreen& device)
    {
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeRight }) {
            std::string suffix = fmt::format("{}-{}", orientation == ui::Orientation::Portrait ? "portrait" : "landscape",
                device.name);
            showFolder(device, orientation);
            shoot("photo-fit-" + suffix);

            imageView().setZoom(1.0f);
            advance(1);
            driver.dragAndHold(imageView(), -120, -80);
            advance(1);
            shoot("photo-actual-size-panned-" + suffix);
            imageView().setZoom(imageView().getZoomToFit());
            advance(1);

            viewer->setUIHidden(false, false);
            driver.tapBarItem(*viewer->nextImageButtonItem());
            waitForLoad();
            advance(0.125);
            shoot("push-half-way-" + suffix);
            advance(1);

            driver.tapBarItem(*viewer->slideShowButtonItem());
            advance(1.5);
            shoot("slideshow-" + suffix);
            viewer->stopSlideShowAndUpdateButton(true);
            viewer->setUIHidden(false, false);
            advance(1);

            viewer->showDocumentActionSheet(nullptr);
            advance(1);
            shoot("sheet-" + suffix);
            if (driver.actionSheet()->isAnchored())
                driver.tapOutsideSheet();
            else
                driver.pressSheetButton("Cancel");
            advance(1);

            // A picture still in the cloud, 40 % fetched.
            imageView().loadImage(VKImageViewController::transparentImagePlaceholder());
            viewer->showCloudDownloadProgressView();
            viewer->placeholderView()->progressView()->setProgress(0.4f);
            advance(1);
            shoot("cloud-progress-" + suffix);
            viewer->hideCloudDownloadProgressView();

            shootSettings(*viewer, suffix);
            close();

            // A header that claims 100,000 by 100,000 pixels.
            std::string huge = makeFile("Pictures/Huge.png",
                std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\x01\x86\xA0\0\x01\x86\xA0\x08\x02\0\0\0\0\0\0\0", 33));
            showFolder(device, orientation);
            viewer->startImageLoadForResource(VKFileResource::resourceWithPath(huge), std::nullopt, 0);
            waitForLoad();
            advance(1);
            shoot("too-large-" + suffix);
            driver.pressAlertButton("OK");
            advance(1);
            for (const char* name : { "Plan.svg", "Logo.png" }) {
                viewer->startImageLoadForResource(VKFileResource::resourceWithPath(pathInHome(std::string("Pictures/") + name)),
                    std::nullopt, 0);
                waitForLoad();
                advance(1);
                shoot(fmt::format("{}-{}", name, suffix));
            }
            close();
        }
    }
};

TEST_F(ImageScreensTest, GoldenScreens)
{
    showFolder(phoneScreen, ui::Orientation::Portrait);
    ui::RenderOptions options;
    auto bars = ui::Renderer::renderScreenImage(options);
    ASSERT_TRUE(bars);
    EXPECT_TRUE(matchesGolden(*bars, sourcePath(""), "image-viewer-bars-phone-portrait"));

    auto page = VKSlideShowSettingsController::slideShowSettingsController();
    auto settings = VKNavigationController::create(page);
    viewer->presentModalViewController(settings, false);
    advance(1);
    auto main = ui::Renderer::renderScreenImage(options);
    ASSERT_TRUE(main);
    EXPECT_TRUE(matchesGolden(*main, sourcePath(""), "image-slideshow-settings-phone-portrait"));
    viewer->dismissModalViewController(false);
    advance(1);
    close();

    showFolder(phoneScreen, ui::Orientation::LandscapeRight);
    driver.tapBarItem(*viewer->nextImageButtonItem());
    waitForLoad();
    advance(0.15);
    auto push = ui::Renderer::renderScreenImage(options);
    ASSERT_TRUE(push);
    EXPECT_TRUE(matchesGolden(*push, sourcePath(""), "image-push-half-way-phone-landscape"));
    advance(1);
    close();
}

TEST_F(ImageScreensTest, ScreensWithRealTextAtPhoneSize)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    shootAll(phoneScreen);
}

TEST_F(ImageScreensTest, ScreensWithRealTextAtTabletSize)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    shootAll(tabletScreen);
}

TEST_F(ImageScreensTest, SlideShowOnASecondScreen)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    core::UserDefaults::standard()->set("VKSlideShowUseTVOut", core::Value(true));
    showFolder(phoneScreen, ui::Orientation::Portrait);
    auto screen = driver.connectScreen({ 0, 0, 640, 480 }, 1);
    driver.tapBarItem(*viewer->slideShowButtonItem());
    advance(1.5);
    shoot("external-main-portrait-phone");
    ui::RenderOptions options;
    options.realText = true;
    core::Error error;
    EXPECT_TRUE(ui::renderScreenToPNG(*screen, sourcePath("build/screens/image") + "/external-window-640x480.png", options, &error))
        << error.localizedDescription();
    driver.disconnectScreen(screen);
    close();
}

} // namespace
} // namespace test
