#include "AudioTestSupport.h"

#include "Audio/VKMediaFilePlayer.h"
#include "Shell/VKApplication.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Net/URLError.h"
#include "Support/Command.h"
#include "Support/UITestCase.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

class VKAudioPlayerTest : public test::UITestCase {
protected:
    std::shared_ptr<ui::Application> makeApplication() override { return VKApplication::create(); }

    void SetUp() override
    {
        UITestCase::SetUp();
        TANDRY_REQUIRE_AUDIO_PEERS();
        fixtures = std::make_unique<test::AudioFixtures>(pathInHome("audio"));
        server = net::FakeURLServer::install("http://cloud.test/");
        events = std::make_shared<test::StreamEvents>();
    }

    std::shared_ptr<VKAudioPlayer> player(const core::URL& url, core::Error* error = nullptr)
    {
        auto made = VKAudioPlayer::initWithURL(url, error);
        EXPECT_TRUE(made);
        made->setDelegate(events);
        return made;
    }

    static void pump() { core::RunLoop::main().runUntilIdle(); }

    std::unique_ptr<test::AudioFixtures> fixtures;
    std::shared_ptr<net::FakeURLServer> server;
    std::shared_ptr<test::StreamEvents> events;
};

TEST_F(VKAudioPlayerTest, AFilePlaysThroughTheLocalPlayer)
{
    const std::string path = fixtures->tone("tone.wav", { .seconds = 2 });
    auto file = player(core::URL::fileURL(path));
    EXPECT_FALSE(file->isStreamingPlayer());
    EXPECT_TRUE(file->audioPlayer());
    EXPECT_FALSE(file->streamPlayer());
    EXPECT_FALSE(file->isBuffering());
    EXPECT_FALSE(file->streamDestinationPath());
    file->setStreamDestinationPath("/ignored");
    EXPECT_FALSE(file->streamDestinationPath());
    EXPECT_EQ(file->url().filePath(), path);
    EXPECT_NEAR(file->duration(), 2, 0.001);
    EXPECT_EQ(file->availableDuration(), file->duration());
    EXPECT_TRUE(file->prepareToPlay());
    ASSERT_TRUE(file->play());

    // Moving the time keeps a playing player playing, a paused one paused.
    advance(0.5);
    file->setCurrentTime(1.2);
    EXPECT_TRUE(file->isPlaying());
    advance(0.3);
    EXPECT_NEAR(file->currentTime(), 1.5, 0.01);
    file->pause();
    file->setCurrentTime(0.4);
    EXPECT_FALSE(file->isPlaying());
    EXPECT_NEAR(file->currentTime(), 0.4, 0.001);
    file->setVolume(0.5f);
    EXPECT_EQ(file->volume(), 0.5f);
    file->play();
    advance(1.7);
    EXPECT_EQ(events->events, std::vector<std::string> { "finished" });
    EXPECT_EQ(events->lastPlayer, file.get());

    // A file that is not there still makes a player, with the error.
    core::Error error;
    auto missing = VKAudioPlayer::initWithURL(core::URL::fileURL(pathInHome("gone.mp3")), &error);
    ASSERT_TRUE(missing);
    EXPECT_TRUE(error.is(core::Error::POSIXDomain, ENOENT));
    EXPECT_FALSE(missing->isStreamingPlayer());
    EXPECT_FALSE(missing->play());
    EXPECT_EQ(missing->duration(), 0);
}

// Sound the stream engine cannot read (Ogg Vorbis, FLAC) plays through the
// platform's media framework, its length known at once; a file with no
// sound in it still fails as one the local player refuses.
TEST_F(VKAudioPlayerTest, SoundTheStreamEngineCannotReadPlaysThroughTheMediaFramework)
{
    for (const char* kind : { "ogg", "flac" }) {
        SCOPED_TRACE(kind);
        std::string path = pathInHome(std::string("song.") + kind);
        std::string encoder = std::string(kind) == "ogg" ? "vorbisenc ! oggmux" : "flacenc";
        ASSERT_EQ(test::runCommand({ "sh", "-c",
                      "gst-launch-1.0 -q audiotestsrc num-buffers=15 ! " + encoder + " ! filesink location=\"$0\"", path })
                      .status,
            0);
        events->events.clear();
        auto song = player(core::URL::fileURL(path));
        ASSERT_TRUE(song->mediaFilePlayer());
        EXPECT_FALSE(song->audioPlayer());
        EXPECT_NEAR(song->duration(), 15 * 1024 / 44100.0, 0.05);
        ASSERT_TRUE(song->play());
        EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return !events->events.empty(); }, 20));
        EXPECT_EQ(events->events, std::vector<std::string> { "finished" });
        EXPECT_EQ(events->lastPlayer, song.get());
    }
    core::Error error;
    auto noSound = VKAudioPlayer::initWithURL(core::URL::fileURL(makeFile("noise.ogg", "not a sound")), &error);
    ASSERT_TRUE(noSound);
    EXPECT_FALSE(noSound->mediaFilePlayer());
    EXPECT_FALSE(noSound->play());
}

