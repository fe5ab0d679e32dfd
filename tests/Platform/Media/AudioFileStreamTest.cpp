#include "MediaTestSupport.h"

#include "Platform/Media/AudioFormat.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace media;

namespace {

class AudioFileStreamTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        TANDRY_REQUIRE_AUDIO_PEERS();
        fixtures = std::make_unique<test::AudioFixtures>(pathInHome("audio"));
    }

    // The packets agree with ffprobe's: same count, and each one's bytes are
    // the file's at ffprobe's position; the first is at 'doff'.
    void expectPacketsLikeProbe(const test::ParsedStream& parsed, const std::string& path)
    {
        const auto probe = test::probe(path);
        const std::string bytes = test::fileBytes(path);
        ASSERT_EQ(int64_t(parsed.packets.size()), probe.packetCount) << path;
        for (size_t i = 0; i < parsed.packets.size(); i++) {
            ASSERT_EQ(parsed.packets[i], bytes.substr(size_t(probe.packetPositions[i]), size_t(probe.packetSizes[i])))
                << path << " packet " << i;
        }
        EXPECT_EQ(parsed.get<int64_t>(property::DataOffset), probe.firstPacketPosition) << path;
        const auto format = parsed.format();
        EXPECT_EQ(format.sampleRate, probe.sampleRate) << path;
        EXPECT_EQ(int(format.channelsPerFrame), probe.channels) << path;
    }

    std::unique_ptr<test::AudioFixtures> fixtures;
};

TEST_F(AudioFileStreamTest, MP3FramesPropertiesAndXingTableAgreeWithPeers)
{
    const std::string cbr = fixtures->mp3("cbr.mp3", { "-b", "128" });
    const std::string vbr = fixtures->mp3("vbr.mp3", { "-V", "2" }, { .seconds = 3 });
    const std::string id3 = fixtures->mp3("id3.mp3", { "-b", "96", "--add-id3v2", "--tt", "A title" });
    const std::string low = fixtures->mp3("low.mp3", { "-b", "32", "--resample", "22.05", "-m", "m" },
        { .rate = 22050, .channels = 1 });
    const std::string lowest = fixtures->mp3("lowest.mp3", { "-b", "8", "--resample", "8", "-m", "m" },
        { .rate = 8000, .channels = 1 });
    for (const auto& path : { cbr, vbr, id3, low, lowest }) {
        auto parsed = test::parse(test::fileBytes(path));
        ASSERT_EQ(parsed->status, 0) << path;
        expectPacketsLikeProbe(*parsed, path);
        const auto format = parsed->format();
        EXPECT_EQ(format.formatID, formatID::MPEGLayer3);
        const uint32_t frames = format.sampleRate >= 32000 ? 1152 : 576;
        EXPECT_EQ(format.framesPerPacket, frames) << path;
        for (uint32_t f : parsed->frames)
            ASSERT_EQ(f, frames);
        // The Xing/Info frame counts every frame it was not one of (lame
        // writes none at this low rate).
        if (path != low && path != lowest) {
            EXPECT_EQ(parsed->get<uint64_t>(property::AudioDataPacketCount), parsed->packets.size()) << path;
        }
        const double duration = double(parsed->packets.size()) * frames / format.sampleRate;
        EXPECT_NEAR(duration, test::probe(path).duration, double(frames) / format.sampleRate) << path;
    }

    // The platform's order: the format before the offset, ready last.
    auto parsed = test::parse(test::fileBytes(cbr));
    const auto& p = parsed->properties;
    ASSERT_FALSE(p.empty());
    EXPECT_EQ(p.back(), property::ReadyToProducePackets);
    EXPECT_LT(std::find(p.begin(), p.end(), property::DataFormat) - p.begin(),
        std::find(p.begin(), p.end(), property::DataOffset) - p.begin());
    EXPECT_EQ(parsed->get<uint32_t>(property::BitRate), 128000u);
    EXPECT_NEAR(parsed->get<double>(property::AverageBytesPerPacket), 417.96, 0.5);
    EXPECT_EQ(parsed->get<uint32_t>(property::MaximumPacketSize), 1045u);
    EXPECT_EQ(parsed->get<uint64_t>(property::AudioDataByteCount),
        test::fileBytes(cbr).size() - size_t(parsed->get<int64_t>(property::DataOffset)));

    // A VBR file seeks by its Xing table: an estimate close to the packet.
    auto variable = test::parse(test::fileBytes(vbr));
    const auto probe = test::probe(vbr);
    const int64_t dataOffset = variable->get<int64_t>(property::DataOffset);
    for (int64_t packet : { int64_t(0), int64_t(40), probe.packetCount / 2, probe.packetCount - 1 }) {
        int64_t offset = -1;
        uint32_t flags = 0;
        ASSERT_EQ(variable->stream->seek(packet, &offset, &flags), 0);
        EXPECT_EQ(flags, uint32_t(AudioFileStream::OffsetIsEstimated));
        const int64_t truth = probe.packetPositions[size_t(packet)] - dataOffset;
        EXPECT_NEAR(double(offset), double(truth), 0.02 * double(test::fileBytes(vbr).size())) << packet;
    }
}

