#include "AudioPlayerTestCase.h"

#include "Shell/VKApplication.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Window.h"
#include "Viewers/ListInAppWindow.h"
#include "Support/Media/AudioFixtures.h"
#include "Viewers/AudioPlayer/VKAudioPlayerView.h"

#include <filesystem>
#include <fmt/format.h>

namespace test {

std::string AudioPlayerTestCase::s_track;

void AudioPlayerTestCase::SetUpTestSuite()
{
    if (!AudioFixtures::havePeers())
        return;
    // One 20-second track, copied under every name a test wants.
    std::string directory = (std::filesystem::temp_directory_path() / fmt::format("tandry-audio-{}", ::getpid())).string();
    std::filesystem::create_directories(directory);
    AudioFixtures fixtures(directory);
    AudioTone tone;
    tone.rate = 22050;
    tone.channels = 1;
    tone.seconds = 20;
    s_track = fixtures.mp3("track.mp3", { "-b", "32" }, tone);
}

void AudioPlayerTestCase::TearDownTestSuite()
{
    if (!s_track.empty())
        std::filesystem::remove_all(std::filesystem::path(s_track).parent_path());
    s_track.clear();
}

std::shared_ptr<ui::Application> AudioPlayerTestCase::makeApplication()
{
    return VKApplication::create();
}

void AudioPlayerTestCase::SetUp()
{
    UITestCase::SetUp();
    hooks = std::make_shared<AudioHooks>();
    VKAppDelegateHooks::setCurrent(hooks);
    host = std::make_shared<PlaylistHost>();
    host->folder = VKFileResource::resourceWithPath(makeFolder("Music"));
    test::showListInAppWindow("Music", window().frame(), navigation, appWindow);
    application().becomeActive();
    runLoop();
}

void AudioPlayerTestCase::TearDown()
{
    test::closeListInAppWindow(navigation, appWindow);
    host.reset();
    runLoop();
    VKAudioPlayerController::resetForTesting();
    VKAppDelegateHooks::setCurrent(nullptr);
    UITestCase::TearDown();
}

void AudioPlayerTestCase::makeTracks(int count, std::vector<int> order)
{
    for (int number = 1; number <= count; ++number) {
        std::string path = pathInHome(fmt::format("Music/Track {}.mp3", number));
        std::filesystem::copy_file(s_track, path, std::filesystem::copy_options::overwrite_existing);
    }
    if (order.empty())
        for (int number = 1; number <= count; ++number)
            order.push_back(number);
    host->tracks.clear();
    for (int number : order)
        host->tracks.push_back(track(number));
}

std::shared_ptr<VKFileResource> AudioPlayerTestCase::track(int number)
{
    return VKFileResource::resourceWithPath(pathInHome(fmt::format("Music/Track {}.mp3", number)));
}

std::shared_ptr<VKAudioPlayerController> AudioPlayerTestCase::open(int number)
{
    return open(track(number));
}

std::shared_ptr<VKAudioPlayerController> AudioPlayerTestCase::open(const std::shared_ptr<VKFileResource>& resource)
{
    auto screen = VKAudioPlayerController::create(resource, host);
    navigation->pushViewController(screen, false);
    runLoop();
    runLoop();
    return screen;
}

void AudioPlayerTestCase::play(double seconds)
{
    auto& loop = core::RunLoop::main();
    for (double t = 0; t < seconds - 1e-9; t += 0.1) {
        loop.runUntil([] { return false; }, 0.002);
        loop.advance(0.1);
    }
    runLoop();
}

std::string AudioPlayerTestCase::trackName(VKAudioPlayerController& screen)
{
    return screen.audioPlayerView() ? screen.audioPlayerView()->trackName()->text() : std::string();
}

std::string AudioPlayerTestCase::playlistInfo(VKAudioPlayerController& screen)
{
    return screen.audioPlayerView() ? screen.audioPlayerView()->playlistInfo()->text() : std::string();
}

bool AudioPlayerTestCase::isOnScreen(VKAudioPlayerController& screen)
{
    return navigation->topViewController() == &screen;
}

} // namespace test
