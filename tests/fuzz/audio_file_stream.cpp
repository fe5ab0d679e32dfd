// fuzz: tandry_platform_media
// Bytes into the stream parser under every hint, cut into pieces by a
// generator seeded from the input, with a discontinuity and a seek halfway;
// every packet found goes through the decoder made for the stream's format.
#include "Platform/Media/AudioDecoder.h"
#include "Platform/Media/AudioFileStream.h"

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr media::FourCharCode Hints[] = { media::fileType::MP3, media::fileType::WAVE, media::fileType::AIFC,
    media::fileType::AIFF, media::fileType::M4A, media::fileType::MPEG4, media::fileType::CAF, media::fileType::ADTS };

// Packets decoded per input, so that a long stream stays a quick run.
constexpr size_t DecodeBudget = 64;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint32_t seed = size ? data[0] : 0;
    const media::FourCharCode hint = Hints[seed % 8];
    std::unique_ptr<media::AudioDecoder> decoder;
    std::vector<int16_t> samples;
    size_t decoded = 0;
    media::AudioFileStream* current = nullptr;
    auto stream = media::AudioFileStream::open([](media::AudioFileStream&, media::FourCharCode, uint32_t&) { },
        [&](uint32_t bytes, uint32_t packets, const void* p, const media::AudioStreamPacketDescription* d) {
            if (!decoder && current) {
                media::AudioStreamBasicDescription format;
                uint32_t formatSize = sizeof format;
                if (current->getProperty(media::property::DataFormat, &formatSize, &format))
                    return;
                std::vector<uint8_t> cookie(4096);
                uint32_t cookieSize = uint32_t(cookie.size());
                if (current->getProperty(media::property::MagicCookieData, &cookieSize, cookie.data()))
                    cookieSize = 0;
                cookie.resize(cookieSize);
                decoder = media::AudioDecoder::create(format, cookie);
                if (!decoder)
                    return;
            }
            if (!decoder)
                return;
            const auto* base = static_cast<const uint8_t*>(p);
            if (!d) {
                if (decoded++ < DecodeBudget)
                    decoder->decode(base, bytes, samples);
            }
            for (uint32_t i = 0; d && i < packets && decoded < DecodeBudget; i++, decoded++)
                decoder->decode(base + d[i].startOffset, d[i].dataByteSize, samples);
            samples.clear();
        },
        hint);
    current = stream.get();
    stream->setSourceIsSeekable(seed & 8);
    std::mt19937 random(seed);
    size_t at = 0;
    bool sought = false;
    while (at < size) {
        size_t piece = std::min(size - at, size_t(std::uniform_int_distribution<int>(1, 700)(random)));
        uint32_t flags = 0;
        if (!sought && at > size / 2) {
            sought = true;
            int64_t offset = 0;
            uint32_t seekFlags = 0;
            stream->seek(int64_t(seed % 5), &offset, &seekFlags);
            flags = media::AudioFileStream::Discontinuity;
        }
        if (stream->parseBytes(data + at, piece, flags))
            break;
        at += piece;
        for (uint32_t id : { media::property::ByteToPacket, media::property::PacketToFrame, media::property::FrameToPacket,
                 media::property::AverageBytesPerPacket, media::property::BitRate }) {
            uint8_t value[64] = { 0 };
            value[0] = uint8_t(at);
            uint32_t valueSize = sizeof value;
            stream->getProperty(id, &valueSize, value);
        }
    }
    return 0;
}