TEST_F(VKAudioPlayerTest, AnythingElseStreamsAndOnlyFinishAndErrorNewsReachTheDelegate)
{
    const std::string bytes = test::readAll(fixtures->mp3("tone.mp3", { "-b", "128" }, { .seconds = 1 }));
    auto stream = player(*core::URL::parse("http://cloud.test/files/tone.mp3"));
    EXPECT_TRUE(stream->isStreamingPlayer());
    EXPECT_FALSE(stream->prepareToPlay());
    stream->setStreamDestinationPath(pathInHome("tone.mp3"));
    EXPECT_EQ(stream->streamDestinationPath(), pathInHome("tone.mp3"));
    std::vector<bool> heard;
    auto token = stream->bufferingObservable().observe([&](bool, bool now) { heard.push_back(now); });
    EXPECT_TRUE(stream->play());
    EXPECT_TRUE(stream->isBuffering());
    pump();
    auto load = server->lastLoad();
    load->respond(200, { { "Content-Length", std::to_string(bytes.size()) } });
    load->send(bytes);
    load->finish();
    pump();
    EXPECT_EQ(stream->duration(), 2);
    EXPECT_EQ(stream->availableDuration(), 2);
    // The stream's preload stays with the facade.
    EXPECT_TRUE(events->events.empty());
    ASSERT_TRUE(test::playUntil([&] { return !events->events.empty(); }, 3));
    EXPECT_EQ(events->events, std::vector<std::string> { "finished" });
    EXPECT_EQ(events->lastPlayer, stream.get());
    EXPECT_EQ(heard, (std::vector<bool> { true, false }));

    auto failing = player(*core::URL::parse("http://cloud.test/files/gone.mp3"));
    failing->play();
    pump();
    server->lastLoad()->fail(net::URLError::CannotConnectToHost);
    pump();
    EXPECT_EQ(events->events.back(), "error -1004");
    EXPECT_EQ(events->lastPlayer, failing.get());

    core::Error error;
    auto unsupported = VKAudioPlayer::initWithURL(*core::URL::parse("ftp://cloud.test/a.mp3"), &error);
    ASSERT_TRUE(unsupported);
    EXPECT_TRUE(error.is(net::URLErrorDomain, -1002));
    EXPECT_FALSE(unsupported->play());
}

TEST_F(VKAudioPlayerTest, AnInterruptionPausesAndItsEndResumes)
{
    VKApplication::sharedApplication()->initializeMediaPlaybackAudioSession();
    const std::string bytes = test::readAll(fixtures->mp3("tone.mp3", { "-b", "128" }, { .seconds = 3 }));
    auto stream = player(*core::URL::parse("http://cloud.test/files/tone.mp3"));
    stream->play();
    pump();
    server->lastLoad()->respond(200, { { "Content-Length", std::to_string(bytes.size()) } });
    server->lastLoad()->send(bytes);
    server->lastLoad()->finish();
    ASSERT_TRUE(test::playUntil([&] { return stream->currentTime() > 0.5; }, 2));

    driver.audioInterruption(true);
    runLoop();
    EXPECT_FALSE(stream->isPlaying());
    EXPECT_TRUE(stream->streamPlayer()->audioQueue()->isPaused());
    const double at = stream->currentTime();
    advance(1);
    EXPECT_EQ(stream->currentTime(), at);

    driver.audioInterruption(false);
    runLoop();
    EXPECT_TRUE(stream->isPlaying());
    ASSERT_TRUE(test::playUntil([&] { return stream->currentTime() > at + 0.5; }, 2));

    // Not playing when it began: the end leaves it alone.
    stream->pause();
    driver.audioInterruption(true);
    runLoop();
    driver.audioInterruption(false);
    runLoop();
    EXPECT_FALSE(stream->isPlaying());
    stream->stop();
}

} // namespace