TEST_F(AudioFileStreamTest, AVBRIFrameIsReadAndNeverPlayed)
{
    // lame writes no tag with -t; a VBRI frame in front of its frames is
    // what another encoder would have put there.
    const std::string plain = test::fileBytes(fixtures->mp3("plain.mp3", { "-b", "128", "-t" }, { .seconds = 0.5 }));
    auto untagged = test::parse(plain);
    ASSERT_EQ(untagged->status, 0);
    const auto firstAt = size_t(untagged->get<int64_t>(property::DataOffset));
    const std::string& first = untagged->packets.front();
    std::string vbri = first.substr(0, 4) + std::string(first.size() - 4, '\0');
    auto be32 = [](uint32_t v) { return std::string { char(v >> 24), char(v >> 16), char(v >> 8), char(v) }; };
    const auto frames = uint32_t(untagged->packets.size());
    vbri.replace(36, 18, "VBRI" + std::string(6, '\0') + be32(uint32_t(plain.size() - firstAt + vbri.size())) + be32(frames));
    const std::string tagged = plain.substr(0, firstAt) + vbri + plain.substr(firstAt);

    for (auto split : { test::Split::Whole, test::Split::Bytes }) {
        auto parsed = test::parse(tagged, split);
        ASSERT_EQ(parsed->status, 0);
        EXPECT_EQ(parsed->packets, untagged->packets);
        EXPECT_EQ(parsed->get<int64_t>(property::DataOffset), int64_t(firstAt + vbri.size()));
        EXPECT_EQ(parsed->get<uint64_t>(property::AudioDataPacketCount), frames);
        EXPECT_EQ(parsed->get<uint64_t>(property::AudioDataByteCount), plain.size() - firstAt);
        // The tag's counts give the average, and the rate from it.
        EXPECT_NEAR(parsed->get<double>(property::AverageBytesPerPacket), double(plain.size() - firstAt) / frames, 0.01);
        EXPECT_NEAR(parsed->get<uint32_t>(property::BitRate), 128000, 1000);
    }
}

TEST_F(AudioFileStreamTest, CompressedContainersAgreeWithFFprobe)
{
    const std::string adts = fixtures->ffmpeg("tone.aac", { "-c:a", "aac", "-b:a", "96k" });
    const std::string m4a = fixtures->ffmpeg("fast.m4a", { "-c:a", "aac", "-movflags", "+faststart" }, { .seconds = 2 });
    const std::string mp4 = fixtures->ffmpeg("tone.mp4", { "-c:a", "aac", "-movflags", "+faststart" },
        { .rate = 48000, .channels = 1 });
    const std::string caf = fixtures->cafAAC("tone.caf");
    for (const auto& path : { adts, m4a, mp4, caf }) {
        auto parsed = test::parse(test::fileBytes(path));
        ASSERT_EQ(parsed->status, 0) << path;
        expectPacketsLikeProbe(*parsed, path);
        const auto format = parsed->format();
        EXPECT_EQ(format.formatID, formatID::MPEG4AAC) << path;
        EXPECT_EQ(format.framesPerPacket, 1024u) << path;
        uint32_t size = 0;
        EXPECT_EQ(parsed->stream->getPropertyInfo(property::MagicCookieData, &size), 0) << path;
        EXPECT_GE(size, 2u);
        EXPECT_EQ(parsed->get<uint32_t>(property::MaximumPacketSize) >= 200, true) << path;
    }
    // The movie's edit list keeps its priming and the frames meant to be heard.
    auto movie = test::parse(test::fileBytes(m4a));
    const auto info = movie->get<AudioFilePacketTableInfo>(property::PacketTableInfo);
    EXPECT_EQ(info.numberValidFrames, 88200);
    EXPECT_EQ(info.primingFrames, 1024);
    EXPECT_NEAR(double(info.numberValidFrames) / 44100, test::probe(m4a).duration, 1024.0 / 44100);

    // Seeking in an indexed file is exact.
    const auto probe = test::probe(m4a);
    int64_t offset = -1;
    uint32_t flags = 9;
    ASSERT_EQ(movie->stream->seek(50, &offset, &flags), 0);
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(offset + movie->get<int64_t>(property::DataOffset), probe.packetPositions[50]);
}

