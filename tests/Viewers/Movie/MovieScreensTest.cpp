// The movie screen as a person sees it: the picture with the bars hidden,
// the player's controls over it, the end with the bars, the failure alert,
// the TV prompt, and the device's controls beside the second screen's
// picture. Rendered with real text at phone and tablet size in both
// orientations into build/screens/movie/; two are compared with goldens
// drawn with the deterministic text engine.

#include "MovieTestCase.h"

#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/Media/Movie/MoviePlayerController.h"
#include "Platform/Media/Movie/MovieView.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/ScreenWindows.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/Window.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"
#include "Viewers/Movie/VKMovieControls.h"

#include <fmt/format.h>

namespace test {
namespace {

class MovieFolder : public ui::TableViewController {
public:
    bool shouldAutorotate(ui::Orientation) override { return true; }
};

class MovieScreensTest : public MovieTestCase {
protected:
    std::shared_ptr<VKMoviePlayerController> show(const DeviceScreen& device, ui::Orientation orientation)
    {
        useDeviceScreen(*appWindow, device);
        appWindow->setRootViewController(nullptr);
        auto list = std::make_shared<MovieFolder>();
        list->setTitle("Movies");
        navigation = VKNavigationController::create(list);
        navigation->setToolbarHidden(false);
        appWindow->setRootViewController(navigation);
        runLoop();
        if (application().statusBarOrientation() != orientation) {
            EXPECT_TRUE(driver.rotate(orientation));
            advance(1);
        }
        auto screen = open();
        advance(1);
        return screen;
    }
    void close()
    {
        appWindow->setRootViewController(nullptr);
        navigation.reset();
        advance(1);
    }
    void shoot(const std::string& name) { saveScreen(driver, sourcePath("build/screens/movie"), name, gfx::Screen::main().scale()); }

    void shootAll(const DeviceScreen& device)
    {
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeRight }) {
            std::string suffix = fmt::format("{}-{}", device.name, orientation == ui::Orientation::Portrait ? "portrait" : "landscape");
            FakeMovieEngine::script() = {};
            auto screen = show(device, orientation);
            auto* view = screen->movieController()->view().get();
            view->setControlsVisible(false);
            advance(0.5);
            shoot("picture-" + suffix);
            view->setControlsVisible(true);
            advance(0.1);
            shoot("controls-" + suffix);
            close();

            FakeMovieEngine::script().soundOutput = false;
            screen = show(device, orientation);
            screen->movieController()->view()->setControlsVisible(true);
            advance(0.1);
            shoot("no-sound-" + suffix);
            screen->movieController()->setCurrentPlaybackTime(59.5);
            advance(1);
            shoot("end-" + suffix);
            close();

            FakeMovieEngine::script().prerollsByItself = false;
            screen = show(device, orientation);
            FakeMovieEngine::last()->fail();
            advance(1);
            shoot("error-" + suffix);
            driver.pressAlertButton("OK");
            close();

            FakeMovieEngine::script() = {};
            auto tv = driver.connectScreen({ 0, 0, 1280, 720 }, 1);
            screen = show(device, orientation);
            shoot("tv-prompt-" + suffix);
            driver.pressAlertButton("Use TV");
            advance(1.2);
            shoot("tv-controls-" + suffix);
            ui::RenderOptions options;
            options.realText = true;
            core::Error error;
            EXPECT_TRUE(ui::renderScreenToPNG(*tv, sourcePath("build/screens/movie") + "/tv-window-" + suffix + ".png", options, &error))
                << error.localizedDescription();
            driver.disconnectScreen(tv);
            close();
        }
    }
};

TEST_F(MovieScreensTest, GoldenScreens)
{
    auto screen = show(phoneScreen, ui::Orientation::Portrait);
    screen->movieController()->view()->setControlsVisible(true);
    screen->movieController()->pause();
    advance(0.5);
    ui::RenderOptions options;
    auto controls = ui::Renderer::renderScreenImage(options);
    ASSERT_TRUE(controls);
    EXPECT_TRUE(matchesGolden(*controls, sourcePath(""), "movie-controls-phone-portrait"));
    close();

    auto tv = driver.connectScreen({ 0, 0, 1280, 720 }, 1);
    screen = show(phoneScreen, ui::Orientation::LandscapeRight);
    driver.pressAlertButton("Use TV");
    advance(0.1);
    screen->movieController()->setCurrentPlaybackTime(65);
    screen->movieController()->pause();
    advance(1.2);
    auto device = ui::Renderer::renderScreenImage(options);
    ASSERT_TRUE(device);
    EXPECT_TRUE(matchesGolden(*device, sourcePath(""), "movie-tv-controls-phone-landscape"));
    driver.disconnectScreen(tv);
    close();
}

TEST_F(MovieScreensTest, ScreensWithRealTextAtPhoneSize)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    shootAll(phoneScreen);
}

TEST_F(MovieScreensTest, ScreensWithRealTextAtTabletSize)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    shootAll(tabletScreen);
}

} // namespace
} // namespace test
