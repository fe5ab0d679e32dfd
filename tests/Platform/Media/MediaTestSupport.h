#pragma once

// What the audio layer's tests share: reading files, pushing them through a
// stream parser in pieces, and what the parser said.

#include "Platform/Media/AudioFileStream.h"
#include "Support/Command.h"
#include "Support/Media/AudioFixtures.h"
#include "Support/TestCase.h"

#include <cstdint>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace test {

inline std::string fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Everything a parser reported, in order.
struct ParsedStream {
    std::vector<media::FourCharCode> properties;
    std::vector<std::string> packets; // one per packet; LPCM runs as they came
    std::vector<uint32_t> frames;
    std::string lpcm; // constant-bit-rate bytes, joined
    std::unique_ptr<media::AudioFileStream> stream;
    media::Status status = 0;

    template<typename T> T get(media::FourCharCode id, media::Status* result = nullptr) const
    {
        T value {};
        uint32_t size = sizeof value;
        const media::Status s = stream->getProperty(id, &size, &value);
        if (result)
            *result = s;
        return value;
    }
    media::AudioStreamBasicDescription format() const { return get<media::AudioStreamBasicDescription>(media::property::DataFormat); }
};

enum class Split { Whole, Bytes, Random };

// Parses the bytes, cut as asked (random pieces of 1 to 5000 bytes from a
// fixed seed).
inline std::unique_ptr<ParsedStream> parse(const std::string& bytes, Split split = Split::Whole,
    media::FourCharCode hint = 0, bool seekable = false)
{
    auto parsed = std::make_unique<ParsedStream>();
    auto* out = parsed.get();
    parsed->stream = media::AudioFileStream::open(
        [out](media::AudioFileStream&, media::FourCharCode id, uint32_t&) { out->properties.push_back(id); },
        [out](uint32_t bytes, uint32_t packets, const void* data, const media::AudioStreamPacketDescription* d) {
            const auto* p = static_cast<const char*>(data);
            if (!d) {
                out->lpcm.append(p, bytes);
                return;
            }
            for (uint32_t i = 0; i < packets; i++) {
                out->packets.emplace_back(p + d[i].startOffset, d[i].dataByteSize);
                out->frames.push_back(d[i].variableFramesInPacket);
            }
        },
        hint);
    parsed->stream->setSourceIsSeekable(seekable);
    std::mt19937 random(58);
    size_t at = 0;
    while ((at < bytes.size() || (seekable && parsed->stream->requestedOffset() >= 0)) && !parsed->status) {
        size_t piece = bytes.size() - at;
        if (split == Split::Bytes)
            piece = 1;
        else if (split == Split::Random)
            piece = std::min(piece, size_t(std::uniform_int_distribution<int>(1, 5000)(random)));
        uint32_t flags = 0;
        if (seekable && parsed->stream->requestedOffset() >= 0) {
            at = size_t(parsed->stream->requestedOffset());
            flags = media::AudioFileStream::Discontinuity;
            piece = std::min(piece, bytes.size() - at);
        }
        parsed->status = parsed->stream->parseBytes(bytes.data() + at, piece, flags);
        at += piece;
    }
    return parsed;
}

} // namespace test
