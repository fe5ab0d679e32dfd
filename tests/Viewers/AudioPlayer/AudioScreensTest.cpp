// The audio player screen as a person sees it: playing "Track 2" of 5 with
// repeat all, shuffle on, buffering, the error alert, the document sheet
// and the time slider mid-drag, at phone and tablet size in both
// orientations with real text into build/screens/audio/. Playing (phone,
// both orientations) and buffering (tablet portrait) are goldens drawn with
// the deterministic text engine. The screen also turns each way, open or
// pushed over a list already turned.

#include "AudioPlayerTestCase.h"

#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/Window.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"
#include "Viewers/AudioPlayer/VKAudioPlayerView.h"
#include "Viewers/AudioPlayer/VKAudioSlider.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

namespace {

using Screen = VKAudioPlayerController;

class AudioScreensTest : public test::AudioPlayerTestCase {
protected:
    void SetUp() override
    {
        AudioPlayerTestCase::SetUp();
        if (s_track.empty())
            GTEST_SKIP() << "sox or lame missing";
        makeTracks(5);
        makeFile("Music/Broken.mp3", "");
        core::UserDefaults::standard()->set(Screen::RepeatModeKey, core::Value(int(Screen::RepeatAll)));
    }

    void showFolder(const test::DeviceScreen& device, ui::Orientation orientation)
    {
        test::useDeviceScreen(*appWindow, device);
        appWindow->setRootViewController(nullptr);
        auto list = std::make_shared<ui::TableViewController>();
        list->setTitle("Music");
        navigation = VKNavigationController::create(list);
        navigation->setToolbarHidden(false);
        appWindow->setRootViewController(navigation);
        runLoop();
        // The list alone stays upright: the device turns once a screen is open.
        driver.rotate(ui::Orientation::Portrait);
        advance(1);
        turnTo = orientation;
    }
    ui::Orientation turnTo = ui::Orientation::Portrait;
    void turn()
    {
        if (ui::Application::shared()->statusBarOrientation() == turnTo)
            return;
        EXPECT_TRUE(driver.rotate(turnTo));
        advance(1);
    }
    // The screen on Track 2, 7 s in (the clock does not move while the
    // picture is taken).
    std::shared_ptr<Screen> openTrack2()
    {
        auto screen = open(2);
        turn();
        screen->setCurrentTime(7);
        advance(0.6);
        return screen;
    }
    void shoot(const std::string& name)
    {
        test::saveScreen(driver, sourcePath("build/screens/audio"), name, gfx::Screen::main().scale());
    }
    void close(const std::shared_ptr<Screen>& screen)
    {
        if (navigation->topViewController() == screen.get())
            navigation->popViewController(false);
        runLoop();
    }

    void shootAll(const test::DeviceScreen& device)
    {
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeRight }) {
            std::string suffix = fmt::format("{}-{}", orientation == ui::Orientation::Portrait ? "portrait" : "landscape",
                device.name);
            showFolder(device, orientation);
            core::UserDefaults::standard()->set(Screen::ShuffleKey, core::Value(false));
            auto screen = openTrack2();
            shoot("playing-" + suffix);

            screen->audioPlayerView()->setBuffering(true);
            shoot("buffering-" + suffix);
            screen->audioPlayerView()->setBuffering(false);
            screen->audioPlayerView()->setNotice("No sound output is available");
            shoot("no-sound-" + suffix);
            screen->audioPlayerView()->setNotice("");

            driver.tapBarItem(VKViewController::ShowDocumentActionSheetAction);
            advance(1);
            shoot("document-sheet-" + suffix);
            if (driver.actionSheet()->isAnchored())
                driver.tapOutsideSheet();
            else
                driver.pressSheetButton("Cancel");
            advance(1);

            // Mid-drag: the labels follow the thumb, nothing seeks yet.
            screen->pause();
            auto& slider = *screen->audioPlayerView()->timeSlider();
            gfx::Rect thumb = slider.virtualThumbRect();
            gfx::Rect track = slider.trackRectForBounds(slider.bounds());
            auto fingers = driver.touchDown({ slider.convertPoint({ thumb.midX(), thumb.midY() }, nullptr) });
            driver.wait(0.1);
            driver.touchMove({ { fingers[0], slider.convertPoint({ track.x() + track.width() * 0.6f, thumb.midY() }, nullptr) } });
            shoot("slider-drag-" + suffix);
            driver.touchUp(fingers);
            close(screen);

            core::UserDefaults::standard()->set(Screen::ShuffleKey, core::Value(true));
            screen = open(3);
            turn();
            shoot("shuffle-" + suffix);
            close(screen);
            core::UserDefaults::standard()->set(Screen::ShuffleKey, core::Value(false));

            // The alert comes up as the screen starts: the device turns
            // before, since an alert on screen holds the orientation.
            screen = VKAudioPlayerController::create(VKFileResource::resourceWithPath(pathInHome("Music/Broken.mp3")), host);
            navigation->pushViewController(screen, false);
            turn();
            advance(1);
            shoot("error-alert-" + suffix);
            driver.pressAlertButton("OK");
            advance(1);
            close(screen);
        }
        appWindow->setRootViewController(nullptr);
        navigation.reset();
    }

    bool golden(const std::string& name)
    {
        ui::RenderOptions options;
        auto picture = ui::Renderer::renderScreenImage(options);
        return picture && test::matchesGolden(*picture, sourcePath(""), name);
    }
};