TEST_F(AudioFileStreamTest, LinearPCMContainersGiveTheirSamplesFromTheDataOffset)
{
    struct Case {
        std::string path;
        uint32_t bits;
        uint32_t flags;
    };
    const std::vector<Case> cases = {
        { fixtures->tone("s16.wav"), 16, formatFlag::IsSignedInteger | formatFlag::IsPacked },
        { fixtures->tone("u8.wav", { .bits = 8, .encoding = "unsigned-integer" }), 8, formatFlag::IsPacked },
        { fixtures->tone("s24.wav", { .bits = 24 }), 24, formatFlag::IsSignedInteger | formatFlag::IsPacked },
        { fixtures->tone("s32.wav", { .bits = 32 }), 32, formatFlag::IsSignedInteger | formatFlag::IsPacked },
        { fixtures->tone("f32.wav", { .bits = 32, .encoding = "floating-point" }), 32, formatFlag::IsFloat | formatFlag::IsPacked },
        { fixtures->tone("f64.wav", { .bits = 64, .encoding = "floating-point" }), 64, formatFlag::IsFloat | formatFlag::IsPacked },
        { fixtures->tone("s16.aiff"), 16, formatFlag::IsSignedInteger | formatFlag::IsPacked | formatFlag::IsBigEndian },
        { fixtures->tone("s24.aifc", { .bits = 24 }), 24, formatFlag::IsSignedInteger | formatFlag::IsPacked | formatFlag::IsBigEndian },
        { fixtures->tone("f32.aifc", { .bits = 32, .encoding = "floating-point" }), 32,
            formatFlag::IsFloat | formatFlag::IsPacked | formatFlag::IsBigEndian },
        { fixtures->tone("f64.aifc", { .bits = 64, .encoding = "floating-point" }), 64,
            formatFlag::IsFloat | formatFlag::IsPacked | formatFlag::IsBigEndian },
        { fixtures->ffmpeg("sowt.aifc", { "-c:a", "pcm_s16le" }), 16, formatFlag::IsSignedInteger | formatFlag::IsPacked },
        { fixtures->ffmpeg("lpcm.caf", { "-c:a", "pcm_s16le" }), 16, formatFlag::IsSignedInteger | formatFlag::IsPacked },
        { fixtures->ffmpeg("be.caf", { "-c:a", "pcm_s24be" }, { .channels = 1 }), 24,
            formatFlag::IsSignedInteger | formatFlag::IsPacked | formatFlag::IsBigEndian },
        { fixtures->tone("six.wav", { .rate = 48000, .channels = 6, .seconds = 0.25 }), 16,
            formatFlag::IsSignedInteger | formatFlag::IsPacked },
    };
    for (const auto& c : cases) {
        const std::string bytes = test::fileBytes(c.path);
        auto parsed = test::parse(bytes, test::Split::Random);
        ASSERT_EQ(parsed->status, 0) << c.path;
        const auto format = parsed->format();
        const auto probe = test::probe(c.path);
        EXPECT_EQ(format.formatID, formatID::LinearPCM) << c.path;
        EXPECT_EQ(format.bitsPerChannel, c.bits) << c.path;
        EXPECT_EQ(format.formatFlags, c.flags) << c.path;
        EXPECT_EQ(format.sampleRate, probe.sampleRate) << c.path;
        EXPECT_EQ(int(format.channelsPerFrame), probe.channels) << c.path;
        EXPECT_EQ(format.bytesPerFrame, format.channelsPerFrame * c.bits / 8) << c.path;
        const auto offset = parsed->get<int64_t>(property::DataOffset);
        EXPECT_EQ(offset, probe.firstPacketPosition) << c.path;
        const auto count = parsed->get<uint64_t>(property::AudioDataByteCount);
        EXPECT_EQ(parsed->lpcm, bytes.substr(size_t(offset), size_t(count))) << c.path;
        EXPECT_NEAR(double(count) / format.bytesPerFrame / format.sampleRate, probe.duration, 1.0 / format.sampleRate)
            << c.path;
        EXPECT_EQ(parsed->get<uint32_t>(property::BitRate), uint32_t(format.sampleRate * format.bytesPerFrame * 8));
    }
}

