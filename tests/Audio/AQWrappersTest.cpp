#include "AudioTestSupport.h"

#include "Platform/Media/AudioQueue.h"
#include "Support/TestCase.h"
#include "Audio/AQAudioFileStream.h"
#include "Audio/AQAudioQueue.h"
#include "Audio/AQAudioQueueBuffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

media::AudioStreamBasicDescription mono8k()
{
    media::AudioStreamBasicDescription format;
    format.sampleRate = 8000;
    format.formatID = media::formatID::LinearPCM;
    format.formatFlags = media::formatFlag::IsSignedInteger | media::formatFlag::IsPacked;
    format.bytesPerPacket = format.bytesPerFrame = 2;
    format.framesPerPacket = 1;
    format.channelsPerFrame = 1;
    format.bitsPerChannel = 16;
    return format;
}

struct Underruns : AQAudioQueueDelegate {
    int count = 0;
    void audioQueueBuffersDidUnderrun(AQAudioQueue&) override { count++; }
};

class AQWrappersTest : public test::TestCase { };

TEST_F(AQWrappersTest, BuffersTakeWhatFitsAndDescribeEachPacketIn16Bytes)
{
    auto queue = AQAudioQueue::create(mono8k(), 100);
    ASSERT_TRUE(queue);
    auto buffer = AQAudioQueueBuffer::create(*queue);
    ASSERT_TRUE(buffer);
    EXPECT_TRUE(buffer->addPacketData(std::string(60, 'a'), 30));
    EXPECT_TRUE(buffer->addPacketData(std::string(40, 'b'), 20));
    EXPECT_FALSE(buffer->addPacketData("c", 1));
    EXPECT_FALSE(buffer->addData("c"));
    EXPECT_EQ(buffer->byteSize(), 100u);
    ASSERT_EQ(buffer->numPacketDescriptions(), 2u);
    const auto* d = buffer->packetDescriptions();
    EXPECT_EQ(d[1].startOffset, 60);
    EXPECT_EQ(d[1].variableFramesInPacket, 20u);
    EXPECT_EQ(d[1].dataByteSize, 40u);
    const auto* bytes = static_cast<const char*>(buffer->audioQueueBufferRef()->audioData);
    EXPECT_EQ(std::string(bytes + 58, 4), "aabb");
    buffer->reset();
    EXPECT_EQ(buffer->numPacketDescriptions(), 0u);
    EXPECT_EQ(buffer->packetDescriptions(), nullptr);
    EXPECT_TRUE(buffer->addData(std::string(100, 'd')));
}

TEST_F(AQWrappersTest, TheQueueReusesFreeBuffersAndCallsForMoreWhenShort)
{
    auto queue = AQAudioQueue::create(mono8k(), 1600); // 0.1 s
    ASSERT_TRUE(queue);
    Underruns underruns;
    queue->setDelegate(&underruns);
    std::vector<uint32_t> counts;
    auto token = queue->enqueuedBufferCountObservable().observe([&](uint32_t, uint32_t now) { counts.push_back(now); });

    auto first = queue->availableBuffer();
    auto second = queue->availableBuffer();
    EXPECT_NE(first, second);
    EXPECT_EQ(queue->bufferCount(), 2u);
    first->addData(std::string(1600, '\x01'));
    second->addData(std::string(1600, '\x02'));
    queue->enqueueBuffer(*first);
    queue->enqueueBuffer(*second);
    EXPECT_EQ(queue->enqueuedBufferCount(), 2u);

    queue->start();
    EXPECT_EQ(underruns.count, 0);
    core::RunLoop::main().advance(0.1);
    // One played: back in the free set, and the queue runs short.
    EXPECT_EQ(queue->enqueuedBufferCount(), 1u);
    EXPECT_EQ(underruns.count, 1);
    EXPECT_EQ(queue->availableBuffer(), first);
    EXPECT_EQ(queue->bufferCount(), 2u);
    core::RunLoop::main().advance(0.1);
    EXPECT_EQ(underruns.count, 2);
    EXPECT_EQ(counts, (std::vector<uint32_t> { 1, 2, 1, 0 }));
    // Not running: no underrun at recycling.
    queue->stop();
    EXPECT_FALSE(queue->isRunning());

    queue->setVolume(7);
    EXPECT_EQ(queue->volume(), 1.0f);
    queue->setVolume(-1);
    EXPECT_EQ(queue->volume(), 0.0f);
    EXPECT_EQ(AQAudioQueue::minimumBufferCount, 2u);

    auto format = mono8k();
    format.formatID = media::fourCC("none");
    EXPECT_FALSE(AQAudioQueue::create(format, 100));
    EXPECT_TRUE(logContains("AudioQueueNewOutput failed with error: "));
}