TEST_F(AudioScreensTest, GoldenScreens)
{
    showFolder(test::phoneScreen, ui::Orientation::Portrait);
    auto screen = openTrack2();
    screen->pause();
    EXPECT_TRUE(golden("audio-playing-phone-portrait"));
    close(screen);

    showFolder(test::phoneScreen, ui::Orientation::LandscapeRight);
    screen = openTrack2();
    screen->pause();
    EXPECT_TRUE(golden("audio-playing-phone-landscape"));
    close(screen);

    showFolder(test::tabletScreen, ui::Orientation::Portrait);
    screen = openTrack2();
    screen->pause();
    screen->audioPlayerView()->setBuffering(true);
    EXPECT_TRUE(golden("audio-buffering-tablet-portrait"));
    close(screen);
}

TEST_F(AudioScreensTest, ScreensWithRealTextAtPhoneSize)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    shootAll(test::phoneScreen);
}

TEST_F(AudioScreensTest, ScreensWithRealTextAtTabletSize)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    shootAll(test::tabletScreen);
}

// A list that turns, as the folder screens do.
class TurningMusicList : public ui::TableViewController {
public:
    bool shouldAutorotate(ui::Orientation) override { return true; }
};

TEST_F(AudioScreensTest, TheScreenTurnsEachWayAndOpensTurned)
{
    // The screen and its time row fill the turned window, whether the
    // device turns with it open or before it is pushed over a turned list.
    auto fillsTurned = [&](Screen& screen) {
        bool landscape = ui::isLandscape(ui::Application::shared()->statusBarOrientation());
        gfx::Size size = landscape ? gfx::Size { 480, 320 } : gfx::Size { 320, 480 };
        auto* view = screen.audioPlayerView();
        auto& slider = *view->timeSlider();
        float sliderEnd = slider.convertRect(slider.bounds(), view).maxX();
        return screen.view()->bounds().size == size && view->frame().size == size && sliderEnd > size.width - 80
            && sliderEnd < size.width;
    };
    showFolder(test::phoneScreen, ui::Orientation::Portrait);
    auto screen = open(2);
    for (auto orientation : { ui::Orientation::LandscapeRight, ui::Orientation::PortraitUpsideDown,
             ui::Orientation::LandscapeLeft, ui::Orientation::Portrait }) {
        EXPECT_TRUE(driver.rotate(orientation)) << int(orientation);
        advance(1);
        EXPECT_TRUE(fillsTurned(*screen)) << int(orientation);
    }
    close(screen);

    navigation = VKNavigationController::create(std::make_shared<TurningMusicList>());
    appWindow->setRootViewController(navigation);
    runLoop();
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    advance(1);
    screen = VKAudioPlayerController::create(track(3), host);
    navigation->pushViewController(screen, true);
    advance(1);
    EXPECT_TRUE(fillsTurned(*screen));
    EXPECT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
    EXPECT_TRUE(fillsTurned(*screen));
    close(screen);
    appWindow->setRootViewController(nullptr);
    navigation.reset();
}

} // namespace
