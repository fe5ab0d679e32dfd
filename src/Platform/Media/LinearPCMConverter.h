#pragma once

#include "Platform/Media/AudioDecoder.h"

namespace media {

// Linear PCM of 8 to 32 bits (signed, or unsigned at 8 bits), either byte
// order, and 32- or 64-bit floats, to 16-bit samples: wider integers keep
// their top 16 bits, floats are scaled by 32768, rounded and clipped.
class LinearPCMConverter final : public AudioDecoder {
public:
    static std::unique_ptr<LinearPCMConverter> create(const AudioStreamBasicDescription& format);
    explicit LinearPCMConverter(const AudioStreamBasicDescription& format);

    bool decode(const uint8_t* data, size_t size, std::vector<int16_t>& out) override;
    void reset() override { }

private:
    uint32_t m_bytesPerSample;
    bool m_float;
    bool m_bigEndian;
    bool m_signed;
};

} // namespace media
