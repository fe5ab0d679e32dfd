#include "MediaTestSupport.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Media/AudioPlayer.h"
#include "Platform/Media/AudioSink.h"
#include "Platform/Media/SDLAudioSink.h"

#include <gtest/gtest.h>

namespace {

struct Ended : media::AudioPlayerDelegate {
    bool done = false;
    void audioPlayerDidFinishPlaying(media::AudioPlayer&, bool) override { done = true; }
    void audioPlayerDecodeErrorDidOccur(media::AudioPlayer&, const core::Error&) override { done = true; }
};

class ListeningTest : public test::TestCase { };

// For a person at a machine with speakers: a rising tone, then a spoken
// sentence, on the desktop's default sound device. Run it once with
// TANDRY_LISTEN=1 and listen.
TEST_F(ListeningTest, AToneAndASentenceOnTheDefaultDevice)
{
    if (!std::getenv("TANDRY_LISTEN"))
        GTEST_SKIP() << "set TANDRY_LISTEN=1 to hear a tone and a sentence";
    ASSERT_TRUE(test::hasProgram("espeak-ng"));
    test::AudioFixtures fixtures(pathInHome("audio"));
    const std::string tone = fixtures.mp3("tone.mp3", { "-b", "128" }, { .seconds = 2 });
    const std::string sentence = pathInHome("audio/sentence.wav");
    test::runCommand({ "espeak-ng", "-w", sentence, "This sentence comes from the audio player of Tandry." });
    media::AudioSink::setDefaultFactoryForTesting([] { return media::SDLAudioSink::create(); });
    for (const auto& path : { tone, sentence }) {
        auto ended = std::make_shared<Ended>();
        core::Error error;
        auto player = media::AudioPlayer::create(core::URL::fileURL(path), &error);
        ASSERT_TRUE(player) << error.description();
        player->setDelegate(ended);
        ASSERT_TRUE(player->play());
        EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return ended->done; }, player->duration() + 5));
    }
}

} // namespace
