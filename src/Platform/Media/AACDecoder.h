#pragma once

#include "Platform/Media/AudioDecoder.h"

namespace media {

// AAC through libavcodec, configured by the stream's cookie (an
// ES_Descriptor or an AudioSpecificConfig); ADTS packets carry their own
// header as well. Planar float output becomes 16-bit samples, scaled by
// 32768, rounded and clipped.
class AACDecoder final : public AudioDecoder {
public:
    static std::unique_ptr<AACDecoder> create(const AudioStreamBasicDescription& format,
        const std::vector<uint8_t>& cookie);
    ~AACDecoder() override;

    bool decode(const uint8_t* data, size_t size, std::vector<int16_t>& out) override;
    void reset() override;

    struct Codec;
    AACDecoder(const AudioStreamBasicDescription& format, Codec* codec);

private:
    Codec* m_codec;
    std::vector<uint8_t> m_padded;
};

} // namespace media
