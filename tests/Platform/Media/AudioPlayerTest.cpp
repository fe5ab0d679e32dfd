#include "MediaTestSupport.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Media/AudioPlayer.h"
#include "Platform/Media/AudioSink.h"
#include "Platform/Media/WavFileSink.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>

using namespace media;

namespace {

class RecordingDelegate : public AudioPlayerDelegate {
public:
    void audioPlayerDidFinishPlaying(AudioPlayer&, bool successfully) override { finished.push_back(successfully); }
    void audioPlayerDecodeErrorDidOccur(AudioPlayer&, const core::Error& error) override { errors.push_back(error); }
    std::vector<bool> finished;
    std::vector<core::Error> errors;
};

class AudioPlayerTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        TANDRY_REQUIRE_AUDIO_PEERS();
        fixtures = std::make_unique<test::AudioFixtures>(pathInHome("audio"));
        delegate = std::make_shared<RecordingDelegate>();
    }

    std::shared_ptr<AudioPlayer> player(const std::string& path)
    {
        core::Error error;
        auto made = AudioPlayer::create(core::URL::fileURL(path), &error);
        EXPECT_TRUE(made) << path << ": " << error.description();
        if (made)
            made->setDelegate(delegate);
        return made;
    }

    core::RunLoop& loop() { return core::RunLoop::main(); }
    std::unique_ptr<test::AudioFixtures> fixtures;
    std::shared_ptr<RecordingDelegate> delegate;
};

TEST_F(AudioPlayerTest, DurationsAgreeWithFFprobe)
{
    for (const auto& path : {
             fixtures->mp3("cbr.mp3", { "-b", "128" }, { .seconds = 2.5 }),
             fixtures->mp3("vbr.mp3", { "-V", "2" }, { .seconds = 2.5 }),
             fixtures->mp3("low.mp3", { "-b", "32", "--resample", "22.05", "-m", "m" }, { .rate = 22050, .channels = 1, .seconds = 2.5 }),
             fixtures->tone("tone.wav", { .seconds = 2.5 }),
             fixtures->tone("tone.aifc", { .bits = 32, .seconds = 2.5, .encoding = "floating-point" }),
             fixtures->ffmpeg("tone.aac", { "-c:a", "aac" }, { .seconds = 2.5 }),
             fixtures->ffmpeg("fast.m4a", { "-c:a", "aac", "-movflags", "+faststart" }, { .seconds = 2.5 }),
             fixtures->ffmpeg("late.m4a", { "-c:a", "aac" }, { .seconds = 2.5 }),
             fixtures->cafAAC("tone.caf", { .seconds = 2.5 }),
         }) {
        auto made = player(path);
        ASSERT_TRUE(made);
        EXPECT_NEAR(made->duration(), test::probe(path).duration, 0.05) << path;
    }
}

TEST_F(AudioPlayerTest, PlaysToTheEndOnTheClockAndTheSinkHoldsEveryFrame)
{
    // A movie whose index comes last plays from a local file.
    const std::string path = fixtures->ffmpeg("late.m4a", { "-c:a", "aac" }, { .seconds = 1.5 });
    auto sink = WavFileSink::create(pathInHome("out.wav"));
    AudioSink::setDefaultFactoryForTesting([sink] { return sink; });
    auto made = player(path);
    ASSERT_TRUE(made);
    EXPECT_EQ(made->currentTime(), 0);
    ASSERT_TRUE(made->play());
    EXPECT_TRUE(made->isPlaying());
    for (int i = 0; i < 30 && delegate->finished.empty(); i++) {
        loop().advance(0.1);
        loop().runUntil([&] { return !delegate->finished.empty(); }, 0.05);
        if (i == 5) {
            EXPECT_NEAR(made->currentTime(), 0.6, 0.15);
        }
    }
    EXPECT_EQ(delegate->finished, std::vector<bool> { true });
    EXPECT_FALSE(made->isPlaying());
    EXPECT_EQ(made->currentTime(), 0);
    int channels = 0;
    const auto ours = test::readWav16(sink->path(), &channels);
    const auto theirs = test::ffmpegSamples(path);
    const int64_t offset = test::alignedOffset(ours, theirs, channels, 2112, 1);
    EXPECT_GE(offset, 0);
    EXPECT_GE(int64_t(ours.size()) / channels - offset, int64_t(theirs.size()) / channels);
}

TEST_F(AudioPlayerTest, LoopsStopsAndMovesWithoutLosingItsPlace)
{
    const std::string path = fixtures->tone("second.wav", { .seconds = 1.0 });
    auto made = player(path);
    ASSERT_TRUE(made);
    made->setNumberOfLoops(-1);
    ASSERT_TRUE(made->play());
    loop().advance(3.25);
    EXPECT_TRUE(delegate->finished.empty());
    EXPECT_TRUE(made->isPlaying());
    EXPECT_NEAR(made->currentTime(), 0.25, 0.02);

    // Stop keeps the time; play goes on from it.
    made->stop();
    EXPECT_FALSE(made->isPlaying());
    EXPECT_NEAR(made->currentTime(), 0.25, 0.02);
    loop().advance(1);
    EXPECT_NEAR(made->currentTime(), 0.25, 0.02);
    made->setNumberOfLoops(0);
    ASSERT_TRUE(made->play());
    loop().advance(0.5);
    EXPECT_NEAR(made->currentTime(), 0.75, 0.02);

    // Moving while playing keeps playing; while paused stays paused.
    made->setCurrentTime(0.1);
    EXPECT_TRUE(made->isPlaying());
    loop().advance(0.2);
    EXPECT_NEAR(made->currentTime(), 0.3, 0.02);
    made->pause();
    made->setCurrentTime(0.8);
    EXPECT_FALSE(made->isPlaying());
    loop().advance(1);
    EXPECT_NEAR(made->currentTime(), 0.8, 0.001);
    made->play();
    loop().advance(0.3);
    EXPECT_EQ(delegate->finished, std::vector<bool> { true });

    made->setVolume(3);
    EXPECT_EQ(made->volume(), 1.0f);
    made->setVolume(std::nanf(""));
    EXPECT_EQ(made->volume(), 0.0f);
}

TEST_F(AudioPlayerTest, FilesThatAreNotAudioOrBreakOffAreErrors)
{
    core::Error error;
    EXPECT_FALSE(AudioPlayer::create(core::URL::fileURL(pathInHome("missing.mp3")), &error));
    EXPECT_TRUE(error.is(core::Error::POSIXDomain, ENOENT));
    const std::string text = makeFile("notes.wav", std::string(5000, 'n'));
    EXPECT_FALSE(AudioPlayer::create(core::URL::fileURL(text), &error));
    EXPECT_EQ(error.domain(), AudioPlayer::OSStatusErrorDomain);

    // Audio followed by a chunk no reader accepts: an error once reached.
    std::string broken = test::fileBytes(fixtures->tone("short.wav", { .seconds = 0.3 }));
    broken += std::string("fmt ") + std::string { '\xF0', '\xFF', '\xFF', '\x7F' } + std::string(64, '\0');
    auto made = player(makeFile("broken.wav", broken));
    ASSERT_TRUE(made);
    made->play();
    loop().advance(1);
    ASSERT_EQ(delegate->errors.size(), 1u);
    EXPECT_EQ(delegate->errors[0].domain(), AudioPlayer::OSStatusErrorDomain);
    EXPECT_EQ(delegate->errors[0].code(), status::UnsupportedDataFormat);
    EXPECT_FALSE(made->isPlaying());
    EXPECT_TRUE(delegate->finished.empty());
}

} // namespace