struct Found : AQAudioFileStreamDelegate {
    int ready = 0;
    std::string data;
    void didFindData(AQAudioFileStream&, std::string_view d) override { data += d; }
    void didFindPacketData(AQAudioFileStream&, std::string_view d, uint32_t) override { data += d; }
    void fileStreamReadyToProducePackets(AQAudioFileStream&, const media::AudioStreamBasicDescription&) override { ready++; }
};

TEST_F(AQWrappersTest, FileStreamTranslationsAnswerMinusOneUntilReady)
{
    Found found;
    auto stream = AQAudioFileStream::create(&found, media::fileType::WAVE);
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->estimatedTimeForByteOffset(1000), -1.0);
    EXPECT_EQ(stream->audioDataByteOffsetForSeekTime(1.0), -1);
    EXPECT_EQ(stream->maximumPacketSize(), 0u);
    EXPECT_TRUE(logContains("Warning, AudioFileStreamGetProperty failed for: psze"));
    EXPECT_FALSE(stream->magicCookie());

    // 8 kHz mono 16-bit: 16,000 bytes a second.
    auto le32 = [](uint32_t v) { return std::string { char(v), char(v >> 8), char(v >> 16), char(v >> 24) }; };
    std::string wav = "RIFF" + le32(36 + 32000) + "WAVEfmt " + le32(16);
    wav += std::string { 1, 0, 1, 0 } + le32(8000) + le32(16000) + std::string { 2, 0, 16, 0 };
    wav += "data" + le32(32000) + std::string(32000, '\x03');
    stream->expectDiscontinuity();
    EXPECT_EQ(stream->flags(), 1u);
    stream->parseData(wav.substr(0, 50));
    EXPECT_EQ(stream->flags(), 0u);
    stream->parseData(wav.substr(50));
    EXPECT_EQ(found.ready, 1);
    EXPECT_TRUE(stream->readyToProducePackets());
    EXPECT_EQ(stream->dataOffset(), 44u);
    EXPECT_EQ(found.data, wav.substr(44));
    EXPECT_EQ(stream->estimatedTimeForByteOffset(24000), 1.5);
    EXPECT_EQ(stream->audioDataByteOffsetForSeekTime(0.5), 8000);
    EXPECT_EQ(stream->audioByteCount(), 32000u);
    EXPECT_EQ(stream->bitRate(), 128000u);
    EXPECT_EQ(stream->averageBytesPerPacket(), 2.0);

    // A parse error is logged and the stream goes on answering.
    Found other;
    auto broken = AQAudioFileStream::create(&other, media::fileType::WAVE);
    broken->parseData(std::string("RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\0\0\0\0", 28) + std::string(12, '\0'));
    EXPECT_TRUE(logContains("AudioFileStreamParseBytes error: fmt?"));
}

TEST(AQAudioStreamPlayerHints, ExtensionsAreComparedAsWritten)
{
    using P = AQAudioStreamPlayer;
    EXPECT_EQ(P::audioFileTypeForExtension("mp3"), media::fourCC("MPG3"));
    EXPECT_EQ(P::audioFileTypeForExtension("wav"), media::fourCC("WAVE"));
    EXPECT_EQ(P::audioFileTypeForExtension("aifc"), media::fourCC("AIFC"));
    EXPECT_EQ(P::audioFileTypeForExtension("aiff"), media::fourCC("AIFF"));
    EXPECT_EQ(P::audioFileTypeForExtension("m4a"), media::fourCC("m4af"));
    EXPECT_EQ(P::audioFileTypeForExtension("mp4"), media::fourCC("mp4f"));
    EXPECT_EQ(P::audioFileTypeForExtension("caf"), media::fourCC("caff"));
    EXPECT_EQ(P::audioFileTypeForExtension("aac"), media::fourCC("adts"));
    EXPECT_EQ(P::audioFileTypeForExtension("WAV"), media::fourCC("MPG3"));
    EXPECT_EQ(P::audioFileTypeForExtension("ogg"), media::fourCC("MPG3"));
    EXPECT_EQ(P::audioFileTypeForExtension(""), media::fourCC("MPG3"));
}

} // namespace
