#include "MediaTestSupport.h"

#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Media/AudioQueue.h"
#include "Platform/Media/NullSink.h"
#include "Platform/Media/SDLAudioSink.h"
#include "Platform/Media/WavFileSink.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace media;

namespace {

AudioStreamBasicDescription stereo16()
{
    AudioStreamBasicDescription format;
    format.sampleRate = 44100;
    format.formatID = formatID::LinearPCM;
    format.formatFlags = formatFlag::IsSignedInteger | formatFlag::IsPacked;
    format.bytesPerPacket = format.bytesPerFrame = 4;
    format.framesPerPacket = 1;
    format.channelsPerFrame = 2;
    format.bitsPerChannel = 16;
    return format;
}

// Sets an environment variable for the life of the object.
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(const std::vector<std::pair<std::string, std::string>>& values)
    {
        for (const auto& [name, value] : values) {
            const char* old = std::getenv(name.c_str());
            m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            setenv(name.c_str(), value.c_str(), 1);
        }
    }
    ~ScopedEnvironment()
    {
        for (auto& [name, value] : m_saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

class AudioQueueTest : public test::TestCase {
protected:
    std::shared_ptr<AudioQueue> makeQueue(std::shared_ptr<AudioSink> sink = nullptr,
        const AudioStreamBasicDescription& format = stereo16())
    {
        Status status = -1;
        auto queue = AudioQueue::newOutput(format, [this](AudioQueue&, AudioQueueBuffer* buffer) {
            returned.push_back(buffer);
        },
            &status, std::move(sink));
        EXPECT_EQ(status, 0);
        return queue;
    }

    // A buffer holding `bytes`.
    AudioQueueBuffer* buffer(AudioQueue& queue, const std::string& bytes)
    {
        AudioQueueBuffer* made = nullptr;
        EXPECT_EQ(queue.allocateBuffer(uint32_t(bytes.size()), &made), 0);
        std::memcpy(made->audioData, bytes.data(), bytes.size());
        made->audioDataByteSize = uint32_t(bytes.size());
        return made;
    }

    static double sampleTime(const AudioQueue& queue)
    {
        double time = -1;
        EXPECT_EQ(queue.currentSampleTime(&time), 0);
        return time;
    }

    static bool running(const AudioQueue& queue)
    {
        uint32_t value = 9;
        uint32_t size = sizeof value;
        EXPECT_EQ(queue.getProperty(queueProperty::IsRunning, &size, &value), 0);
        return value == 1;
    }

    core::RunLoop& loop() { return core::RunLoop::main(); }
    std::vector<AudioQueueBuffer*> returned;
};

TEST_F(AudioQueueTest, ANullSinkPlaysEachBufferInItsFramesOverTheRateOnTheClock)
{
    auto queue = makeQueue();
    ASSERT_TRUE(queue);
    EXPECT_TRUE(std::dynamic_pointer_cast<NullSink>(queue->sink()));
    const std::string half(88200, '\x01');
    auto* first = buffer(*queue, half);
    auto* second = buffer(*queue, half);
    auto* third = buffer(*queue, half);
    ASSERT_EQ(queue->enqueueBuffer(first, 0, nullptr), 0);
    ASSERT_EQ(queue->enqueueBuffer(second, 0, nullptr), 0);
    EXPECT_EQ(queue->enqueueBuffer(second, 0, nullptr), status::QueueInvalidBuffer);
    EXPECT_FALSE(running(*queue));
    ASSERT_EQ(queue->start(), 0);
    EXPECT_TRUE(running(*queue));

    loop().advance(0.49);
    EXPECT_TRUE(returned.empty());
    EXPECT_NEAR(sampleTime(*queue), 0.49 * 44100, 1);
    loop().advance(0.02);
    ASSERT_EQ(returned, std::vector<AudioQueueBuffer*> { first });

    // A pause holds the clock; the queue still counts as running.
    queue->pause();
    const double paused = sampleTime(*queue);
    loop().advance(2);
    EXPECT_EQ(sampleTime(*queue), paused);
    EXPECT_EQ(returned.size(), 1u);
    EXPECT_TRUE(running(*queue));
    queue->start();
    loop().advance(0.5);
    EXPECT_EQ(returned.size(), 2u);
    EXPECT_NEAR(sampleTime(*queue), 44100, 1);

    // Starved, the clock stands.
    loop().advance(1);
    EXPECT_NEAR(sampleTime(*queue), 44100, 1);

    // A stop at once hands back what is queued before it returns, and
    // counts from 0 again.
    ASSERT_EQ(queue->enqueueBuffer(third, 0, nullptr), 0);
    loop().advance(0.1);
    ASSERT_EQ(queue->stop(true), 0);
    EXPECT_EQ(returned.back(), third);
    EXPECT_EQ(sampleTime(*queue), 0);
    EXPECT_FALSE(running(*queue));
    loop().advance(1);
    EXPECT_EQ(returned.size(), 3u);
}

TEST_F(AudioQueueTest, AStopAfterWhatIsQueuedPlaysItOut)
{
    auto queue = makeQueue();
    // 0.4 s each.
    auto* first = buffer(*queue, std::string(17640 * 4, '\x02'));
    auto* second = buffer(*queue, std::string(17640 * 4, '\x03'));
    queue->enqueueBuffer(first, 0, nullptr);
    queue->enqueueBuffer(second, 0, nullptr);
    queue->start();
    loop().advance(0.05);
    ASSERT_EQ(queue->stop(false), 0);
    EXPECT_TRUE(running(*queue));
    loop().advance(0.3);
    EXPECT_EQ(returned.size(), 0u);
    loop().advance(0.1);
    EXPECT_EQ(returned.size(), 1u);
    EXPECT_TRUE(running(*queue));
    loop().advance(0.4);
    EXPECT_EQ(returned, (std::vector<AudioQueueBuffer*> { first, second }));
    EXPECT_FALSE(running(*queue));
    EXPECT_EQ(sampleTime(*queue), 0);
}

TEST_F(AudioQueueTest, PropertiesVolumeAndMisuse)
{
    auto queue = makeQueue();
    float volume = -1;
    EXPECT_EQ(queue->setVolume(1.5f), 0);
    queue->volume(&volume);
    EXPECT_EQ(volume, 1.0f);
    queue->setVolume(-0.5f);
    queue->volume(&volume);
    EXPECT_EQ(volume, 0.0f);
    queue->setVolume(0.25f);
    queue->volume(&volume);
    EXPECT_EQ(volume, 0.25f);

    const uint8_t cookie[] = { 0x12, 0x10 };
    EXPECT_EQ(queue->setProperty(queueProperty::MagicCookie, cookie, sizeof cookie), 0);
    uint8_t back[8] = {};
    uint32_t size = sizeof back;
    EXPECT_EQ(queue->getProperty(queueProperty::MagicCookie, &size, back), 0);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(back[0], 0x12);
    EXPECT_EQ(queue->setProperty(fourCC("xxxx"), cookie, 2), status::QueueInvalidProperty);

    AudioQueueBuffer* empty = nullptr;
    queue->allocateBuffer(100, &empty);
    EXPECT_EQ(queue->enqueueBuffer(empty, 0, nullptr), status::QueueBufferEmpty);
    AudioQueueBuffer foreign;
    foreign.audioDataByteSize = 4;
    EXPECT_EQ(queue->enqueueBuffer(&foreign, 0, nullptr), status::QueueInvalidBuffer);
    AudioQueueBuffer* tooLarge = nullptr;
    EXPECT_EQ(queue->allocateBuffer(0, &tooLarge), status::QueueInvalidParameter);

    AudioStreamBasicDescription unknown = stereo16();
    unknown.formatID = fourCC("alac");
    Status status = 0;
    EXPECT_FALSE(AudioQueue::newOutput(unknown, [](AudioQueue&, AudioQueueBuffer*) { }, &status));
    EXPECT_EQ(status, status::UnsupportedDataFormat);
    unknown = stereo16();
    unknown.sampleRate = 400000;
    EXPECT_FALSE(AudioQueue::newOutput(unknown, [](AudioQueue&, AudioQueueBuffer*) { }, &status));

    queue->dispose();
    EXPECT_EQ(queue->start(), status::QueueDisposalPending);
    EXPECT_EQ(queue->enqueueBuffer(empty, 0, nullptr), status::QueueDisposalPending);
}

TEST_F(AudioQueueTest, TheWavSinkHoldsWhatTheDecoderMadeOfEveryBuffer)
{
    TANDRY_REQUIRE_AUDIO_PEERS();
    test::AudioFixtures fixtures(pathInHome("audio"));
    const std::string path = fixtures.mp3("tone.mp3", { "-V", "4" }, { .seconds = 2 });
    auto parsed = test::parse(test::fileBytes(path));
    auto sink = WavFileSink::create(pathInHome("out.wav"));
    auto queue = makeQueue(sink, parsed->format());
    ASSERT_TRUE(queue);
    // Ten packets a buffer, each with its description.
    for (size_t first = 0; first < parsed->packets.size(); first += 10) {
        std::string bytes;
        std::vector<AudioStreamPacketDescription> descriptions;
        for (size_t i = first; i < std::min(first + 10, parsed->packets.size()); i++) {
            descriptions.push_back({ int64_t(bytes.size()), 0, uint32_t(parsed->packets[i].size()) });
            bytes += parsed->packets[i];
        }
        ASSERT_EQ(queue->enqueueBuffer(buffer(*queue, bytes), uint32_t(descriptions.size()), descriptions.data()), 0);
    }
    queue->start();
    queue->stop(false);
    // The clock runs ahead of the decoding thread; a buffer counts as
    // played once its samples are in the file.
    for (int i = 0; i < 60 && running(*queue); i++) {
        loop().advance(0.1);
        loop().runUntil([&] { return !running(*queue); }, 0.05);
    }
    EXPECT_FALSE(running(*queue));
    queue->dispose();
    int channels = 0;
    int rate = 0;
    const auto written = test::readWav16(sink->path(), &channels, &rate);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(rate, 44100);
    EXPECT_TRUE(written == test::mpg123Samples(path, pathInHome("mpg123.wav")));
}

TEST_F(AudioQueueTest, SDLsDiskDriverTakesTheDecodedSamples)
{
    const std::string raw = pathInHome("device.raw");
    ScopedEnvironment environment({ { "SDL_AUDIODRIVER", "disk" }, { "SDL_DISKAUDIOFILE", raw }, { "SDL_DISKAUDIODELAY", "0" } });
    auto sink = SDLAudioSink::create();
    auto queue = makeQueue(sink);
    ASSERT_TRUE(queue);
    ASSERT_EQ(queue->sink(), sink) << "SDL's disk driver did not open";
    EXPECT_EQ(sink->driverName(), "disk");
    // Two buffers of a counting pattern, no zero in it.
    std::string bytes;
    for (int i = 0; i < 44100; i++) {
        const int16_t left = int16_t(1 + i % 30000);
        const int16_t right = int16_t(-1 - i % 20000);
        bytes.append(reinterpret_cast<const char*>(&left), 2);
        bytes.append(reinterpret_cast<const char*>(&right), 2);
    }
    queue->enqueueBuffer(buffer(*queue, bytes.substr(0, 88200)), 0, nullptr);
    queue->enqueueBuffer(buffer(*queue, bytes.substr(88200)), 0, nullptr);
    queue->setVolume(1.0f);
    queue->start();
    ASSERT_TRUE(loop().runUntil([&] { return returned.size() == 2; }, 20));
    EXPECT_GE(sampleTime(*queue), 44100);
    queue->dispose();
    // The device ran faster than the decoding thread: silence where it
    // starved, and otherwise our samples, in order, each once.
    const std::string written = test::fileBytes(raw);
    std::string sound;
    for (size_t i = 0; i + 4 <= written.size(); i += 4) {
        if (written.compare(i, 4, std::string(4, '\0')) != 0)
            sound.append(written, i, 4);
    }
    EXPECT_EQ(sound.size(), bytes.size());
    EXPECT_TRUE(sound == bytes) << "the device file holds " << written.size() << " bytes";
}

TEST_F(AudioQueueTest, WithoutADeviceTheQueuePlaysOnTheClockAfterOneLogLineARun)
{
    ScopedEnvironment environment({ { std::string("SDL_AUDIODRIVER"), std::string("nosuchdriver") } });
    // A second player finds no device either: nothing more is logged.
    ASSERT_TRUE(makeQueue(SDLAudioSink::create()));
    auto queue = makeQueue(SDLAudioSink::create());
    ASSERT_TRUE(queue);
    EXPECT_TRUE(std::dynamic_pointer_cast<NullSink>(queue->sink()));
    size_t lines = 0;
    for (const auto& line : logLines())
        lines += line.find("no sound device") != std::string::npos;
    EXPECT_EQ(lines, 1u);
    queue->enqueueBuffer(buffer(*queue, std::string(4410 * 4, '\x05')), 0, nullptr);
    queue->start();
    loop().advance(0.1);
    EXPECT_EQ(returned.size(), 1u);
}

TEST_F(AudioQueueTest, TheMasterGainScalesWhatTheDeviceTakes)
{
    const std::string raw = pathInHome("device.raw");
    ScopedEnvironment environment({ { "SDL_AUDIODRIVER", "disk" }, { "SDL_DISKAUDIOFILE", raw }, { "SDL_DISKAUDIODELAY", "0" } });
    auto sink = SDLAudioSink::create();
    auto queue = makeQueue(sink);
    ASSERT_TRUE(queue);
    ASSERT_EQ(queue->sink(), sink) << "SDL's disk driver did not open";
    std::string bytes;
    for (int i = 0; i < 44100; i++) {
        const int16_t sample = 1000;
        bytes.append(reinterpret_cast<const char*>(&sample), 2);
        bytes.append(reinterpret_cast<const char*>(&sample), 2);
    }
    SDLAudioSink::setMasterGain(0.5f);
    queue->enqueueBuffer(buffer(*queue, bytes), 0, nullptr);
    queue->setVolume(1.0f);
    queue->start();
    bool played = loop().runUntil([&] { return returned.size() == 1; }, 20);
    SDLAudioSink::setMasterGain(1.0f);
    ASSERT_TRUE(played);
    queue->dispose();
    const std::string written = test::fileBytes(raw);
    size_t halved = 0, other = 0;
    for (size_t i = 0; i + 2 <= written.size(); i += 2) {
        int16_t sample;
        std::memcpy(&sample, written.data() + i, 2);
        if (sample == 500)
            ++halved;
        else if (sample != 0)
            ++other;
    }
    EXPECT_EQ(halved, 88200u);
    EXPECT_EQ(other, 0u);
}

} // namespace