TEST_F(AudioFileStreamTest, AnySplitOfTheBytesGivesTheSamePackets)
{
    const std::vector<std::string> paths = {
        fixtures->mp3("vbr.mp3", { "-V", "2", "--add-id3v2", "--ta", "Someone" }),
        fixtures->ffmpeg("tone.aac", { "-c:a", "aac" }),
        fixtures->ffmpeg("tone.m4a", { "-c:a", "aac", "-movflags", "+faststart" }),
        fixtures->cafAAC("tone.caf"),
        fixtures->tone("tone.aiff", { .seconds = 0.3 }),
    };
    for (const auto& path : paths) {
        const std::string bytes = test::fileBytes(path);
        auto whole = test::parse(bytes);
        auto random = test::parse(bytes, test::Split::Random);
        auto single = test::parse(bytes, test::Split::Bytes);
        ASSERT_EQ(whole->status, 0);
        EXPECT_FALSE(whole->packets.empty() && whole->lpcm.empty()) << path;
        EXPECT_EQ(random->packets, whole->packets) << path;
        EXPECT_EQ(single->packets, whole->packets) << path;
        EXPECT_EQ(random->frames, whole->frames) << path;
        EXPECT_EQ(single->lpcm, whole->lpcm) << path;
        EXPECT_EQ(single->properties, whole->properties) << path;
    }
}

TEST_F(AudioFileStreamTest, ADiscontinuityFindsTheFramesAgain)
{
    const std::string path = fixtures->mp3("cbr.mp3", { "-b", "160" }, { .seconds = 2 });
    const std::string bytes = test::fileBytes(path);
    const auto probe = test::probe(path);
    auto parsed = test::parse(bytes.substr(0, 5000));
    const size_t before = parsed->packets.size();

    // A seek lands on an estimate, mid-frame: every packet after it is a
    // whole frame of the file.
    int64_t offset = 0;
    uint32_t flags = 0;
    ASSERT_EQ(parsed->stream->seek(40, &offset, &flags), 0);
    const size_t from = size_t(parsed->get<int64_t>(property::DataOffset) + offset + 7);
    ASSERT_EQ(parsed->stream->parseBytes(bytes.data() + from, bytes.size() - from, AudioFileStream::Discontinuity), 0);
    ASSERT_GT(parsed->packets.size(), before + 10);
    for (size_t i = before; i < parsed->packets.size(); i++) {
        const auto& packet = parsed->packets[i];
        const size_t at = bytes.find(packet, from);
        ASSERT_NE(at, std::string::npos);
        EXPECT_TRUE(std::find(probe.packetPositions.begin(), probe.packetPositions.end(), int64_t(at))
            != probe.packetPositions.end())
            << "packet " << i << " at " << at;
    }
    EXPECT_EQ(parsed->packets.back(), bytes.substr(size_t(probe.packetPositions.back())));

    // Without the flag the bytes are taken to follow on: the frame start
    // held back is glued to them into a packet the file never had.
    auto glued = test::parse(bytes.substr(0, 5000));
    glued->stream->parseBytes(bytes.data() + from, bytes.size() - from, 0);
    const bool foreign = std::any_of(glued->packets.begin(), glued->packets.end(),
        [&](const std::string& packet) { return bytes.find(packet) == std::string::npos; });
    EXPECT_TRUE(foreign);
}

