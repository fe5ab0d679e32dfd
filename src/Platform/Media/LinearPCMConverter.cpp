#include "Platform/Media/LinearPCMConverter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace media {

namespace {

int16_t clip(double value)
{
    const double rounded = std::nearbyint(value * 32768.0);
    return int16_t(std::clamp(rounded, -32768.0, 32767.0));
}

} // namespace

std::unique_ptr<LinearPCMConverter> LinearPCMConverter::create(const AudioStreamBasicDescription& format)
{
    const uint32_t bits = format.bitsPerChannel;
    const bool isFloat = format.formatFlags & formatFlag::IsFloat;
    if (!format.isLinearPCM() || format.framesPerPacket != 1 || !format.channelsPerFrame)
        return nullptr;
    if (isFloat ? (bits != 32 && bits != 64) : (bits < 8 || bits > 32 || bits % 8))
        return nullptr;
    if (format.bytesPerFrame != format.channelsPerFrame * bits / 8)
        return nullptr;
    return std::make_unique<LinearPCMConverter>(format);
}

LinearPCMConverter::LinearPCMConverter(const AudioStreamBasicDescription& format)
    : AudioDecoder(format)
    , m_bytesPerSample(format.bitsPerChannel / 8)
    , m_float(format.formatFlags & formatFlag::IsFloat)
    , m_bigEndian(format.formatFlags & formatFlag::IsBigEndian)
    , m_signed(format.formatFlags & formatFlag::IsSignedInteger)
{
}

bool LinearPCMConverter::decode(const uint8_t* data, size_t size, std::vector<int16_t>& out)
{
    const size_t samples = size / m_bytesPerSample / m_channels * m_channels;
    const size_t start = out.size();
    out.resize(start + samples);
    int16_t* target = out.data() + start;
    const uint32_t width = m_bytesPerSample;
    for (size_t i = 0; i < samples; i++, data += width) {
        if (m_float) {
            uint8_t bytes[8];
            for (uint32_t b = 0; b < width; b++)
                bytes[b] = m_bigEndian ? data[width - 1 - b] : data[b];
            if (width == 4) {
                float value;
                std::memcpy(&value, bytes, 4);
                target[i] = std::isfinite(value) ? clip(value) : 0;
            } else {
                double value;
                std::memcpy(&value, bytes, 8);
                target[i] = std::isfinite(value) ? clip(value) : 0;
            }
            continue;
        }
        // The two most significant bytes of the sample.
        uint8_t high = m_bigEndian ? data[0] : data[width - 1];
        uint8_t next = width == 1 ? 0 : (m_bigEndian ? data[1] : data[width - 2]);
        if (width == 1 && !m_signed)
            high ^= 0x80;
        target[i] = int16_t(uint16_t(high) << 8 | next);
    }
    return true;
}

} // namespace media
