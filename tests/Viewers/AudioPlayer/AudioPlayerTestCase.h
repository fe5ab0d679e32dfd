#pragma once

// The audio player screen's tests: tracks made by sox and lame ("Track
// 1.mp3" ...) in a folder of the test's home, a folder screen that lists
// them, the browser's navigation stack with its toolbar, hooks whose
// remote-control player is the screen that last made a player, and the
// null sink playing on the manual clock.

#include "Viewers/AudioPlayer/VKAudioPlayerController.h"

#include "Shell/VKNavigationController.h"
#include "Shell/VKWindow.h"
#include "App/Viewers/VKViewerFolderHost.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Object.h"
#include "Support/StubFolderHost.h"
#include "Support/UITestCase.h"

#include "../../Shell/FakeAppDelegateHooks.h"

#include <memory>
#include <string>
#include <vector>

namespace test {

class AudioHooks : public FakeAppDelegateHooks {
public:
    std::shared_ptr<VKAudioPlayerRemoteControl> mostRecentAudioPlayer() const override
    {
        return VKAudioPlayerController::mostRecentAudioPlayer();
    }
    bool isAudioPlayerPlaying() const override { return VKAudioPlayerController::isAnyPlaying(); }
    bool isRootPasscodeControllerActive() const override { return passcodeActive; }
    bool passcodeActive = false;
};

// A folder screen listing `tracks` (the audio rows, in its order).
class PlaylistHost : public StubFolderHost {
public:
    std::vector<std::shared_ptr<VKFileResource>> getAllViewableResourcesWithType(const std::optional<std::string>&) override
    {
        return tracks;
    }
    std::vector<std::shared_ptr<VKFileResource>> tracks;
};

class AudioPlayerTestCase : public UITestCase {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    std::shared_ptr<ui::Application> makeApplication() override;
    void SetUp() override;
    void TearDown() override;

    // "Music/Track 1.mp3" … "Track <count>.mp3", 20 s each, listed by the
    // host in `order` (1-based numbers; all in number order when empty).
    void makeTracks(int count, std::vector<int> order = {});
    std::shared_ptr<VKFileResource> track(int number);
    // Opens the screen on the track, pushed unanimated, and lets it start.
    std::shared_ptr<VKAudioPlayerController> open(int number);
    std::shared_ptr<VKAudioPlayerController> open(const std::shared_ptr<VKFileResource>& resource);
    // Plays on the manual clock for `seconds` (in tenths).
    void play(double seconds);
    std::string trackName(VKAudioPlayerController& screen);
    std::string playlistInfo(VKAudioPlayerController& screen);
    bool isOnScreen(VKAudioPlayerController& screen);

    std::shared_ptr<AudioHooks> hooks;
    std::shared_ptr<PlaylistHost> host;
    std::shared_ptr<VKNavigationController> navigation;
    // The application's window, which hands remote-control commands on.
    std::shared_ptr<VKWindow> appWindow;
    static std::string s_track;
};

} // namespace test