TEST_F(AudioFileStreamTest, AMovieWithItsIndexLastCannotStreamButASeekableSourceReadsIt)
{
    const std::string path = fixtures->ffmpeg("late.m4a", { "-c:a", "aac" });
    const std::string bytes = test::fileBytes(path);
    auto streamed = test::parse(bytes, test::Split::Random);
    EXPECT_EQ(streamed->status, status::NotOptimized);
    EXPECT_TRUE(streamed->packets.empty());
    EXPECT_EQ(streamed->stream->parseBytes(bytes.data(), 10), status::NotOptimized);

    auto seekable = test::parse(bytes, test::Split::Random, 0, true);
    ASSERT_EQ(seekable->status, 0);
    expectPacketsLikeProbe(*seekable, path);

    // The same for a CAF file whose packet table follows its audio.
    const std::string caf = fixtures->cafAAC("ordered.caf");
    const std::string last = pathInHome("last.caf");
    test::runCommand({ "python3", sourcePath("tests/Support/Media/make_caf.py"), fixtures->directory() + "/ordered.caf.source.m4a",
        last, "--table-last" });
    EXPECT_EQ(test::parse(test::fileBytes(last))->status, status::NotOptimized);
    auto cafSeekable = test::parse(test::fileBytes(last), test::Split::Random, 0, true);
    EXPECT_EQ(cafSeekable->status, 0);
    EXPECT_EQ(cafSeekable->packets, test::parse(test::fileBytes(caf))->packets);
}

TEST_F(AudioFileStreamTest, TheHintSettlesOnlyWhatTheBytesLeaveOpen)
{
    const std::string wav = test::fileBytes(fixtures->tone("tone.wav", { .seconds = 0.1 }));
    const std::string mp3 = test::fileBytes(fixtures->mp3("tone.mp3", { "-b", "64" }, { .seconds = 0.3 }));
    const std::string adts = test::fileBytes(fixtures->ffmpeg("tone.aac", { "-c:a", "aac" }, { .seconds = 0.3 }));
    EXPECT_EQ(test::parse(wav, test::Split::Whole, fileType::MP3)->format().formatID, formatID::LinearPCM);
    EXPECT_EQ(test::parse(mp3, test::Split::Whole, fileType::WAVE)->format().formatID, formatID::MPEGLayer3);
    EXPECT_EQ(test::parse(adts, test::Split::Whole, fileType::MP3)->format().formatID, formatID::MPEG4AAC);
    // Bytes that start with neither: searched for frames of the hinted kind.
    const std::string junk(700, '\x11');
    auto found = test::parse(junk + adts.substr(0, 4000), test::Split::Random, fileType::ADTS);
    EXPECT_EQ(found->format().formatID, formatID::MPEG4AAC);
    EXPECT_FALSE(found->packets.empty());
    auto searched = test::parse(junk + mp3, test::Split::Random, fileType::MP3);
    EXPECT_EQ(searched->packets, test::parse(mp3)->packets);
    EXPECT_EQ(test::parse(junk, test::Split::Whole, fileType::WAVE)->status, status::UnsupportedFileType);
}

// A WAV header with the given format fields and `dataBytes` of silence.
std::string wave(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, uint32_t fmtSize = 16,
    uint32_t dataBytes = 64)
{
    auto le16 = [](uint16_t v) { return std::string { char(v), char(v >> 8) }; };
    auto le32 = [](uint32_t v) { return std::string { char(v), char(v >> 8), char(v >> 16), char(v >> 24) }; };
    const uint16_t align = uint16_t(channels * ((bits + 7) / 8));
    std::string fmt = le16(tag) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) + le16(bits);
    fmt.resize(std::min<uint32_t>(fmtSize, 64), '\0');
    std::string out = "RIFF" + le32(36 + dataBytes) + "WAVE" + "fmt " + le32(fmtSize) + fmt;
    return out + "data" + le32(dataBytes) + std::string(dataBytes, '\0');
}

