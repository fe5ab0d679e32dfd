#include "MediaTestSupport.h"

#include "Platform/Media/AudioDecoder.h"

#include <gtest/gtest.h>

using namespace media;

namespace {

class AudioDecoderTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        TANDRY_REQUIRE_AUDIO_PEERS();
        fixtures = std::make_unique<test::AudioFixtures>(pathInHome("audio"));
    }

    // The file's packets through a decoder made for its format and cookie.
    std::vector<int16_t> decode(const std::string& path, int* channels = nullptr)
    {
        auto parsed = test::parse(test::fileBytes(path), test::Split::Random);
        EXPECT_EQ(parsed->status, 0) << path;
        const auto format = parsed->format();
        std::vector<uint8_t> cookie;
        uint32_t size = 0;
        if (parsed->stream->getPropertyInfo(property::MagicCookieData, &size) == 0) {
            cookie.resize(size);
            parsed->stream->getProperty(property::MagicCookieData, &size, cookie.data());
        }
        auto decoder = AudioDecoder::create(format, cookie);
        EXPECT_TRUE(decoder) << path;
        std::vector<int16_t> samples;
        if (!decoder)
            return samples;
        if (channels)
            *channels = int(decoder->channels());
        const auto* lpcm = reinterpret_cast<const uint8_t*>(parsed->lpcm.data());
        if (!parsed->lpcm.empty()) {
            EXPECT_TRUE(decoder->decode(lpcm, parsed->lpcm.size(), samples));
        }
        for (const auto& packet : parsed->packets)
            EXPECT_TRUE(decoder->decode(reinterpret_cast<const uint8_t*>(packet.data()), packet.size(), samples));
        return samples;
    }

    std::unique_ptr<test::AudioFixtures> fixtures;
};

TEST_F(AudioDecoderTest, MP3EqualsMpg123WithoutGaplessSampleForSample)
{
    for (const auto& path : {
             fixtures->mp3("cbr.mp3", { "-b", "128" }),
             fixtures->mp3("vbr.mp3", { "-V", "2" }, { .seconds = 2 }),
             fixtures->mp3("low.mp3", { "-b", "32", "--resample", "22.05", "-m", "m" }, { .rate = 22050, .channels = 1 }),
         }) {
        const auto ours = decode(path);
        const auto theirs = test::mpg123Samples(path, path + ".mpg123.wav");
        ASSERT_FALSE(theirs.empty());
        ASSERT_EQ(ours.size(), theirs.size()) << path;
        EXPECT_TRUE(ours == theirs) << path;
    }
}

TEST_F(AudioDecoderTest, AACMatchesFFmpegOnceAlignedByTheEncoderDelay)
{
    for (const auto& path : {
             fixtures->ffmpeg("tone.aac", { "-c:a", "aac", "-b:a", "128k" }),
             fixtures->ffmpeg("tone.m4a", { "-c:a", "aac", "-movflags", "+faststart" }),
             fixtures->ffmpeg("mono.m4a", { "-c:a", "aac", "-movflags", "+faststart" }, { .rate = 32000, .channels = 1 }),
             fixtures->cafAAC("tone.caf"),
         }) {
        int channels = 0;
        const auto ours = decode(path, &channels);
        const auto theirs = test::ffmpegSamples(path);
        ASSERT_GT(theirs.size(), 10000u) << path;
        const int64_t offset = test::alignedOffset(ours, theirs, channels, 2112, 1);
        EXPECT_GE(offset, 0) << path;
        // Everything ffmpeg keeps, we have.
        EXPECT_GE(int64_t(ours.size()) / channels - offset, int64_t(theirs.size()) / channels) << path;
    }
}

TEST_F(AudioDecoderTest, LinearPCMBecomes16BitSamples)
{
    // 16 bits: exactly the file's samples.
    const std::string s16 = fixtures->tone("s16.wav");
    EXPECT_EQ(decode(s16), test::readWav16(s16));
    // Others: within one step of ffmpeg's conversion.
    for (const auto& path : {
             fixtures->tone("u8.wav", { .bits = 8, .encoding = "unsigned-integer" }),
             fixtures->tone("s24.wav", { .bits = 24 }),
             fixtures->tone("s32.wav", { .bits = 32 }),
             fixtures->tone("f32.wav", { .bits = 32, .encoding = "floating-point" }),
             fixtures->tone("f64.aifc", { .bits = 64, .encoding = "floating-point" }),
             fixtures->tone("s8.aiff", { .bits = 8 }),
             fixtures->tone("s24.aiff", { .rate = 96000, .bits = 24, .seconds = 0.2 }),
             fixtures->ffmpeg("sowt.aifc", { "-c:a", "pcm_s16le" }),
             fixtures->ffmpeg("be.caf", { "-c:a", "pcm_s24be" }, { .channels = 1 }),
             fixtures->ffmpeg("float.caf", { "-c:a", "pcm_f32le" }),
         }) {
        int channels = 0;
        const auto ours = decode(path, &channels);
        const auto theirs = test::ffmpegSamples(path);
        ASSERT_EQ(ours.size(), theirs.size()) << path;
        EXPECT_EQ(test::alignedOffset(ours, theirs, channels, 0, 1), 0) << path;
    }
}

TEST_F(AudioDecoderTest, RefusedPacketsGiveNothingAndTheStreamGoesOn)
{
    const std::string path = fixtures->ffmpeg("tone.m4a", { "-c:a", "aac", "-movflags", "+faststart" });
    auto parsed = test::parse(test::fileBytes(path));
    std::vector<uint8_t> cookie(64);
    uint32_t size = uint32_t(cookie.size());
    ASSERT_EQ(parsed->stream->getProperty(property::MagicCookieData, &size, cookie.data()), 0);
    cookie.resize(size);
    auto decoder = AudioDecoder::create(parsed->format(), cookie);
    ASSERT_TRUE(decoder);
    std::vector<int16_t> samples;
    const std::string garbage(300, '\xA5');
    EXPECT_FALSE(decoder->decode(reinterpret_cast<const uint8_t*>(garbage.data()), garbage.size(), samples));
    EXPECT_TRUE(samples.empty());
    const auto& packet = parsed->packets[5];
    EXPECT_TRUE(decoder->decode(reinterpret_cast<const uint8_t*>(packet.data()), packet.size(), samples));
    EXPECT_EQ(samples.size(), 2048u);

    // Formats no decoder reads are refused at creation.
    AudioStreamBasicDescription format;
    format.sampleRate = 44100;
    format.channelsPerFrame = 2;
    format.formatID = fourCC("alac");
    Status status = 0;
    EXPECT_FALSE(AudioDecoder::create(format, {}, &status));
    EXPECT_EQ(status, status::UnsupportedDataFormat);
    format.formatID = formatID::LinearPCM;
    format.bitsPerChannel = 12;
    format.framesPerPacket = 1;
    format.bytesPerFrame = format.bytesPerPacket = 4;
    EXPECT_FALSE(AudioDecoder::create(format, {}));
    format.formatID = formatID::MPEGLayer3;
    format.channelsPerFrame = 9;
    EXPECT_FALSE(AudioDecoder::create(format, {}));
}

} // namespace