TEST(AudioFileStreamBadInput, FormatsOutOfBoundsAndHugeSizesFailWithoutAllocating)
{
    EXPECT_EQ(test::parse(wave(1, 2, 44100, 16))->status, 0);
    EXPECT_EQ(test::parse(wave(1, 2, 0, 16))->status, status::UnsupportedDataFormat);
    EXPECT_EQ(test::parse(wave(1, 2, 384001, 16))->status, status::UnsupportedDataFormat);
    EXPECT_EQ(test::parse(wave(1, 2, 384000, 16))->status, 0);
    EXPECT_EQ(test::parse(wave(1, 9, 44100, 16))->status, status::UnsupportedDataFormat);
    EXPECT_EQ(test::parse(wave(1, 0, 44100, 16))->status, status::UnsupportedDataFormat);
    EXPECT_EQ(test::parse(wave(2, 2, 44100, 4))->status, status::UnsupportedDataFormat); // ADPCM
    EXPECT_EQ(test::parse(wave(1, 2, 44100, 12))->status, status::UnsupportedDataFormat);
    // A format chunk claiming 4 GiB is refused at its header.
    auto huge = test::parse(wave(1, 2, 44100, 16, 0xFFFFFFF0u));
    EXPECT_EQ(huge->status, status::UnsupportedDataFormat);
    // An unknown chunk of 3 GiB is skipped as it arrives: nothing is held.
    std::string skipped = wave(1, 2, 44100, 16);
    skipped.insert(12, std::string("junk") + std::string { '\0', '\0', '\0', '\xC0' });
    auto parsed = test::parse(skipped);
    EXPECT_EQ(parsed->status, 0);
    EXPECT_TRUE(parsed->lpcm.empty());
    // An ID3 tag of 256 MiB before nothing: skipped, no format.
    const std::string id3 = std::string("ID3\x04\x00\x00\x7F\x7F\x7F\x7F", 10) + std::string(100, 'x');
    auto tagged = test::parse(id3, test::Split::Random);
    EXPECT_EQ(tagged->status, 0);
    EXPECT_EQ(tagged->properties.size(), 0u);
    // A movie box beyond 64 MiB is refused before anything is kept.
    const std::string movie = std::string("\x00\x00\x00\x10" "ftypM4A \x00\x00\x00\x00" "\x05\x00\x00\x00moov", 24);
    EXPECT_EQ(test::parse(movie)->status, status::UnsupportedDataFormat);
    // Garbage after a failure keeps failing.
    auto failed = test::parse(wave(1, 2, 0, 16));
    EXPECT_EQ(failed->stream->parseBytes("abc", 3), status::UnsupportedDataFormat);
}

TEST(AudioFileStreamBadInput, PropertiesAnswerUnknownUntilKnown)
{
    auto parsed = test::parse(std::string("RIFF"));
    media::Status result = 0;
    parsed->get<AudioStreamBasicDescription>(property::DataFormat, &result);
    EXPECT_EQ(result, status::ValueUnknown);
    EXPECT_EQ(parsed->get<uint32_t>(property::ReadyToProducePackets), 0u);
    AudioBytePacketTranslation translation;
    translation.byte = 100;
    uint32_t size = sizeof translation;
    EXPECT_NE(parsed->stream->getProperty(property::ByteToPacket, &size, &translation), 0);
    int64_t offset;
    uint32_t flags;
    EXPECT_EQ(parsed->stream->seek(1, &offset, &flags), status::IllegalOperation);
    size = 2;
    uint32_t tooSmall = 0;
    auto ready = test::parse(wave(1, 2, 44100, 16));
    EXPECT_EQ(ready->stream->getProperty(property::DataFormat, &size, &tooSmall), status::BadPropertySize);
    // Translations of 16-bit stereo: 4 bytes a frame, one frame a packet.
    translation.byte = 4003;
    size = sizeof translation;
    ASSERT_EQ(ready->stream->getProperty(property::ByteToPacket, &size, &translation), 0);
    EXPECT_EQ(translation.packet, 1000);
    EXPECT_EQ(translation.byteOffsetInPacket, 3u);
    AudioFramePacketTranslation frames;
    frames.frame = 777;
    size = sizeof frames;
    ASSERT_EQ(ready->stream->getProperty(property::FrameToPacket, &size, &frames), 0);
    EXPECT_EQ(frames.packet, 777);
}

} // namespace
